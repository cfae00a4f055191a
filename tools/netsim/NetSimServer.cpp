#include "tools/netsim/NetSimServer.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString SysError(const char* What)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(What), QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

NetSimServer::NetSimServer() = default;

NetSimServer::NetSimServer(SimPeer& Peer) : Peer_(&Peer) {}

NetSimServer::~NetSimServer()
{
    Stop();
}

qint64 NetSimServer::NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

QString NetSimServer::LinkPath() const
{
    return PortsDir_ + QStringLiteral("/COM") + QString::number(PortNum_);
}

QString NetSimServer::SlavePath() const
{
    return SlavePath_;
}

bool NetSimServer::Start(const QString& PortsDir, int PortNum, QString& ErrMsg)
{
    if (Running_) {
        ErrMsg = QStringLiteral("the simulator is already running");
        return false;
    }
    if (PortNum < 1 || PortNum > 255) {
        ErrMsg = QStringLiteral("port number %1 is outside 1..255").arg(PortNum);
        return false;
    }
    if (!QDir().mkpath(PortsDir)) {
        ErrMsg = QStringLiteral("cannot create the ports folder %1").arg(PortsDir);
        return false;
    }
    PortsDir_ = QDir(PortsDir).absolutePath();
    PortNum_ = PortNum;
    if (::pipe2(WakeFds_, O_NONBLOCK | O_CLOEXEC) != 0) {
        ErrMsg = SysError("pipe2");
        return false;
    }
    if (!openPty(ErrMsg) || !relink(SlavePath_, ErrMsg)) {
        closePty();
        ::close(WakeFds_[0]);
        ::close(WakeFds_[1]);
        WakeFds_[0] = WakeFds_[1] = -1;
        return false;
    }
    // Waveforms and fault windows count from the moment the port is up.
    Peer_->SetClockOriginMs(NowMs());
    Running_ = true;
    startThread();
    return true;
}

void NetSimServer::Stop()
{
    if (!Running_)
        return;
    stopThread();
    closePty();
    // Only our own link goes; another simulator may have taken the name meanwhile.
    const QByteArray link = QFile::encodeName(LinkPath());
    char target[4096] = {};
    const ssize_t len = ::readlink(link.constData(), target, sizeof target - 1);
    if (len > 0 && QFile::decodeName(QByteArray(target, len)) == LinkTarget_)
        ::unlink(link.constData());
    ::close(WakeFds_[0]);
    ::close(WakeFds_[1]);
    WakeFds_[0] = WakeFds_[1] = -1;
    Running_ = false;
}

bool NetSimServer::openPty(QString& ErrMsg)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        ErrMsg = SysError("posix_openpt");
        return false;
    }
    char name[128] = {};
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof name) != 0) {
        ErrMsg = SysError("grantpt/unlockpt/ptsname");
        ::close(master);
        return false;
    }
    // Holding a slave descriptor of our own keeps the master from seeing a hang-up
    // (and EIO) whenever the PC closes the port, and lets us set raw mode once.
    const int keeper = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (keeper < 0) {
        ErrMsg = SysError("open pty slave");
        ::close(master);
        return false;
    }
    termios tio{};
    if (::tcgetattr(keeper, &tio) == 0) {
        // Without raw mode the line discipline mangles 0x0D, 0x11, 0x13 and echoes.
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B57600);
        ::cfsetospeed(&tio, B57600);
        ::tcsetattr(keeper, TCSANOW, &tio);
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    MasterFd_ = master;
    KeeperFd_ = keeper;
    SlavePath_ = QString::fromLocal8Bit(name);
    PortOpen_ = true;
    return true;
}

void NetSimServer::closePty()
{
    // Cleared first: whoever sees the hang-up must already see the port closed.
    PortOpen_ = false;
    if (MasterFd_ >= 0)
        ::close(MasterFd_);
    if (KeeperFd_ >= 0)
        ::close(KeeperFd_);
    MasterFd_ = KeeperFd_ = -1;
}

bool NetSimServer::relink(const QString& Target, QString& ErrMsg)
{
    const QByteArray link = QFile::encodeName(LinkPath());
    const QByteArray temp = link + ".tmp" + QByteArray::number(::getpid());
    const QByteArray target = QFile::encodeName(Target);
    ::unlink(temp.constData());
    // A rename over the old entry replaces it atomically: a reader never sees no link.
    if (::symlink(target.constData(), temp.constData()) != 0 ||
        ::rename(temp.constData(), link.constData()) != 0) {
        ErrMsg = SysError("publishing the port link");
        ::unlink(temp.constData());
        return false;
    }
    LinkTarget_ = Target;
    return true;
}

