#include "core/Logging.h"
#include "core/NetComm.h"
#include "core/RegisterMap.h"
#include "support/DeviceReplies.h"
#include "support/FakeConnection.h"
#include "support/QStringPrinter.h"

#include <QFile>
#include <QTemporaryDir>
#include <array>
#include <gtest/gtest.h>
#include <string_view>

namespace {

using Bytes = std::vector<quint8>;

const QString Busy = QStringLiteral("устройство занято, необходимо повторить команду позже");

TNetRequest Read(quint16 Reg, quint8 Len)
{
    TNetRequest r;
    r.NetFunc = NetFunction::Read;
    r.RegAddr = Reg;
    r.DataLen = Len;
    return r;
}

TNetRequest Write(quint16 Reg, const Bytes& Data)
{
    TNetRequest r;
    r.NetFunc = NetFunction::Write;
    r.RegAddr = Reg;
    r.DataLen = static_cast<quint8>(Data.size());
    std::copy(Data.begin(), Data.end(), r.Data.begin());
    return r;
}

Bytes ReadItem(quint16 Reg, const Bytes& Data, quint8 Func = NetFunction::Read)
{
    Bytes item{Func, static_cast<quint8>(Reg >> 8), static_cast<quint8>(Reg),
               static_cast<quint8>(Data.size())};
    item.insert(item.end(), Data.begin(), Data.end());
    return item;
}

Bytes operator+(Bytes A, const Bytes& B)
{
    A.insert(A.end(), B.begin(), B.end());
    return A;
}

// The four reads of one polling step.
std::array<TNetRequest, 4> PollingReads()
{
    return {Read(0x0200, 5), Read(0x0205, 4), Read(0x0209, 4), Read(0x020D, 4)};
}

// One exchange with its in and out parameters, the way the main window holds them.
struct Exchange
{
    FakeConnection Conn;
    std::array<TNetRequest, ExtraRecordsSize> Extra{};
    int ExtraCount = -1;
    quint8 RfLevel = 0xEE;
    bool NoReply = true;
    QString ErrMsg = QStringLiteral("старый текст");

    bool Run(quint16 Addr, std::span<TNetRequest> Requests)
    {
        return NetExchange(Conn, Addr, Requests, ErrMsg, Extra, ExtraCount, RfLevel, NoReply);
    }
};

// The debug log switched on and written to a file of its own, until Stop or the end
// of the scope switches it off and points it back at its default place.
class DebugLogFile
{
public:
    DebugLogFile()
    {
        if (dir.isValid()) {
            SetLogFileName(dir.filePath(QStringLiteral("klov.log")));
            LogDebugInfo = true;
        }
    }
    ~DebugLogFile() { Stop(); }
    DebugLogFile(const DebugLogFile&) = delete;
    DebugLogFile& operator=(const DebugLogFile&) = delete;

    bool IsValid() const { return dir.isValid(); }
    void Stop()
    {
        LogDebugInfo = false;
        SetLogFileName(QString());
    }
    bool Read(QString& Text) const
    {
        QFile f(dir.filePath(QStringLiteral("klov.log")));
        if (!f.open(QIODevice::ReadOnly))
            return false;
        Text = QString::fromUtf8(f.readAll());
        return true;
    }

private:
    QTemporaryDir dir;
};

} // namespace

TEST(CalcCRC16, MatchesTheModbusCheckValueAndRunsAcrossBlocks)
{
    const std::string_view digits = "123456789";
    const auto* bytes = reinterpret_cast<const quint8*>(digits.data());
    quint16 crc = 0xFFFF;
    EXPECT_EQ(CalcCRC16(bytes, 9, crc), 0x4B37);
    EXPECT_EQ(crc, 0x4B37);

    // The running value carries over, so a block may be fed in chunks.
    quint16 running = 0xFFFF;
    CalcCRC16(std::span<const quint8>(bytes, 4), running);
    CalcCRC16(std::span<const quint8>(bytes + 4, 5), running);
    EXPECT_EQ(running, 0x4B37);
}

TEST(NetExchange, PollingFrameForDevice1234ComesOutByteForByte)
{
    Exchange x;
    auto req = PollingReads();
    x.Run(1234, req);
    ASSERT_FALSE(x.Conn.Sent.empty());
    const Bytes expected{0x04, 0xD2, 0x00, 0x00, 0x10, 0x01, 0x02, 0x00, 0x05, 0x01, 0x02, 0x05,
                         0x04, 0x01, 0x02, 0x09, 0x04, 0x01, 0x02, 0x0D, 0x04, 0x3F, 0xD4};
    EXPECT_EQ(x.Conn.Sent.front(), expected);
    // Each attempt reads at most a full packet buffer.
    EXPECT_EQ(x.Conn.WantedCounts.front(), PacketBufSize);
}

