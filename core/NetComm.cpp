#include "core/NetComm.h"

#include "core/Logging.h"
#include "core/RS232Comm.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace {

constexpr int Attempts = 3;
constexpr int FrameHeaderSize = 5; // destination, source, payload length
constexpr int FrameOverhead = 7;   // header and CRC
constexpr int ReplyHeaderSize = 6; // one modem byte ahead of the frame header
constexpr int ReplyOverhead = 10;  // modem byte, header, CRC, two modem bytes after
constexpr int MinReplySize = 8;
constexpr int ItemHeaderSize = 4; // function, register (2), length
constexpr int ErrorItemSize = 2;  // 0x80..0xFF, code
constexpr quint8 ErrorItemFlag = 0x80;

// The eight shift-and-xor rounds of one byte, done once for every byte value.
constexpr std::array<quint16, 256> CrcTable = [] {
    std::array<quint16, 256> table{};
    for (unsigned value = 0; value < 256; ++value) {
        unsigned crc = value;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
        table[value] = static_cast<quint16>(crc);
    }
    return table;
}();

TNetWarningHandler& warningHandler()
{
    static TNetWarningHandler handler;
    return handler;
}

// Device error codes 1..7 as the device reports them in an error item.
void applyDeviceError(quint8 Code, QString& ErrMsg)
{
    switch (Code) {
    case 1:
        ErrMsg = QStringLiteral("устройство занято, необходимо повторить команду позже");
        break;
    case 2:
        ErrMsg = QStringLiteral("регистр по запрашиваемому адресу отсутствует");
        break;
    case 3:
        ErrMsg = QStringLiteral("недопустимая длина операции записи/чтения");
        break;
    case 4:
        ErrMsg = QStringLiteral("данная операция неприменима к указанному регистру");
        break;
    case 5:
        ErrMsg = QStringLiteral("передаваемые параметры имеют недопустимые значения");
        break;
    case 6:
        ErrMsg.clear();
        break;
    case 7:
        ErrMsg = QStringLiteral("размер запрашиваемых данных превышает максимально допустимую длину ответа");
        break;
    default:
        // Codes the device family does not define leave the text as it was.
        break;
    }
}

quint16 word(std::span<const quint8> Bytes, std::size_t At)
{
    return static_cast<quint16>((Bytes[At] << 8) | Bytes[At + 1]);
}

// Builds the request frame into Frame and returns its length; the caller has
// checked that the payload fits.
int buildFrame(quint16 Addr, std::span<TNetRequest> Requests, int PayloadLen, std::span<quint8> Frame)
{
    Frame[0] = static_cast<quint8>(Addr >> 8);
    Frame[1] = static_cast<quint8>(Addr);
    Frame[2] = 0;
    Frame[3] = 0;
    Frame[4] = static_cast<quint8>(PayloadLen);
    std::size_t p = FrameHeaderSize;
    for (TNetRequest& r : Requests) {
        r.ReplyLen = 0;
        r.Failed = false;
        r.ErrorCode = 0;
        if (r.NetFunc != NetFunction::Read && r.NetFunc != NetFunction::Write)
            continue;
        Frame[p++] = r.NetFunc;
        Frame[p++] = static_cast<quint8>(r.RegAddr >> 8);
        Frame[p++] = static_cast<quint8>(r.RegAddr);
        Frame[p++] = r.DataLen;
        if (r.NetFunc == NetFunction::Read) {
            r.Data.fill(0);
        } else {
            const auto data = std::span<const quint8>(r.Data).first(r.DataLen);
            std::ranges::copy(data, Frame.subspan(p, data.size()).begin());
            p += data.size();
        }
    }
    quint16 crc = 0xFFFF;
    CalcCRC16(Frame.first(p), crc);
    Frame[p++] = static_cast<quint8>(crc >> 8);
    Frame[p++] = static_cast<quint8>(crc);
    return static_cast<int>(p);
}

// The size of the reply (modem byte, frame, two modem bytes) that Bytes begin with
// when its length byte fits the bytes and its CRC is right; 0 otherwise.
std::size_t completeReplySize(std::span<const quint8> Bytes)
{
    if (Bytes.size() < static_cast<std::size_t>(ReplyOverhead))
        return 0;
    const std::size_t size = Bytes[5] + std::size_t{ReplyOverhead};
    if (size > Bytes.size())
        return 0;
    quint16 crc = 0xFFFF;
    CalcCRC16(Bytes.subspan(1, size - 5), crc);
    return crc == word(Bytes, size - 4) ? size : 0;
}

