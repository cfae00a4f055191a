#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <array>
#include <memory>
#include <span>

class QComboBox;
class QSerialPort;

// A read that got nothing; the exchange compares against it.
inline const QString ReceiveTimeoutMessage = QStringLiteral("Превышен таймаут ожидания ответа");

// The link to the radio modem as the network exchange sees it.
class TConnection
{
public:
    virtual ~TConnection() = default;

    // The port is open, as far as the link knows. The exchange clears it after a
    // port failure while sending.
    bool Connected = false;

    // Writes the first Count bytes of Buf as one block.
    virtual bool Send(std::span<const quint8> Buf, int Count, bool RaiseErr, QString& ErrMsg) = 0;
    // On entry Count is the most bytes wanted, on return the bytes read into Buf.
    // ErrMsg is "Превышен таймаут ожидания ответа" when nothing came.
    virtual bool Receive(std::span<quint8> Buf, bool RaiseErr, QString& ErrMsg, int& Count, bool PurgeTxAfter,
                         bool PurgeRxAfter) = 0;
    // Reads up to Count more bytes into Buf within the wait of the last Receive, whose
    // time-out still counts from that Receive's start, so reading on never waits longer
    // than one read. A link that cannot read on hands back nothing.
    virtual bool ReceiveMore(std::span<quint8> /*Buf*/, QString& ErrMsg, int& Count)
    {
        Count = 0;
        ErrMsg = ReceiveTimeoutMessage;
        return false;
    }
    // As ReceiveMore, but takes only the bytes already there, or following them
    // without a gap: it never waits for bytes that have not begun to come.
    virtual bool ReceiveWaiting(std::span<quint8> /*Buf*/, QString& ErrMsg, int& Count)
    {
        Count = 0;
        ErrMsg = ReceiveTimeoutMessage;
        return false;
    }
};

struct TComSettings
{
    quint8 PortNum = 1;
    qint32 BaudRate = 57600;
    qint32 ByteSize = 8;
    qint32 Parity = 0;        // 0 none, 1 odd, 2 even, 3 mark, 4 space
    qint32 StopBits = 0;      // 0 one, 1 one and a half, 2 two
    qint32 InQueueSize = 0;   // 0 means 4096
    qint32 OutQueueSize = 0;  // 0 means 4096
    qint32 ReadTimeout = 100; // total wait of one read, ms
};

// Radio modem transmitter power levels 0..2 and the codes the modem uses for them.
quint8 RfPowerLevelToCode(int Level);
// -1 for a code that is none of the three.
int RfPowerCodeToLevel(quint8 Code);

// The texts the exchange and the windows compare against.
inline const QString PortNotOpenMessage = QStringLiteral("COM-порт не открыт!");
inline const QString PortNotConnectedMessage = QStringLiteral("COM-порт не подключен!");
inline const QString QueueQueryFailedMessage = QStringLiteral("Ошибка функции ClearCommError");

// Serial-port link to the radio modem (or to a device on a USB serial port).
// Every read and write passes through one 4096-byte buffer. Failures never throw:
// they come back as false and a Russian text in ErrMsg.
class TComConnection : public TConnection
{
public:
    static constexpr int BufferSize = 4096;

    explicit TComConnection(const TComSettings& Settings);
    ~TComConnection() override;
    TComConnection(const TComConnection&) = delete;
    TComConnection& operator=(const TComConnection&) = delete;

    bool Open(bool RaiseErr, QString& ErrMsg);
    bool Close(bool RaiseErr, QString& ErrMsg);

    bool Send(std::span<const quint8> Buf, int Count, bool RaiseErr, QString& ErrMsg) override;
    bool Receive(std::span<quint8> Buf, bool RaiseErr, QString& ErrMsg, int& Count, bool PurgeTxAfter,
                 bool PurgeRxAfter) override;
    bool ReceiveMore(std::span<quint8> Buf, QString& ErrMsg, int& Count) override;
    bool ReceiveWaiting(std::span<quint8> Buf, QString& ErrMsg, int& Count) override;

    void SetDTR(bool Value);
    bool SetReadTimeout(int Timeout, bool RaiseErr, QString& ErrMsg);
    int InQueueCount(bool RaiseErr, QString& ErrMsg);
    // -1 with "Ошибка записи в порт" on failure.
    int WriteBytes(const quint8* Buf, int Count, bool RaiseErr, QString& ErrMsg);
    // Waits until Count bytes are there or the read time-out, counted from the
    // start of the call, has passed. -1 with "Ошибка функции ClearCommError" when
    // the port fails (vanished) during the read.
    int ReadBytes(quint8* Buf, int Count, bool RaiseErr, QString& ErrMsg);

    bool SetRfChannel(int Channel, bool RaiseErr, QString& ErrMsg);
    bool SetRfPowerLevel(int Level, bool RaiseErr, QString& ErrMsg);
    bool QueryModemStatus(bool RaiseErr, QString& ErrMsg);
    bool GetRfChannel(int& Channel, bool RaiseErr, QString& ErrMsg);
    bool GetRfPowerLevel(int& Level, bool RaiseErr, QString& ErrMsg);

    const TComSettings& Settings() const { return Settings_; }
    // The port the next Open opens; a port held now stays open until then.
    void SetPortNum(quint8 PortNum) { Settings_.PortNum = PortNum; }
    bool LastCallOk() const { return LastCallOk_; }
    quint8 RfChannel() const { return RfChannel_; }
    quint8 RfPowerLevel() const { return RfPowerLevel_; }
    // The device path the port number resolved to at the last Open.
    QString DevicePath() const { return DevicePath_; }

private:
    bool purge(bool tx, bool rx);
    // "#" + Command + Value after the modem's 10 ms pause; no reply is read.
    bool sendModemCommand(char Command, quint8 Value, bool RaiseErr, QString& ErrMsg);
    void releasePort();
    // The read loop of ReadBytes, against the deadline of the read that ReadStart_ began.
    int readToDeadline(quint8* Buf, int Count, QString& ErrMsg, bool Wait = true);
    // ReceiveMore and ReceiveWaiting: on within the last read's deadline, waiting or not.
    bool receiveOn(std::span<quint8> Buf, QString& ErrMsg, int& Count, bool Wait);

    TComSettings Settings_;
    std::unique_ptr<QSerialPort> Port_;
    QElapsedTimer ReadStart_;
    QString DevicePath_;
    std::array<quint8, BufferSize> Buffer_{};
    bool LastCallOk_ = false;
    quint8 RfChannel_ = 0;
    quint8 RfPowerLevel_ = 0;
    quint8 StatusByte3_ = 0;
    quint16 StatusWord_ = 0;
};

// "COM<n>" for every port number whose device exists and can be opened or is busy.
QStringList ComPortNames();
void FillComPortList(QComboBox& Combo);