TEST(NetExchange, WriteCarriesItsDataAndUnknownFunctionsAddNothing)
{
    Exchange x;
    TNetRequest odd;
    odd.NetFunc = 7;
    odd.RegAddr = 0x1111;
    odd.DataLen = 9;
    std::array<TNetRequest, 3> req{Write(0x0102, {0xAA, 0xBB}), odd, Read(0x0300, 2)};
    x.Conn.Reply(MakeNetReply(0x0102, ReadItem(0x0102, {}, NetFunction::Write)));
    x.Run(0x0102, req);
    ASSERT_EQ(x.Conn.Sent.size(), 1u);
    const Bytes& f = x.Conn.Sent.front();
    ASSERT_EQ(f.size(), 7u + 10u);
    EXPECT_EQ(f[4], 10);
    EXPECT_EQ(Bytes(f.begin() + 5, f.begin() + 15),
              (Bytes{0x02, 0x01, 0x02, 0x02, 0xAA, 0xBB, 0x01, 0x03, 0x00, 0x02}));
    quint16 crc = 0xFFFF;
    CalcCRC16(std::span<const quint8>(f).first(15), crc);
    EXPECT_EQ(f[15], crc >> 8);
    EXPECT_EQ(f[16], crc & 0xFF);
}

TEST(NetExchange, LinkNotConnectedSendsNothing)
{
    Exchange x;
    x.Conn.Connected = false;
    auto req = PollingReads();
    EXPECT_FALSE(x.Run(1234, req));
    EXPECT_EQ(x.ErrMsg, QStringLiteral("Канал связи не инициализирован!"));
    EXPECT_TRUE(x.Conn.Sent.empty());
    EXPECT_FALSE(x.NoReply);
    EXPECT_EQ(x.ExtraCount, 0);
}

TEST(NetExchange, LengthSumsDecideWhatIsSent)
{
    {
        // Send sum 44: a frame of 51 bytes goes out.
        Exchange x;
        std::array<TNetRequest, 1> req{Write(0x0400, Bytes(40, 0x11))};
        x.Run(1, req);
        ASSERT_EQ(x.Conn.Sent.size(), 3u);
        EXPECT_EQ(x.Conn.Sent.front().size(), 51u);
    }
    {
        // Send sum 45: refused, nothing written to the port or to the request.
        Exchange x;
        std::array<TNetRequest, 1> req{Write(0x0400, Bytes(41, 0x11))};
        req[0].ReplyLen = 9;
        req[0].Failed = true;
        EXPECT_FALSE(x.Run(1, req));
        EXPECT_EQ(x.ErrMsg, QStringLiteral("Суммарная длина отправляемого сообщения превышает допустимую!"));
        EXPECT_TRUE(x.Conn.Sent.empty());
        EXPECT_EQ(req[0].ReplyLen, 9);
        EXPECT_TRUE(req[0].Failed);
    }
    {
        // Expected reply sum 44: a single read of 40 bytes is sent.
        Exchange x;
        std::array<TNetRequest, 1> req{Read(0x0500, 40)};
        x.Run(1, req);
        EXPECT_EQ(x.Conn.Sent.size(), 3u);
    }
    {
        Exchange x;
        std::array<TNetRequest, 1> req{Read(0x0500, 41)};
        req[0].Data.fill(0x77);
        EXPECT_FALSE(x.Run(1, req));
        EXPECT_EQ(x.ErrMsg, QStringLiteral("Суммарная длина ожидаемого сообщения превышает допустимую!"));
        EXPECT_TRUE(x.Conn.Sent.empty());
        EXPECT_EQ(req[0].Data[0], 0x77);
    }
    {
        // Both too long: the send sum is reported.
        Exchange x;
        std::array<TNetRequest, 2> req{Read(0x0500, 41), Write(0x0400, Bytes(41, 0))};
        EXPECT_FALSE(x.Run(1, req));
        EXPECT_EQ(x.ErrMsg, SendTooLongMessage);
    }
}

TEST(NetExchange, SilentDeviceCostsThreeAttemptsAndLogsOnlyTheSends)
{
    DebugLogFile debugLog;
    ASSERT_TRUE(debugLog.IsValid());

    Exchange x;
    auto req = PollingReads();
    const bool ok = x.Run(1234, req);
    debugLog.Stop();

    EXPECT_FALSE(ok);
    EXPECT_EQ(x.ErrMsg, QStringLiteral("Превышен таймаут ожидания ответа"));
    EXPECT_TRUE(x.NoReply);
    ASSERT_EQ(x.Conn.Sent.size(), 3u);
    EXPECT_EQ(x.Conn.Sent[1], x.Conn.Sent[0]);
    EXPECT_EQ(x.Conn.Sent[2], x.Conn.Sent[0]);

    QString log;
    ASSERT_TRUE(debugLog.Read(log));
    EXPECT_EQ(log.count(QStringLiteral(": Sent to 1234: 04 D2 00 00 10 01 02 00 05 01 02 05 04 01 02 09 04 "
                                       "01 02 0D 04 3F D4 \n")),
              3);
    EXPECT_FALSE(log.contains(QStringLiteral("Received")));
}