quint16 replySource(std::span<const quint8> Reply)
{
    return word(Reply, 3);
}

void warnOtherDevice(quint16 Source)
{
    // A copy, so a handler that replaces itself is still safe to finish.
    if (const TNetWarningHandler warn = warningHandler())
        warn(QStringLiteral("Получен пакет от другого устройства (№") + QString::number(Source) +
             QStringLiteral("), возможно на данном радиоканале работает другой радиомодем"));
}

void logDropped(quint16 Addr, std::span<const quint8> Bytes)
{
    if (LogDebugInfo && !Bytes.empty())
        WriteLog(QStringLiteral("Dropped beside the reply from ") + QString::number(Addr) +
                 QStringLiteral(": ") + bin2char(Bytes, static_cast<int>(Bytes.size())));
}

// Reads on into Buf, which holds Len bytes, until it holds Want bytes or the wait
// of the read is over; returns the bytes it holds. With Waiting, only bytes
// already there, or following them without a gap, are taken.
std::size_t readOn(TConnection& Conn, quint16 Addr, std::span<quint8> Buf, std::size_t Len, std::size_t Want,
                   bool Waiting = false)
{
    if (Len >= Want)
        return Len;
    QString err;
    const std::span<quint8> room = Buf.subspan(Len, Want - Len);
    int count = static_cast<int>(room.size());
    const bool ok = Waiting ? Conn.ReceiveWaiting(room, err, count) : Conn.ReceiveMore(room, err, count);
    if (!ok || count <= 0)
        return Len;
    const std::size_t got = std::min(static_cast<std::size_t>(count), room.size());
    if (LogDebugInfo)
        WriteLog(QStringLiteral("Received assumedly from ") + QString::number(Addr) + QStringLiteral(": ") +
                 bin2char(room.first(got), static_cast<int>(got)));
    return Len + got;
}

bool unpackItems(std::span<const quint8> Items, std::span<TNetRequest> Requests, QString& ErrMsg,
                 std::span<TNetRequest> Extra, int& ExtraCount, std::size_t* Answered = nullptr);

// Whether every request gets its answer from the reply's items, function and
// register alike; tried on copies, so nothing is filled.
bool answersRequests(std::span<const quint8> Reply, std::span<const TNetRequest> Requests,
                     std::size_t ExtraSize)
{
    std::vector<TNetRequest> requests(Requests.begin(), Requests.end());
    std::vector<TNetRequest> extra(ExtraSize);
    int extraCount = 0;
    std::size_t answered = 0;
    QString err;
    const auto sent = std::ranges::count_if(Requests, [](const TNetRequest& r) {
        return r.NetFunc == NetFunction::Read || r.NetFunc == NetFunction::Write;
    });
    return unpackItems(Reply.subspan(ReplyHeaderSize, Reply[5]), requests, err, extra, extraCount,
                       &answered) &&
           answered == static_cast<std::size_t>(sent);
}

// A late reply can land in one read ahead of the reply wanted: another device's,
// or Addr's own reply to an earlier try, or a frame of Addr that answers someone
// else's request. While the bytes begin with a complete, valid reply, the reply of
// Addr behind it is read on within the same wait, as far as its length byte says;
// past the last complete one, only bytes already coming are taken. Of Addr's
// complete replies, the newest that answers Requests is judged, else the newest.
// Anything else is left whole to the usual checks.
std::span<const quint8> chooseReply(TConnection& Conn, quint16 Addr, std::span<const TNetRequest> Requests,
                                    std::size_t ExtraSize, std::span<const quint8> Bytes,
                                    std::vector<quint8>& Stream)
{
    std::size_t first = completeReplySize(Bytes);
    if (first == 0)
        return Bytes;
    Stream.assign(Bytes.begin(), Bytes.end());
    struct Frame
    {
        std::size_t At = 0;
        std::size_t Size = 0;
    };
    std::vector<Frame> own; // Addr's complete replies, oldest first
    std::size_t at = 0;
    std::size_t len = Stream.size();
    for (;;) {
        if (replySource(std::span<const quint8>(Stream).subspan(at)) == Addr)
            own.push_back({at, first});
        at += first;
        Stream.resize(at + PacketBufSize);
        const std::span<quint8> next = std::span<quint8>(Stream).subspan(at);
        std::size_t nextLen = len - at;
        if (nextLen == 0)
            nextLen = readOn(Conn, Addr, next, 0, ReplyHeaderSize, true);
        if (nextLen == 0)
            break;
        nextLen = readOn(Conn, Addr, next, nextLen, ReplyHeaderSize);
        len = at + nextLen;
        if (nextLen < static_cast<std::size_t>(ReplyHeaderSize) || replySource(next) != Addr)
            break;
        const std::size_t size = next[5] + std::size_t{ReplyOverhead};
        if (size > PacketBufSize)
            break;
        nextLen = readOn(Conn, Addr, next, nextLen, size);
        len = at + nextLen;
        first = completeReplySize(next.first(nextLen));
        if (first != size)
            break; // cut short or damaged: the replies held stand
    }
    Stream.resize(len);
    if (own.empty())
        return Bytes; // another device's reply, judged whole as it came
    const std::span<const quint8> all(Stream);
    // One reply, the usual case, is judged as it is; of several, the newest that answers.
    Frame taken = own.back();
    if (own.size() > 1) {
        const auto answering = std::find_if(own.rbegin(), own.rend(), [&](const Frame& F) {
            return answersRequests(all.subspan(F.At, F.Size), Requests, ExtraSize);
        });
        if (answering != own.rend())
            taken = *answering;
    }
    if (taken.At > 0 && replySource(Stream) != Addr)
        warnOtherDevice(replySource(Stream)); // still tells the operator about it
    logDropped(Addr, all.first(taken.At));
    logDropped(Addr, all.subspan(taken.At + taken.Size));
    return all.subspan(taken.At, taken.Size);
}