void NetSimServer::dropLink()
{
    // Dangling rather than removed: a missing port must not fall back to a ttyS
    // of the same number. Done before the pty closes, so a PC that notices the
    // hang-up already finds the port gone.
    QString err;
    relink(PortsDir_ + QStringLiteral("/.COM%1.gone").arg(PortNum_), err);
}

void NetSimServer::DropPort()
{
    if (!Running_ || !PortOpen_)
        return;
    stopThread();
    dropLink();
    closePty();
    startThread();
}

bool NetSimServer::RestorePort(QString& ErrMsg)
{
    if (!Running_) {
        ErrMsg = QStringLiteral("the simulator is not running");
        return false;
    }
    stopThread();
    closePty();
    const bool ok = openPty(ErrMsg) && relink(SlavePath_, ErrMsg);
    if (!ok)
        closePty();
    startThread();
    return ok;
}

void NetSimServer::startThread()
{
    Quit_ = false;
    Thread_ = std::thread([this] { run(); });
}

void NetSimServer::stopThread()
{
    if (!Thread_.joinable())
        return;
    Quit_ = true;
    const char wake = 1;
    [[maybe_unused]] const auto n = ::write(WakeFds_[1], &wake, 1);
    Thread_.join();
}

QByteArray NetSimServer::Received() const
{
    const std::lock_guard lock(RecordMutex_);
    return Received_;
}

QByteArray NetSimServer::Sent() const
{
    const std::lock_guard lock(RecordMutex_);
    return Sent_;
}

void NetSimServer::ClearRecords()
{
    const std::lock_guard lock(RecordMutex_);
    Received_.clear();
    Sent_.clear();
}

bool NetSimServer::WaitReceived(int Count, int TimeoutMs) const
{
    std::unique_lock lock(RecordMutex_);
    return RecordCv_.wait_for(lock, std::chrono::milliseconds(TimeoutMs),
                              [&] { return Received_.size() >= Count; });
}

bool NetSimServer::WaitSent(int Count, int TimeoutMs) const
{
    std::unique_lock lock(RecordMutex_);
    return RecordCv_.wait_for(lock, std::chrono::milliseconds(TimeoutMs),
                              [&] { return Sent_.size() >= Count; });
}

void NetSimServer::run()
{
    char buf[4096];
    while (!Quit_) {
        pollfd fds[2] = {{WakeFds_[0], POLLIN, 0}, {MasterFd_, POLLIN, 0}};
        const nfds_t count = MasterFd_ >= 0 ? 2 : 1;
        int timeout = 1000;
        if (const auto due = Peer_->NextDueMs())
            timeout = int(std::clamp<qint64>(*due - NowMs(), 0, 1000));
        const int ready = ::poll(fds, count, timeout);
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0 && (fds[0].revents & POLLIN)) {
            while (::read(WakeFds_[0], buf, sizeof buf) > 0) {
            }
        }
        if (count == 2 && ready > 0 && (fds[1].revents & POLLIN)) {
            QByteArray bytes;
            for (;;) {
                const ssize_t n = ::read(MasterFd_, buf, sizeof buf);
                if (n <= 0)
                    break;
                bytes.append(buf, n);
            }
            if (!bytes.isEmpty()) {
                {
                    const std::lock_guard lock(RecordMutex_);
                    Received_.append(bytes);
                }
                RecordCv_.notify_all();
                Peer_->Feed(bytes, NowMs());
            }
        } else if (count == 2 && ready > 0 && (fds[1].revents & (POLLHUP | POLLERR))) {
            // Cannot happen while our keeper descriptor is open; do not spin if it does.
            ::usleep(10000);
        }
        for (const SimOutput& out : Peer_->TakeDue(NowMs())) {
            if (MasterFd_ < 0)
                continue;
            if (out.ClosePort) {
                dropLink();
                closePty();
                continue;
            }
            if (out.Bytes.isEmpty())
                continue;
            // One write: the reply reaches the PC complete.
            ssize_t n;
            do {
                n = ::write(MasterFd_, out.Bytes.constData(), out.Bytes.size());
            } while (n < 0 && errno == EINTR);
            if (n > 0) {
                {
                    const std::lock_guard lock(RecordMutex_);
                    Sent_.append(out.Bytes.constData(), n);
                }
                RecordCv_.notify_all();
            }
        }
    }
}