TEST(NetExchange, ReceivedReplyIsLoggedAsReadFromTheModem)
{
    DebugLogFile debugLog;
    ASSERT_TRUE(debugLog.IsValid());

    Exchange x;
    std::array<TNetRequest, 1> req{Read(0x0205, 1)};
    const Bytes reply = MakeNetReply(77, ReadItem(0x0205, {0x42}));
    x.Conn.Reply(reply);
    const bool ok = x.Run(77, req);
    debugLog.Stop();

    EXPECT_TRUE(ok);
    QString log;
    ASSERT_TRUE(debugLog.Read(log));
    const QStringList lines = log.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    ASSERT_EQ(x.Conn.Sent.size(), 1u);
    EXPECT_EQ(bin2char(x.Conn.Sent[0], 9), QStringLiteral("00 4D 00 00 04 01 02 05 01 "));
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(": Sent to 77: ") + bin2char(x.Conn.Sent[0], 11)));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(": Received assumedly from 77: ") +
                                  bin2char(reply, static_cast<int>(reply.size()))));
}

TEST(NetExchange, LogStaysQuietWhileDebugInfoIsOff)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    SetLogFileName(dir.filePath(QStringLiteral("klov.log")));
    Exchange x;
    auto req = PollingReads();
    x.Run(1234, req);
    SetLogFileName(QString());
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("klov.log"))));
}

TEST(NetExchange, AttemptsEndWithTheFirstReplyWhateverItHolds)
{
    {
        Exchange x;
        std::array<TNetRequest, 1> req{Read(0x0205, 2)};
        x.Conn.Silence().Reply(MakeNetReply(1234, ReadItem(0x0205, {0x12, 0x34})));
        EXPECT_TRUE(x.Run(1234, req));
        EXPECT_EQ(x.Conn.Sent.size(), 2u);
        EXPECT_FALSE(x.NoReply);
        EXPECT_EQ(x.ErrMsg, QString());
        EXPECT_EQ(req[0].ReplyLen, 2);
        EXPECT_EQ(req[0].Data[0], 0x12);
        EXPECT_EQ(req[0].Data[1], 0x34);
    }
    {
        // A bad reply is not retried.
        Exchange x;
        std::array<TNetRequest, 1> req{Read(0x0205, 2)};
        Bytes bad = MakeNetReply(1234, ReadItem(0x0205, {0x12, 0x34}));
        bad[8] ^= 0x01;
        x.Conn.Reply(bad).Reply(MakeNetReply(1234, ReadItem(0x0205, {0x12, 0x34})));
        EXPECT_FALSE(x.Run(1234, req));
        EXPECT_EQ(x.ErrMsg, QStringLiteral("Ошибка контрольной суммы полученного пакета!"));
        EXPECT_EQ(x.Conn.Sent.size(), 1u);
        EXPECT_FALSE(x.NoReply);
    }
    {
        // A read that fails otherwise than by time-out is retried too, but is no silence.
        Exchange x;
        std::array<TNetRequest, 1> req{Read(0x0205, 2)};
        x.Conn.FailReceive(QueueQueryFailedMessage).Silence().FailReceive(QueueQueryFailedMessage);
        EXPECT_FALSE(x.Run(1234, req));
        EXPECT_EQ(x.Conn.Sent.size(), 3u);
        EXPECT_EQ(x.ErrMsg, QStringLiteral("Ошибка функции ClearCommError"));
        EXPECT_FALSE(x.NoReply);
    }
}

TEST(NetExchange, PortFailureWhileSendingMarksTheLinkClosed)
{
    Exchange x;
    auto req = PollingReads();
    x.Conn.FailSend(QStringLiteral("Ошибка записи данных в COM-порт"));
    EXPECT_FALSE(x.Run(1234, req));
    EXPECT_EQ(x.ErrMsg, QStringLiteral("Ошибка записи данных в COM-порт"));
    EXPECT_TRUE(x.NoReply);
    EXPECT_FALSE(x.Conn.Connected);
    EXPECT_EQ(x.Conn.Sent.size(), 1u);
    EXPECT_EQ(x.Conn.Receives, 0);

    // Only port failures ("Ошибка…") close the link; any other refusal goes on to the read.
    Exchange y;
    y.Conn.FailSend(QStringLiteral("COM-порт не открыт!")).Reply(MakeNetReply(1234, {}));
    EXPECT_TRUE(y.Run(1234, req));
    EXPECT_TRUE(y.Conn.Connected);
    EXPECT_FALSE(y.NoReply);
    EXPECT_EQ(y.Conn.Sent.size(), 2u);
}