// Unpacks the reply items into the requests and the extra records. Items that do
// not fit the requests or the buffers end the walk with false and ErrMsg set.
bool unpackItems(std::span<const quint8> Items, std::span<TNetRequest> Requests, QString& ErrMsg,
                 std::span<TNetRequest> Extra, int& ExtraCount, std::size_t* Answered)
{
    std::size_t i = 0; // next request to answer
    std::size_t k = 0; // next extra record
    std::size_t pos = 0;
    while (pos < Items.size()) {
        const quint8 func = Items[pos];
        const std::size_t left = Items.size() - pos;

        if (func >= ErrorItemFlag) {
            if (left < ErrorItemSize || i >= Requests.size()) {
                ErrMsg = ReplyMismatchMessage;
                return false;
            }
            const quint8 code = Items[pos + 1];
            applyDeviceError(code, ErrMsg);
            TNetRequest& r = Requests[i];
            r.ErrorCode = code;
            r.ReplyLen = 0;
            r.Failed = true;
            pos += ErrorItemSize;
            ++i;
            continue;
        }

        if (left < ItemHeaderSize) {
            ErrMsg = ReplyMismatchMessage;
            return false;
        }
        const quint16 reg = word(Items, pos + 1);
        const quint8 n = Items[pos + 3];

        if (func == NetFunction::ExtraRecord) {
            if (k >= Extra.size() || n > TNetRequest::MaxData || std::size_t{ItemHeaderSize} + n > left) {
                ErrMsg = ReplyMismatchMessage;
                return false;
            }
            TNetRequest& e = Extra[k];
            e.NetFunc = NetFunction::ExtraRecord;
            e.RegAddr = reg;
            e.DataLen = n;
            e.ReplyLen = n;
            std::ranges::copy(Items.subspan(pos + ItemHeaderSize, n), e.Data.begin());
            pos += ItemHeaderSize + n;
            ++k;
            ExtraCount = static_cast<int>(k);
            continue;
        }

        if (i >= Requests.size()) {
            ErrMsg = ReplyMismatchMessage;
            return false;
        }
        TNetRequest& r = Requests[i];
        if (func != r.NetFunc) {
            ErrMsg = QStringLiteral("Неверный номер сетевой функции в ответе! ");
            if (reg != r.RegAddr)
                ErrMsg += QStringLiteral("Неверный адрес регистра в ответе! ");
            ErrMsg += QStringLiteral("Обработка ответа прекращена.");
            return false;
        }
        if (reg != r.RegAddr) {
            ErrMsg = QStringLiteral("Неверный адрес регистра в ответе! Обработка ответа прекращена.");
            return false;
        }
        if (func == NetFunction::Read) {
            if (n > TNetRequest::MaxData || std::size_t{ItemHeaderSize} + n > left) {
                ErrMsg = ReplyMismatchMessage;
                return false;
            }
            r.ReplyLen = n;
            std::ranges::copy(Items.subspan(pos + ItemHeaderSize, n), r.Data.begin());
            pos += ItemHeaderSize + n;
        } else if (func == NetFunction::Write) {
            r.ReplyLen = n;
            pos += ItemHeaderSize;
        } else {
            // A request of no known function was not sent, so nothing can answer it.
            ErrMsg = ReplyMismatchMessage;
            return false;
        }
        ++i;
    }
    if (Answered)
        *Answered = i;
    return true;
}

} // namespace

