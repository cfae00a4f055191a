#pragma once

// A bare pseudo-terminal published as COM<n> in a temporary ports folder, so the
// serial link can be driven byte by byte from the test (the master side).

#include "support/SureWait.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

class RawPty
{
public:
    RawPty() { Reopen(); }
    ~RawPty() { CloseMaster(); }
    RawPty(const RawPty&) = delete;
    RawPty& operator=(const RawPty&) = delete;

    // A fresh pty under the same COM name (the modem plugged back in).
    bool Reopen()
    {
        CloseMaster();
        int slave = -1;
        char name[256] = {};
        if (::openpty(&master_, &slave, name, nullptr, nullptr) != 0)
            return false;
        termios tio{};
        ::tcgetattr(slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
        ::close(slave);
        slavePath_ = QString::fromLocal8Bit(name);
        QFile::remove(LinkPath());
        return QFile::link(slavePath_, LinkPath());
    }

    void CloseMaster()
    {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

    QString PortsDir() const { return dir_.path(); }
    QString LinkPath() const { return dir_.path() + QStringLiteral("/COM") + QString::number(PortNum); }

    bool Write(const QByteArray& bytes) const
    {
        return ::write(master_, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
    }

    // Everything the other side wrote within the wait; empty when it stayed silent.
    QByteArray ReadAvailable(int waitMs) const
    {
        QByteArray got;
        pollfd pfd{master_, POLLIN, 0};
        int timeout = waitMs;
        while (::poll(&pfd, 1, timeout) > 0 && (pfd.revents & POLLIN)) {
            char buf[512];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0)
                break;
            got.append(buf, static_cast<int>(n));
            timeout = 20; // gather what follows at once
        }
        return got;
    }

    // Reads exactly n bytes or gives up after waitMs.
    QByteArray ReadExactly(int n, int waitMs) const
    {
        QByteArray got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
        while (got.size() < n) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0)
                break;
            pollfd pfd{master_, POLLIN, 0};
            if (::poll(&pfd, 1, static_cast<int>(left)) <= 0)
                break;
            char buf[512];
            const ssize_t r = ::read(master_, buf, static_cast<size_t>(qMin<qsizetype>(n - got.size(), 512)));
            if (r <= 0)
                break;
            got.append(buf, static_cast<int>(r));
        }
        return got;
    }

    static constexpr int PortNum = 7;

private:
    QTemporaryDir dir_;
    int master_ = -1;
    QString slavePath_;
};