TEST(NetExchange, ReplyTooShortForAFrameAnswersNothing)
{
    for (const std::size_t size : {1u, 5u, 7u}) {
        Exchange x;
        auto req = PollingReads();
        for (TNetRequest& r : req) {
            r.ReplyLen = 3;
            r.Failed = true;
            r.ErrorCode = 2;
            r.Data.fill(0x99);
        }
        x.Conn.Reply(Bytes(size, 0x04));
        EXPECT_TRUE(x.Run(1234, req)) << size;
        EXPECT_EQ(x.ErrMsg, QString());
        EXPECT_EQ(x.RfLevel, 0xEE) << "a runt says nothing about the signal";
        for (const TNetRequest& r : req) {
            EXPECT_EQ(r.ReplyLen, 0);
            EXPECT_FALSE(r.Failed);
            EXPECT_EQ(r.ErrorCode, 0);
            EXPECT_EQ(r.Data, (std::array<quint8, 64>{}));
        }
    }
    {
        // A link that claims more than the buffer holds is treated the same way.
        Exchange x;
        auto req = PollingReads();
        x.Conn.Reply(MakeNetReply(1234, ReadItem(0x0200, {1, 2, 3, 4, 5})));
        x.Conn.Script.back().ReportedCount = 200;
        EXPECT_TRUE(x.Run(1234, req));
        EXPECT_EQ(req[0].ReplyLen, 0);
    }
}

TEST(NetExchange, WrongLengthByteFailsBeforeTheCrcButSetsTheSignalLevel)
{
    for (const int delta : {-1, 1}) {
        Exchange x;
        auto req = PollingReads();
        Bytes reply = MakeNetReply(1234, ReadItem(0x0200, {1, 2, 3, 4, 5}), 0x21);
        reply[5] = static_cast<quint8>(reply[5] + delta);
        reply[reply.size() - 4] ^= 0xFF; // the CRC is wrong as well
        x.Conn.Reply(reply);
        EXPECT_FALSE(x.Run(1234, req));
        EXPECT_EQ(x.ErrMsg, QStringLiteral("Получен пакет неверной длины!"));
        EXPECT_EQ(x.RfLevel, 0x21);
        EXPECT_FALSE(x.NoReply);
    }
    {
        // 8 bytes can hold no frame at all.
        Exchange x;
        auto req = PollingReads();
        x.Conn.Reply(Bytes{0, 0x04, 0xD2, 0, 0, 0, 0x3C, 0});
        EXPECT_FALSE(x.Run(1234, req));
        EXPECT_EQ(x.ErrMsg, WrongLengthMessage);
        EXPECT_EQ(x.RfLevel, 0x3C);
    }
}

TEST(NetExchange, ReplyFromAnotherDeviceFailsAndWarnsTheOperator)
{
    QStringList warnings;
    SetNetWarningHandler([&](const QString& Text) { warnings << Text; });
    Exchange x;
    auto req = PollingReads();
    x.Conn.Reply(MakeNetReply(1234, ReadItem(0x0200, {1, 2, 3, 4, 5}), 0x44));
    const bool ok = x.Run(1235, req);
    SetNetWarningHandler({});

    EXPECT_FALSE(ok);
    EXPECT_EQ(x.ErrMsg, QStringLiteral("Получен пакет от другого устройства (№1234)!"));
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_EQ(warnings[0], QStringLiteral("Получен пакет от другого устройства (№1234), возможно на данном "
                                          "радиоканале работает другой радиомодем"));
    EXPECT_EQ(x.RfLevel, 0x44);
    EXPECT_EQ(req[0].ReplyLen, 0);

    // Without a handler the exchange fails just the same.
    Exchange y;
    y.Conn.Reply(MakeNetReply(7, {}));
    EXPECT_FALSE(y.Run(8, req));
    EXPECT_EQ(y.ErrMsg, QStringLiteral("Получен пакет от другого устройства (№7)!"));
}

TEST(NetExchange, DestinationOfTheReplyIsNotChecked)
{
    Exchange x;
    std::array<TNetRequest, 1> req{Read(0x0205, 1)};
    x.Conn.Reply(MakeNetReply(1234, ReadItem(0x0205, {9}), 0x30, 0xBEEF));
    EXPECT_TRUE(x.Run(1234, req));
    EXPECT_EQ(req[0].ReplyLen, 1);
}

