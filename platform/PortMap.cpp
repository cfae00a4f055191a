#include "platform/PortMap.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

QString PortMap::PortsDir()
{
    const QString env = qEnvironmentVariable("KLOV_PORTS_DIR");
    if (!env.isEmpty())
        return env;
    return QDir::homePath() + QStringLiteral("/.config/klov/ports");
}

QString PortMap::DevicePath(int portNum)
{
    if (portNum < 1 || portNum > MaxPort)
        return {};
    const QString entry = PortsDir() + QStringLiteral("/COM") + QString::number(portNum);
    // A dangling entry still wins: a vanished simulator must read as a missing
    // port, not as whatever ttyS happens to carry the same number.
    if (QFileInfo(entry).exists() || QFileInfo(entry).isSymLink())
        return entry;
    if (portNum <= 32)
        return QStringLiteral("/dev/ttyS%1").arg(portNum - 1);
    if (portNum <= 64)
        return QStringLiteral("/dev/ttyUSB%1").arg(portNum - 33);
    if (portNum <= 96)
        return QStringLiteral("/dev/ttyACM%1").arg(portNum - 65);
    return {};
}

bool PortMap::DeviceUsable(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    return errno == EACCES || errno == EBUSY;
}
