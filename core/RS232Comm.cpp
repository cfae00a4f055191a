#include "core/RS232Comm.h"

#include "platform/Clock.h"
#include "platform/PortMap.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLocale>
#include <QSerialPort>
#include <QTime>
#include <cerrno>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr quint8 PowerCodes[3] = {0x6E, 0x60, 0xC0};
constexpr int WriteTotalTimeoutMs = 100;
// A gap in the bytes of one burst: a few characters' time, and the chunking of a
// USB serial adapter, which hands bytes on at most every 16 ms.
constexpr int BurstGapMs = 20;
constexpr int DefaultQueueSize = 4096;

QSerialPort::Parity toParity(qint32 code)
{
    switch (code) {
    case 1:
        return QSerialPort::OddParity;
    case 2:
        return QSerialPort::EvenParity;
    case 3:
        return QSerialPort::MarkParity;
    case 4:
        return QSerialPort::SpaceParity;
    default:
        return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits toStopBits(qint32 code)
{
    switch (code) {
    case 1:
        return QSerialPort::OneAndHalfStop;
    case 2:
        return QSerialPort::TwoStop;
    default:
        return QSerialPort::OneStop;
    }
}

bool validParity(qint32 code)
{
    return code >= 0 && code <= 4;
}
bool validStopBits(qint32 code)
{
    return code >= 0 && code <= 2;
}
bool validDataBits(qint32 bits)
{
    return bits >= 5 && bits <= 8;
}

// The number behind a failed port call; Qt keeps errno from the failing system call.
int lastErrorNumber()
{
    return errno != 0 ? errno : EIO;
}

QString stepMessage(const char* prefix, const char* function, int code)
{
    return QString::fromUtf8(prefix) + QStringLiteral(" (функция ") + QLatin1String(function) +
           QStringLiteral(" вернула код ошибки ") + QString::number(code) + QLatin1Char(')');
}

// The locale's long time format without the time zone.
QString longTimeFormat()
{
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    return format.trimmed();
}

QString purgeMessage(int code)
{
    return stepMessage("Ошибка очистки буфера COM-порта", "PurgeComm", code);
}

} // namespace

quint8 RfPowerLevelToCode(int Level)
{
    return (Level >= 0 && Level <= 2) ? PowerCodes[Level] : PowerCodes[2];
}

int RfPowerCodeToLevel(quint8 Code)
{
    switch (Code) {
    case 0x6E:
        return 0;
    case 0x60:
        return 1;
    case 0xC0:
        return 2;
    default:
        return -1;
    }
}

TComConnection::TComConnection(const TComSettings& Settings) : Settings_(Settings) {}

TComConnection::~TComConnection()
{
    // Owners close the link; a port still held here is released rather than leaked.
    releasePort();
}

void TComConnection::releasePort()
{
    if (!Port_)
        return;
    if (Port_->isOpen()) {
        // The exclusive flag would otherwise outlive us while a peer holds the tty.
#ifdef TIOCNXCL
        ::ioctl(Port_->handle(), TIOCNXCL);
#endif
        Port_->close();
    }
    Port_.reset();
}

bool TComConnection::Open(bool /*RaiseErr*/, QString& ErrMsg)
{
    // A link that still holds a port (marked closed after a write failure, or
    // opened twice) lets it go first, so the same link can reopen it.
    releasePort();
    Connected = false;
    if (Settings_.InQueueSize == 0)
        Settings_.InQueueSize = DefaultQueueSize;
    if (Settings_.OutQueueSize == 0)
        Settings_.OutQueueSize = DefaultQueueSize;

    DevicePath_ = PortMap::DevicePath(Settings_.PortNum);
    auto port = std::make_unique<QSerialPort>();
    bool opened = false;
    errno = 0;
    if (!DevicePath_.isEmpty()) {
        port->setPortName(DevicePath_);
        opened = port->open(QIODevice::ReadWrite);
    }
    const int openErrno = errno;
    LastCallOk_ = opened;
    if (!opened) {
        const auto error = DevicePath_.isEmpty() ? QSerialPort::DeviceNotFoundError : port->error();
        // A device node with no hardware behind it (ttyS without a UART, an
        // unplugged adapter) fails with EIO/ENXIO: for the operator the port is not there.
        const bool absent = error == QSerialPort::DeviceNotFoundError || openErrno == ENOENT ||
                            openErrno == ENODEV || openErrno == ENXIO || openErrno == EIO;
        if (error == QSerialPort::PermissionError)
            ErrMsg = QStringLiteral("Порт занят");
        else if (absent)
            ErrMsg = QStringLiteral("Попытка открыть несуществующий COM-порт");
        return false;
    }
    Port_ = std::move(port);
    Connected = true;

    // Line settings: raw bytes, no flow control of any kind.
    errno = 0;
    if (!validDataBits(Settings_.ByteSize) || !validParity(Settings_.Parity) ||
        !validStopBits(Settings_.StopBits)) {
        ErrMsg = stepMessage("Ошибка установки параметров COM-порта", "SetCommState", EINVAL);
        LastCallOk_ = false;
        return false;
    }
    errno = 0;
    const bool lineOk = Port_->setBaudRate(Settings_.BaudRate) &&
                        Port_->setDataBits(static_cast<QSerialPort::DataBits>(Settings_.ByteSize)) &&
                        Port_->setParity(toParity(Settings_.Parity)) &&
                        Port_->setStopBits(toStopBits(Settings_.StopBits)) &&
                        Port_->setFlowControl(QSerialPort::NoFlowControl);
    LastCallOk_ = lineOk;
    if (!lineOk) {
        ErrMsg = stepMessage("Ошибка установки параметров COM-порта", "SetCommState", lastErrorNumber());
        return false;
    }
    // Time-outs and queue sizes have no driver call here: reads wait on the port
    // with their own deadline and the kernel keeps its own queues.
    if (!purge(true, true)) {
        ErrMsg = purgeMessage(lastErrorNumber());
        return false;
    }
    return true;
}

bool TComConnection::Close(bool /*RaiseErr*/, QString& /*ErrMsg*/)
{
    // Releasing a descriptor cannot fail in a way the operator could act on.
    releasePort();
    Connected = false;
    LastCallOk_ = true;
    return true;
}

bool TComConnection::purge(bool tx, bool rx)
{
    if (!Port_ || !Port_->isOpen())
        return false;
    QSerialPort::Directions dirs;
    if (tx)
        dirs |= QSerialPort::Output;
    if (rx)
        dirs |= QSerialPort::Input;
    errno = 0;
    const bool ok = Port_->clear(dirs);
    LastCallOk_ = ok;
    return ok;
}

void TComConnection::SetDTR(bool Value)
{
    if (!Port_ || !Port_->isOpen())
        return;
    // A pseudo-terminal has no modem lines; the failure is harmless and must not
    // linger as the port's error state.
    Port_->setDataTerminalReady(Value);
    Port_->clearError();
}

bool TComConnection::Send(std::span<const quint8> Buf, int Count, bool RaiseErr, QString& ErrMsg)
{
    if (!Connected || !Port_ || !Port_->isOpen()) {
        ErrMsg = PortNotOpenMessage;
        return false;
    }
    if (!purge(true, true)) {
        ErrMsg = purgeMessage(lastErrorNumber()) + QStringLiteral(". Проверьте подключение радиомодуля");
        return false;
    }
    const int n = qBound(0, Count, static_cast<int>(qMin<size_t>(Buf.size(), Buffer_.size())));
    std::memcpy(Buffer_.data(), Buf.data(), static_cast<size_t>(n));
    SetDTR(true);
    QString writeErr;
    if (WriteBytes(Buffer_.data(), n, RaiseErr, writeErr) != Count) {
        ErrMsg = QStringLiteral("Ошибка записи данных в COM-порт");
        return false;
    }
    // Only the input side: flushing output could drop the frame before the peer reads it.
    if (!purge(false, true))
        ErrMsg = purgeMessage(lastErrorNumber());
    return true;
}

bool TComConnection::Receive(std::span<quint8> Buf, bool RaiseErr, QString& ErrMsg, int& Count,
                             bool PurgeTxAfter, bool PurgeRxAfter)
{
    if (!Connected || !Port_ || !Port_->isOpen()) {
        ErrMsg = PortNotOpenMessage;
        return false;
    }
    ErrMsg.clear();
    const int wanted = qBound(0, Count, static_cast<int>(qMin<size_t>(Buf.size(), Buffer_.size())));
    const int got = ReadBytes(Buffer_.data(), wanted, RaiseErr, ErrMsg);
    if (got < 0) {
        Count = 0;
        return false;
    }
    Count = got;
    if (Count == 0) {
        ErrMsg = ReceiveTimeoutMessage;
        return false;
    }
    std::memcpy(Buf.data(), Buffer_.data(), static_cast<size_t>(Count));
    if (PurgeTxAfter || PurgeRxAfter) {
        if (!purge(PurgeTxAfter, PurgeRxAfter)) {
            ErrMsg = QTime::currentTime().toString(longTimeFormat()) + QStringLiteral(" > ") +
                     purgeMessage(lastErrorNumber());
            return false;
        }
    }
    return true;
}

bool TComConnection::SetReadTimeout(int Timeout, bool /*RaiseErr*/, QString& ErrMsg)
{
    if (Timeout < 0 || !Port_ || !Port_->isOpen()) {
        ErrMsg = stepMessage("Ошибка установки параметров COM-порта", "SetCommTimeouts",
                             Timeout < 0 ? EINVAL : EBADF);
        LastCallOk_ = false;
        return false;
    }
    Settings_.ReadTimeout = Timeout;
    LastCallOk_ = true;
    return true;
}

int TComConnection::InQueueCount(bool /*RaiseErr*/, QString& ErrMsg)
{
    if (!Port_ || !Port_->isOpen()) {
        ErrMsg = QueueQueryFailedMessage;
        LastCallOk_ = false;
        return -1;
    }
    int pending = 0;
    if (::ioctl(Port_->handle(), FIONREAD, &pending) != 0) {
        ErrMsg = QueueQueryFailedMessage;
        LastCallOk_ = false;
        return -1;
    }
    LastCallOk_ = true;
    return pending + static_cast<int>(Port_->bytesAvailable());
}

int TComConnection::WriteBytes(const quint8* Buf, int Count, bool /*RaiseErr*/, QString& ErrMsg)
{
    if (!Port_ || !Port_->isOpen() || Count < 0) {
        ErrMsg = QStringLiteral("Ошибка записи в порт");
        LastCallOk_ = false;
        return -1;
    }
    if (Count == 0)
        return 0;
    const qint64 queued = Port_->write(reinterpret_cast<const char*>(Buf), Count);
    if (queued != Count) {
        ErrMsg = QStringLiteral("Ошибка записи в порт");
        LastCallOk_ = false;
        return -1;
    }
    // Push the bytes to the driver now, within the write time-out; bytes the driver
    // still holds after that count as written (pending), a port error does not.
    while (Port_->bytesToWrite() > 0) {
        if (!Port_->waitForBytesWritten(WriteTotalTimeoutMs)) {
            if (Port_->error() == QSerialPort::TimeoutError) {
                Port_->clearError();
                break;
            }
            ErrMsg = QStringLiteral("Ошибка записи в порт");
            LastCallOk_ = false;
            return -1;
        }
    }
    LastCallOk_ = true;
    return Count;
}

int TComConnection::ReadBytes(quint8* Buf, int Count, bool /*RaiseErr*/, QString& ErrMsg)
{
    if (!Connected || !Port_ || !Port_->isOpen() || Count <= 0)
        return 0;
    // Real time on purpose: the wait below is a real wait on the port.
    ReadStart_.start();
    return readToDeadline(Buf, Count, ErrMsg);
}

int TComConnection::readToDeadline(quint8* Buf, int Count, QString& ErrMsg, bool Wait)
{
    int got = 0;
    while (got < Count) {
        const qint64 n = Port_->read(reinterpret_cast<char*>(Buf) + got, Count - got);
        if (n < 0) {
            ErrMsg = QueueQueryFailedMessage;
            LastCallOk_ = false;
            return -1;
        }
        got += static_cast<int>(n);
        if (got >= Count)
            break;
        const qint64 elapsed = ReadStart_.elapsed();
        if (elapsed > Settings_.ReadTimeout)
            break;
        // Block on the port until more bytes come or the deadline passes; one
        // millisecond past the deadline makes "strictly more than the time-out".
        // Without Wait, only bytes that keep coming without a gap are taken.
        const int left = static_cast<int>(Settings_.ReadTimeout - elapsed) + 1;
        const int wait = Wait ? left : std::min(left, BurstGapMs);
        if (!Port_->waitForReadyRead(wait)) {
            const auto error = Port_->error();
            if (error == QSerialPort::TimeoutError || error == QSerialPort::NoError) {
                Port_->clearError();
                if (!Wait)
                    break;
                continue;
            }
            // The device went away under us: a failed read, nothing half-kept.
            Port_->clearError();
            ErrMsg = QueueQueryFailedMessage;
            LastCallOk_ = false;
            return -1;
        }
    }
    LastCallOk_ = true;
    return got;
}

bool TComConnection::ReceiveMore(std::span<quint8> Buf, QString& ErrMsg, int& Count)
{
    return receiveOn(Buf, ErrMsg, Count, true);
}

bool TComConnection::ReceiveWaiting(std::span<quint8> Buf, QString& ErrMsg, int& Count)
{
    return receiveOn(Buf, ErrMsg, Count, false);
}

bool TComConnection::receiveOn(std::span<quint8> Buf, QString& ErrMsg, int& Count, bool Wait)
{
    if (!Connected || !Port_ || !Port_->isOpen()) {
        Count = 0;
        ErrMsg = PortNotOpenMessage;
        return false;
    }
    ErrMsg.clear();
    const int wanted = qBound(0, Count, static_cast<int>(qMin<size_t>(Buf.size(), Buffer_.size())));
    // No read begun, no wait to share.
    const int got =
        ReadStart_.isValid() && wanted > 0 ? readToDeadline(Buffer_.data(), wanted, ErrMsg, Wait) : 0;
    Count = qMax(got, 0);
    if (got < 0)
        return false;
    if (got == 0) {
        ErrMsg = ReceiveTimeoutMessage;
        return false;
    }
    std::memcpy(Buf.data(), Buffer_.data(), static_cast<size_t>(got));
    return true;
}

bool TComConnection::sendModemCommand(char Command, quint8 Value, bool RaiseErr, QString& ErrMsg)
{
    Clock::Current().SleepMs(10);
    Buffer_[0] = '#';
    Buffer_[1] = static_cast<quint8>(Command);
    Buffer_[2] = Value;
    return WriteBytes(Buffer_.data(), 3, RaiseErr, ErrMsg) == 3;
}

bool TComConnection::SetRfChannel(int Channel, bool RaiseErr, QString& ErrMsg)
{
    if (!Connected) {
        ErrMsg = PortNotConnectedMessage;
        return false;
    }
    if (Channel < 16 || Channel > 23) {
        ErrMsg = QStringLiteral("Недопустимый номер радиочастотного канала!");
        return false;
    }
    return sendModemCommand('C', static_cast<quint8>(Channel), RaiseErr, ErrMsg);
}

bool TComConnection::SetRfPowerLevel(int Level, bool RaiseErr, QString& ErrMsg)
{
    if (!Connected) {
        ErrMsg = PortNotConnectedMessage;
        return false;
    }
    if (Level < 0 || Level > 2) {
        ErrMsg = QStringLiteral("Недопустимый уровень мощности радиопередатчика!");
        return false;
    }
    return sendModemCommand('P', RfPowerLevelToCode(Level), RaiseErr, ErrMsg);
}

bool TComConnection::QueryModemStatus(bool RaiseErr, QString& ErrMsg)
{
    if (!Connected) {
        ErrMsg = PortNotConnectedMessage;
        return false;
    }
    Clock::Current().SleepMs(10);
    Buffer_[0] = '#';
    Buffer_[1] = 'S';
    if (WriteBytes(Buffer_.data(), 2, RaiseErr, ErrMsg) != 2)
        return false;
    QString readErr;
    const int got = ReadBytes(Buffer_.data(), 6, RaiseErr, readErr);
    if (got == 6 && Buffer_[0] == 'S') {
        if (Buffer_[1] < 32)
            RfChannel_ = Buffer_[1];
        const int level = RfPowerCodeToLevel(Buffer_[2]);
        if (level >= 0)
            RfPowerLevel_ = static_cast<quint8>(level);
        StatusByte3_ = Buffer_[3];
        StatusWord_ = static_cast<quint16>((Buffer_[4] << 8) | Buffer_[5]);
    }
    // The command went out; a missing or bad status reply leaves the last values.
    return true;
}

bool TComConnection::GetRfChannel(int& Channel, bool RaiseErr, QString& ErrMsg)
{
    if (!QueryModemStatus(RaiseErr, ErrMsg))
        return false;
    Channel = RfChannel_;
    return true;
}

bool TComConnection::GetRfPowerLevel(int& Level, bool RaiseErr, QString& ErrMsg)
{
    if (!QueryModemStatus(RaiseErr, ErrMsg))
        return false;
    Level = RfPowerLevel_;
    return true;
}

QStringList ComPortNames()
{
    QStringList names;
    for (int n = 1; n <= PortMap::MaxPort; ++n) {
        if (PortMap::DeviceUsable(PortMap::DevicePath(n)))
            names << QStringLiteral("COM") + QString::number(n);
    }
    return names;
}

void FillComPortList(QComboBox& Combo)
{
    Combo.clear();
    Combo.addItems(ComPortNames());
}