TEST(NetExchange, PollingReplyFillsEveryRead)
{
    Exchange x;
    auto req = PollingReads();
    const Bytes items = ReadItem(0x0200, {0, 0, 0x10, 0x01, 0xF0}) + ReadItem(0x0205, {0x41, 0xC8, 0, 0}) +
                        ReadItem(0x0209, {0xC1, 0x20, 0, 0}) + ReadItem(0x020D, {0x41, 0xB4, 0, 0});
    ASSERT_EQ(items.size(), 33u);
    const Bytes reply = MakeNetReply(1234, items, 0x2A);
    ASSERT_EQ(reply.size(), 43u);
    x.Conn.Reply(reply);
    EXPECT_TRUE(x.Run(1234, req));
    EXPECT_EQ(x.ErrMsg, QString());
    EXPECT_EQ(x.RfLevel, 0x2A);
    EXPECT_EQ(x.ExtraCount, 0);
    EXPECT_EQ(req[0].ReplyLen, 5);
    EXPECT_EQ(req[0].Data[4], 0xF0);
    EXPECT_EQ(req[0].Data[5], 0);
    EXPECT_EQ(req[1].Data[1], 0xC8);
    EXPECT_EQ(req[2].Data[0], 0xC1);
    EXPECT_EQ(req[3].ReplyLen, 4);
    EXPECT_EQ(req[3].Data[1], 0xB4);
    EXPECT_FALSE(req[3].Failed);
}

TEST(NetExchange, PayloadOfNothingAnswersNothing)
{
    Exchange x;
    auto req = PollingReads();
    x.Conn.Reply(MakeNetReply(1234, {}, 0x12));
    EXPECT_TRUE(x.Run(1234, req));
    EXPECT_EQ(x.RfLevel, 0x12);
    for (const TNetRequest& r : req)
        EXPECT_EQ(r.ReplyLen, 0);
}

TEST(NetExchange, ErrorItemFailsItsRequestAndTheNextIsStillAnswered)
{
    Exchange x;
    std::array<TNetRequest, 2> req{Read(0x0205, 4), Read(0x0209, 4)};
    x.Conn.Reply(MakeNetReply(1234, Bytes{0x81, 0x01} + ReadItem(0x0209, {1, 2, 3, 4})));
    EXPECT_TRUE(x.Run(1234, req));
    EXPECT_TRUE(req[0].Failed);
    EXPECT_EQ(req[0].ErrorCode, 1);
    EXPECT_EQ(req[0].ReplyLen, 0);
    EXPECT_EQ(x.ErrMsg, Busy);
    EXPECT_FALSE(req[1].Failed);
    EXPECT_EQ(req[1].ReplyLen, 4);
    EXPECT_EQ(req[1].Data[3], 4);
}

TEST(NetExchange, DeviceErrorCodesSetReplaceEmptyOrKeepTheText)
{
    struct Case
    {
        quint8 Code;
        QString Text;
    };
    const std::vector<Case> cases{
        {1, Busy},
        {2, QStringLiteral("регистр по запрашиваемому адресу отсутствует")},
        {3, QStringLiteral("недопустимая длина операции записи/чтения")},
        {4, QStringLiteral("данная операция неприменима к указанному регистру")},
        {5, QStringLiteral("передаваемые параметры имеют недопустимые значения")},
        {6, QString()},
        {7, QStringLiteral("размер запрашиваемых данных превышает максимально допустимую длину ответа")},
        // Codes outside the table keep what the previous error item said.
        {0, Busy},
        {8, Busy},
        {100, Busy},
        {255, Busy},
    };
    for (const Case& c : cases) {
        Exchange x;
        std::array<TNetRequest, 2> req{Read(0x0205, 4), Write(0x0300, {1})};
        // The first byte of an error item may be anything from 0x80 up.
        x.Conn.Reply(MakeNetReply(1234, Bytes{0x80, 0x01, 0xFF, c.Code}));
        EXPECT_TRUE(x.Run(1234, req)) << int(c.Code);
        EXPECT_EQ(x.ErrMsg, c.Text) << int(c.Code);
        EXPECT_TRUE(req[1].Failed);
        EXPECT_EQ(req[1].ErrorCode, c.Code);
    }
    {
        // A lone unknown code leaves the text empty, as the exchange began.
        Exchange x;
        std::array<TNetRequest, 1> req{Read(0x0205, 4)};
        x.Conn.Reply(MakeNetReply(1234, Bytes{0x90, 0x09}));
        EXPECT_TRUE(x.Run(1234, req));
        EXPECT_EQ(x.ErrMsg, QString());
        EXPECT_TRUE(req[0].Failed);
    }
}