quint16 CalcCRC16(std::span<const quint8> Data, quint16& Crc)
{
    for (const quint8 byte : Data)
        Crc = static_cast<quint16>((Crc >> 8) ^ CrcTable[(Crc ^ byte) & 0xFF]);
    return Crc;
}

quint16 CalcCRC16(const quint8* Data, quint32 Count, quint16& Crc)
{
    return CalcCRC16(std::span<const quint8>(Data, Count), Crc);
}

void SetNetWarningHandler(TNetWarningHandler Handler)
{
    warningHandler() = std::move(Handler);
}

bool NetExchange(TConnection& Conn, quint16 Addr, std::span<TNetRequest> Requests, QString& ErrMsg,
                 std::span<TNetRequest> Extra, int& ExtraCount, quint8& RfLevel, bool& NoReply)
{
    NoReply = false;
    ErrMsg.clear();
    ExtraCount = 0;

    if (!Conn.Connected) {
        ErrMsg = NetNotInitializedMessage;
        return false;
    }

    qint64 sendSum = 0;
    qint64 replySum = 0;
    for (const TNetRequest& r : Requests) {
        if (r.NetFunc == NetFunction::Read) {
            sendSum += ItemHeaderSize;
            replySum += r.DataLen + ItemHeaderSize;
        } else if (r.NetFunc == NetFunction::Write) {
            sendSum += r.DataLen + ItemHeaderSize;
            replySum += ItemHeaderSize;
        }
    }
    if (sendSum + FrameOverhead > MaxFrameSize) {
        ErrMsg = SendTooLongMessage;
        return false;
    }
    if (replySum + FrameOverhead > MaxFrameSize) {
        ErrMsg = ReplyTooLongMessage;
        return false;
    }

    std::array<quint8, MaxFrameSize> frame{};
    const int frameLen = buildFrame(Addr, Requests, static_cast<int>(sendSum), frame);

    // The reply has a buffer of its own, so a retry always resends the frame as built.
    std::array<quint8, PacketBufSize> packet{};
    int len = 0;
    bool received = false;
    for (int attempt = 0; attempt < Attempts && !received; ++attempt) {
        if (LogDebugInfo)
            WriteLog(QStringLiteral("Sent to ") + QString::number(Addr) + QStringLiteral(": ") +
                     bin2char(frame, frameLen));
        if (!Conn.Send(frame, frameLen, false, ErrMsg) && ErrMsg.startsWith(QStringLiteral("Ошибка"))) {
            // A port failure: the link is gone until it is opened again.
            NoReply = true;
            Conn.Connected = false;
            return false;
        }
        int count = PacketBufSize;
        if (Conn.Receive(packet, false, ErrMsg, count, false, false)) {
            received = true;
            len = count;
        }
    }
    if (!received) {
        if (ErrMsg == ReceiveTimeoutMessage)
            NoReply = true;
        return false;
    }
    ErrMsg.clear();

    // Too short to hold a frame (or a count no buffer could hold): nothing to check, nothing answered.
    if (len < MinReplySize || len > PacketBufSize)
        return true;

    const std::span<const quint8> bytes = std::span<const quint8>(packet).first(len);
    if (LogDebugInfo)
        WriteLog(QStringLiteral("Received assumedly from ") + QString::number(Addr) + QStringLiteral(": ") +
                 bin2char(bytes, len));

    std::vector<quint8> stream;
    const std::span<const quint8> reply = chooseReply(Conn, Addr, Requests, Extra.size(), bytes, stream);
    len = static_cast<int>(reply.size());
    RfLevel = reply[len - 2];

    const int payloadLen = reply[5];
    if (payloadLen + ReplyOverhead != len) {
        ErrMsg = WrongLengthMessage;
        return false;
    }
    quint16 crc = 0xFFFF;
    CalcCRC16(reply.subspan(1, len - 5), crc);
    if (crc != word(reply, len - 4)) {
        ErrMsg = WrongCrcMessage;
        return false;
    }
    const quint16 source = replySource(reply);
    if (source != Addr) {
        ErrMsg = QStringLiteral("Получен пакет от другого устройства (№") + QString::number(source) +
                 QStringLiteral(")!");
        warnOtherDevice(source);
        return false;
    }

    return unpackItems(reply.subspan(ReplyHeaderSize, payloadLen), Requests, ErrMsg, Extra, ExtraCount);
}
