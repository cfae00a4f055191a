#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

// The PC's end of the simulator's port, with plain POSIX calls in raw mode.
class PtyClient
{
public:
    PtyClient() = default;
    ~PtyClient() { Close(); }
    PtyClient(const PtyClient&) = delete;
    PtyClient& operator=(const PtyClient&) = delete;

    bool Open(const QString& Path)
    {
        Close();
        Fd_ = ::open(QFile::encodeName(Path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (Fd_ < 0)
            return false;
        termios tio{};
        if (::tcgetattr(Fd_, &tio) != 0)
            return false;
        ::cfmakeraw(&tio);
        return ::tcsetattr(Fd_, TCSANOW, &tio) == 0;
    }

    void Close()
    {
        if (Fd_ >= 0)
            ::close(Fd_);
        Fd_ = -1;
    }

    bool Write(const QByteArray& Bytes)
    {
        return Fd_ >= 0 && ::write(Fd_, Bytes.constData(), Bytes.size()) == Bytes.size();
    }

    // Reads until Count bytes came or TimeoutMs passed since the call.
    QByteArray Read(int Count, int TimeoutMs)
    {
        using namespace std::chrono;
        QByteArray out;
        const auto deadline = steady_clock::now() + milliseconds(TimeoutMs);
        while (Fd_ >= 0 && out.size() < Count) {
            const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
            if (left <= 0)
                break;
            pollfd p{Fd_, POLLIN, 0};
            if (::poll(&p, 1, int(left)) <= 0)
                continue;
            if (p.revents & (POLLHUP | POLLERR) && !(p.revents & POLLIN))
                break;
            char buf[256];
            const ssize_t n = ::read(Fd_, buf, qMin<qsizetype>(sizeof buf, Count - out.size()));
            if (n <= 0)
                break;
            out.append(buf, n);
        }
        return out;
    }

    void FlushInput()
    {
        if (Fd_ >= 0)
            ::tcflush(Fd_, TCIFLUSH);
    }

    int Fd() const { return Fd_; }

private:
    int Fd_ = -1;
};