TEST(NetExchange, ExtraRecordsGoToTheExtraBufferWithoutTakingARequest)
{
    Exchange x;
    x.Extra[0].Failed = true;
    x.Extra[0].ErrorCode = 5;
    std::array<TNetRequest, 2> req{Read(0x0205, 2), Read(0x0209, 2)};
    x.Conn.Reply(MakeNetReply(1234, ReadItem(0x0205, {1, 2}) +
                                        ReadItem(0x0100, {7, 8, 9}, NetFunction::ExtraRecord) +
                                        ReadItem(0x0209, {3, 4})));
    EXPECT_TRUE(x.Run(1234, req));
    EXPECT_EQ(x.ExtraCount, 1);
    EXPECT_EQ(x.Extra[0].NetFunc, NetFunction::ExtraRecord);
    EXPECT_EQ(x.Extra[0].RegAddr, 0x0100);
    EXPECT_EQ(x.Extra[0].DataLen, 3);
    EXPECT_EQ(x.Extra[0].ReplyLen, 3);
    EXPECT_EQ(x.Extra[0].Data[2], 9);
    EXPECT_TRUE(x.Extra[0].Failed) << "untouched";
    EXPECT_EQ(x.Extra[0].ErrorCode, 5) << "untouched";
    EXPECT_EQ(req[1].ReplyLen, 2);
    EXPECT_EQ(req[1].Data[0], 3);
}

TEST(NetExchange, WriteReplyLengthIsHandedBackAsIs)
{
    Exchange x;
    std::array<TNetRequest, 1> req{Write(0x0300, {1, 2, 3, 4})};
    x.Conn.Reply(MakeNetReply(1234, {0x02, 0x03, 0x00, 0x09}));
    EXPECT_TRUE(x.Run(1234, req));
    EXPECT_FALSE(req[0].Failed);
    EXPECT_EQ(req[0].ReplyLen, 9);
    EXPECT_EQ(req[0].Data[3], 4) << "a write keeps its data";
}

TEST(NetExchange, MismatchedItemsStopTheWalkAndKeepWhatWasFilled)
{
    struct Case
    {
        Bytes Second; // the item answering the second request
        QString Text;
    };
    const std::array<Case, 3> cases{{
        {ReadItem(0x0209, {1}, NetFunction::Write),
         QStringLiteral("Неверный номер сетевой функции в ответе! Обработка ответа прекращена.")},
        {ReadItem(0x0300, {1}, 0x05),
         QStringLiteral("Неверный номер сетевой функции в ответе! Неверный адрес "
                        "регистра в ответе! Обработка ответа прекращена.")},
        {ReadItem(0x020A, {1}),
         QStringLiteral("Неверный адрес регистра в ответе! Обработка ответа прекращена.")},
    }};
    for (const Case& c : cases) {
        Exchange x;
        std::array<TNetRequest, 3> req{Read(0x0205, 1), Read(0x0209, 1), Read(0x020D, 1)};
        x.Conn.Reply(MakeNetReply(1234, ReadItem(0x0205, {0x55}) + c.Second + ReadItem(0x020D, {1})));
        EXPECT_FALSE(x.Run(1234, req));
        EXPECT_EQ(x.ErrMsg, c.Text);
        EXPECT_EQ(req[0].ReplyLen, 1);
        EXPECT_EQ(req[0].Data[0], 0x55);
        EXPECT_EQ(req[1].ReplyLen, 0);
        EXPECT_EQ(req[2].ReplyLen, 0);
    }
}

// Replies with a valid frame that do not fit the requests or the buffers.
TEST(NetExchange, RepliesThatDoNotFitAreRejectedWithoutWritingOutside)
{
    const TNetRequest guard = [] {
        TNetRequest g;
        g.NetFunc = 0xEE;
        g.RegAddr = 0xEEEE;
        g.DataLen = 0xEE;
        g.Data.fill(0xEE);
        g.ReplyLen = 0xEE;
        g.ErrorCode = 0xEE;
        return g;
    }();
    auto same = [](const TNetRequest& a, const TNetRequest& b) {
        return a.NetFunc == b.NetFunc && a.RegAddr == b.RegAddr && a.DataLen == b.DataLen &&
               a.Data == b.Data && a.ReplyLen == b.ReplyLen && a.Failed == b.Failed &&
               a.ErrorCode == b.ErrorCode;
    };

    struct Case
    {
        const char* What;
        Bytes Items;
        int Extras; // size of the extra buffer handed over
    };
    Bytes twelveExtras;
    for (int i = 0; i < 12; ++i)
        twelveExtras = twelveExtras + ReadItem(0x0100 + i, {}, NetFunction::ExtraRecord);
    const std::array<Case, 9> cases{{
        {"more answers than requests", ReadItem(0x0205, {1}) + ReadItem(0x0209, {2}), 11},
        {"error item for no request", ReadItem(0x0205, {1}) + Bytes{0x81, 0x01}, 11},
        {"more extra records than the buffer holds", twelveExtras, 11},
        {"an extra record with no buffer", ReadItem(0x0100, {1}, NetFunction::ExtraRecord), 0},
        {"read item announcing more than 64 bytes", Bytes{0x01, 0x02, 0x05, 0x41, 1, 2}, 11},
        {"read item running past the payload", Bytes{0x01, 0x02, 0x05, 0x05, 1, 2}, 11},
        {"extra record running past the payload", Bytes{0x03, 0x01, 0x00, 0x08, 1, 2}, 11},
        {"error item cut short", Bytes{0x81}, 11},
        {"item header cut short", Bytes{0x01, 0x02}, 11},
    }};
    for (const Case& c : cases) {
        Exchange x;
        std::array<TNetRequest, 3> reqBuf{guard, Read(0x0205, 1), guard};
        std::array<TNetRequest, ExtraRecordsSize + 2> extraBuf;
        extraBuf.fill(guard);
        const auto extra = std::span(extraBuf).subspan(1, c.Extras);
        for (TNetRequest& e : extra)
            e = TNetRequest{};
        x.Conn.Reply(MakeNetReply(1234, c.Items));
        EXPECT_FALSE(NetExchange(x.Conn, 1234, std::span(reqBuf).subspan(1, 1), x.ErrMsg, extra, x.ExtraCount,
                                 x.RfLevel, x.NoReply))
            << c.What;
        EXPECT_EQ(x.ErrMsg, ReplyMismatchMessage) << c.What;
        EXPECT_LE(x.ExtraCount, c.Extras) << c.What;
        EXPECT_FALSE(x.NoReply);
        EXPECT_TRUE(same(reqBuf[0], guard) && same(reqBuf[2], guard)) << c.What;
        EXPECT_TRUE(same(extraBuf[0], guard) && same(extraBuf[c.Extras + 1], guard)) << c.What;
        for (std::size_t i = c.Extras + 1; i < extraBuf.size(); ++i)
            EXPECT_TRUE(same(extraBuf[i], guard)) << c.What << " extra " << i;
        EXPECT_TRUE(std::all_of(reqBuf[1].Data.begin() + 1, reqBuf[1].Data.end(), [](quint8 b) {
            return b == 0;
        })) << c.What;
    }
    {
        // Exactly eleven extra records still fit.
        Exchange x;
        std::array<TNetRequest, 1> req{Read(0x0205, 1)};
        Bytes eleven;
        for (int i = 0; i < 11; ++i)
            eleven = eleven + ReadItem(0x0100 + i, {}, NetFunction::ExtraRecord);
        x.Conn.Reply(MakeNetReply(1234, eleven));
        EXPECT_TRUE(x.Run(1234, req));
        EXPECT_EQ(x.ExtraCount, 11);
        EXPECT_EQ(x.Extra[10].RegAddr, 0x010A);
    }
}

// A late reply of the device polled before can land in the same read as the
// reply of 1235; the read stops at the full packet buffer.
TEST(NetExchange, OwnReplyFollowedByAStaleTailIsTakenAndTheTailLogged)
{
    DebugLogFile debugLog;
    ASSERT_TRUE(debugLog.IsValid());
    const Bytes items = ReadItem(0x0200, {0, 0, 0, 0, 0x11}) + ReadItem(0x0205, {1, 2, 3, 4}) +
                        ReadItem(0x0209, {5, 6, 7, 8}) + ReadItem(0x020D, {9, 10, 11, 12});
    const Bytes own = MakeNetReply(1235, items, 0x2B);
    const Bytes late = MakeNetReply(1234, items, 0x3C);
    const Bytes tail(late.begin(), late.begin() + (PacketBufSize - static_cast<int>(own.size())));
    Exchange x;
    auto req = PollingReads();
    x.Conn.Reply(own + tail);
    EXPECT_TRUE(x.Run(1235, req)) << x.ErrMsg.toStdString();
    debugLog.Stop();
    EXPECT_EQ(x.ErrMsg, QString());
    EXPECT_EQ(x.RfLevel, 0x2B);
    EXPECT_EQ(req[0].Data[4], 0x11);
    EXPECT_EQ(req[3].ReplyLen, 4);
    QString log;
    ASSERT_TRUE(debugLog.Read(log));
    EXPECT_TRUE(log.contains(QStringLiteral(": Dropped beside the reply from 1235: ") +
                             bin2char(tail, static_cast<int>(tail.size()))));
}

TEST(NetExchange, StaleReplyOfAnotherDeviceAheadOfTheOwnOneWarnsAndTheOwnOneIsTaken)
{
    QStringList warnings;
    SetNetWarningHandler([&](const QString& Text) { warnings << Text; });
    Exchange x;
    std::array<TNetRequest, 2> req{Read(0x0205, 4), Read(0x0209, 4)};
    x.Conn.Reply(MakeNetReply(1234, ReadItem(0x0200, {1, 2, 3, 4, 5}), 0x3C) +
                 MakeNetReply(1235, ReadItem(0x0205, {6, 7, 8, 9}) + ReadItem(0x0209, {1, 2, 3, 4}), 0x2B));
    EXPECT_TRUE(x.Run(1235, req)) << x.ErrMsg.toStdString();
    EXPECT_EQ(x.ErrMsg, QString());
    EXPECT_EQ(x.RfLevel, 0x2B);
    EXPECT_EQ(req[0].Data[0], 6);
    EXPECT_EQ(req[1].ReplyLen, 4);
    EXPECT_EQ(warnings, QStringList{QStringLiteral("Получен пакет от другого устройства (№1234), возможно на "
                                                   "данном радиоканале работает другой радиомодем")});

    // The own reply cut short stays a failure whatever comes ahead of it; with no
    // own reply behind the other device's, no warning, as for any bad length.
    const Bytes own = MakeNetReply(1235, ReadItem(0x0205, {6, 7, 8, 9}));
    const Bytes cut(own.begin(), own.end() - 3);
    const Bytes stale = MakeNetReply(1234, ReadItem(0x0205, {1, 2, 3, 4}));
    for (const Bytes& bytes : {cut, stale + cut, stale + Bytes(20, 0x55)}) {
        warnings.clear();
        Exchange y;
        std::array<TNetRequest, 1> one{Read(0x0205, 4)};
        y.Conn.Reply(bytes);
        EXPECT_FALSE(y.Run(1235, one)) << bytes.size();
        EXPECT_EQ(y.ErrMsg, WrongLengthMessage) << bytes.size();
        EXPECT_TRUE(warnings.isEmpty()) << bytes.size();
        EXPECT_EQ(one[0].ReplyLen, 0);
    }
    SetNetWarningHandler({});
}

// Two replies rarely fit the packet buffer: the read stops inside the second, which
// is then read on within the same wait, as far as its own length byte says.
TEST(NetExchange, LateReplyOfAnotherDeviceAheadIsDroppedAndTheOwnOneReadOn)
{
    const TIdentification id = DeviceReplies::Identification(6103, 1);
    const Bytes late = DeviceReplies::ConfigReply(6005, TDevice(6005), TDeviceType::ThermoInputs);
    Exchange x;
    std::array<TNetRequest, 1> req{Read(IdentificationBlock.Address, IdentificationBlock.Length)};
    x.Conn.Reply(late + DeviceReplies::IdentificationReply(6103, id));
    EXPECT_TRUE(x.Run(6103, req)) << x.ErrMsg.toStdString();
    const auto block = EncodeIdentification(id);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), req[0].Data.begin()));
    EXPECT_EQ(x.Conn.MoreCounts, std::vector<int>{54 - (PacketBufSize - 39)});
}

// Frames of one device can pile up in the port: late replies to earlier tries, a
// frame of another device, a frame answering another modem's request. Of the
// device's complete frames, the newest that answers this request is stored; a
// newer one cut short leaves the older.
TEST(NetExchange, OfSeveralOwnFramesTheNewestAnsweringTheRequestIsTaken)
{
    const Bytes older = DeviceReplies::CurrentReply(1235, 0, 1.5f, 2.5f);
    const Bytes old = DeviceReplies::CurrentReply(1235, 0, 3.5f, 4.5f);
    const Bytes current = DeviceReplies::CurrentReply(1235, 0, 7.5f, 8.5f);
    const Bytes other = DeviceReplies::CurrentReply(1234, 0, 5.5f, 6.5f);
    const Bytes id = DeviceReplies::IdentificationReply(1235, DeviceReplies::Identification(1235, 1));
    const Bytes cut(current.begin(), current.end() - 3);
    for (const auto& [burst, value] :
         {std::pair{older + old + current, 7.5f}, std::pair{other + old + current, 7.5f},
          std::pair{current + id, 7.5f}, std::pair{old + current + id, 7.5f}, std::pair{older + cut, 1.5f}}) {
        Exchange x;
        auto req = PollingReads();
        x.Conn.Reply(burst);
        EXPECT_TRUE(x.Run(1235, req)) << burst.size() << " " << x.ErrMsg.toStdString();
        const Bytes want = DeviceReplies::Single(value);
        EXPECT_TRUE(std::equal(want.begin(), want.end(), req[1].Data.begin())) << burst.size();
    }
    // None answers: the newest is judged as a reply alone would be.
    Exchange x;
    auto req = PollingReads();
    x.Conn.Reply(id + id);
    EXPECT_FALSE(x.Run(1235, req));
    EXPECT_EQ(x.ErrMsg, QStringLiteral("Неверный адрес регистра в ответе! Обработка ответа прекращена."));
}
