#include "core/NetComm.h"
#include "support/FakeConnection.h"
#include "support/QStringPrinter.h"

#include <array>
#include <gtest/gtest.h>
#include <random>

// Thousands of well-framed replies (right length byte, right CRC), some built to
// answer the requests, most of them mangled, go through the exchange. Whatever
// they hold, nothing outside the requests and the extra buffer may change and
// every request must end answered, failed or unanswered.

namespace {

using Bytes = std::vector<quint8>;

constexpr int Iterations = 200000;
constexpr quint16 Addr = 0x3039;
constexpr int MaxPayload = PacketBufSize - 10;
constexpr int MaxRequests = 8;
constexpr int GuardCount = 2;

// Indexed by device error code; code 6 empties the text.
const QStringList DeviceTexts{
    QString(),
    QStringLiteral("устройство занято, необходимо повторить команду позже"),
    QStringLiteral("регистр по запрашиваемому адресу отсутствует"),
    QStringLiteral("недопустимая длина операции записи/чтения"),
    QStringLiteral("данная операция неприменима к указанному регистру"),
    QStringLiteral("передаваемые параметры имеют недопустимые значения"),
    QString(),
    QStringLiteral("размер запрашиваемых данных превышает максимально допустимую длину ответа"),
};

const QStringList FailureTexts{
    WrongLengthMessage,
    WrongCrcMessage,
    ReplyMismatchMessage,
    QStringLiteral("Неверный номер сетевой функции в ответе! Обработка ответа прекращена."),
    QStringLiteral("Неверный номер сетевой функции в ответе! Неверный адрес регистра в ответе! Обработка "
                   "ответа прекращена."),
    QStringLiteral("Неверный адрес регистра в ответе! Обработка ответа прекращена."),
};

// A read that replies could well answer: it stands behind the request list, so an
// exchange that runs past the list would fill it.
TNetRequest Bait()
{
    TNetRequest b;
    b.NetFunc = NetFunction::Read;
    b.RegAddr = 0x0200;
    b.DataLen = 4;
    b.Data.fill(0xB1);
    b.ReplyLen = 0xB1;
    b.ErrorCode = 0xB1;
    return b;
}

TNetRequest Guard()
{
    TNetRequest g;
    g.NetFunc = 0xA7;
    g.RegAddr = 0xA7A7;
    g.DataLen = 0xA7;
    g.Data.fill(0xA7);
    g.ReplyLen = 0xA7;
    g.Failed = true;
    g.ErrorCode = 0xA7;
    return g;
}

bool Same(const TNetRequest& A, const TNetRequest& B)
{
    return A.NetFunc == B.NetFunc && A.RegAddr == B.RegAddr && A.DataLen == B.DataLen && A.Data == B.Data &&
           A.ReplyLen == B.ReplyLen && A.Failed == B.Failed && A.ErrorCode == B.ErrorCode;
}

// What a request should look like after an exchange that accepted a reply built to
// answer it.
struct Expected
{
    bool Failed = false;
    quint8 ReplyLen = 0;
    quint8 ErrorCode = 0;
    Bytes Data;
};

class Generator
{
public:
    explicit Generator(std::uint32_t Seed) : Rng(Seed) {}

    int Int(int Low, int High) { return std::uniform_int_distribution<int>(Low, High)(Rng); }
    quint8 Byte() { return static_cast<quint8>(Int(0, 255)); }
    bool Chance(int Percent) { return Int(0, 99) < Percent; }

    // Requests that fit a frame, or now and then do not.
    int Requests(std::span<TNetRequest> Out)
    {
        const int count = Int(0, MaxRequests);
        int sendSum = 0;
        int replySum = 0;
        for (int i = 0; i < count; ++i) {
            TNetRequest& r = Out[i];
            r = TNetRequest{};
            r.NetFunc = Chance(70) ? NetFunction::Read : (Chance(90) ? NetFunction::Write : Byte());
            r.RegAddr = static_cast<quint16>(0x0200 + (Chance(50) ? 0 : Int(0, 40)));
            r.DataLen = static_cast<quint8>(Chance(3) ? Int(0, 64) : Int(0, 8));
            for (int j = 0; j < TNetRequest::MaxData; ++j)
                r.Data[j] = Byte();
            if (r.NetFunc == NetFunction::Read) {
                sendSum += 4;
                replySum += 4 + r.DataLen;
            } else if (r.NetFunc == NetFunction::Write) {
                sendSum += 4 + r.DataLen;
                replySum += 4;
            }
        }
        Fits = sendSum <= 44 && replySum <= 44;
        return count;
    }

    // Items that answer the requests in order, with extra records in between,
    // as long as they fit a payload.
    Bytes Answer(std::span<const TNetRequest> Requests, std::vector<Expected>& Want, int& Extras,
                 QString& Text)
    {
        Bytes items;
        Want.assign(Requests.size(), Expected{});
        Extras = 0;
        Text.clear();
        auto fits = [&](std::size_t More) { return items.size() + More <= MaxPayload; };
        for (std::size_t i = 0; i < Requests.size(); ++i) {
            const TNetRequest& r = Requests[i];
            if (Chance(20) && Extras < ExtraRecordsSize) {
                const int n = Int(0, 6);
                if (fits(4 + n)) {
                    items.insert(items.end(), {3, Byte(), Byte(), static_cast<quint8>(n)});
                    for (int j = 0; j < n; ++j)
                        items.push_back(Byte());
                    ++Extras;
                }
            }
            if (r.NetFunc != NetFunction::Read && r.NetFunc != NetFunction::Write)
                break; // nothing can answer it
            if (Chance(15)) {
                if (!fits(2))
                    break;
                const quint8 code = static_cast<quint8>(Chance(70) ? Int(1, 7) : Byte());
                items.insert(items.end(), {static_cast<quint8>(Int(0x80, 0xFF)), code});
                Want[i].Failed = true;
                Want[i].ErrorCode = code;
                if (code >= 1 && code <= 7)
                    Text = DeviceTexts[code];
                continue;
            }
            const quint8 n = r.NetFunc == NetFunction::Read ? r.DataLen : static_cast<quint8>(Int(0, 9));
            const std::size_t size = 4 + (r.NetFunc == NetFunction::Read ? n : 0);
            if (!fits(size))
                break;
            items.insert(items.end(),
                         {r.NetFunc, static_cast<quint8>(r.RegAddr >> 8), static_cast<quint8>(r.RegAddr), n});
            Want[i].ReplyLen = n;
            if (r.NetFunc == NetFunction::Read) {
                for (int j = 0; j < n; ++j) {
                    items.push_back(Byte());
                    Want[i].Data.push_back(items.back());
                }
            }
        }
        return items;
    }

    void Mutate(Bytes& Items)
    {
        const int edits = Int(1, 4);
        for (int e = 0; e < edits; ++e) {
            switch (Int(0, 5)) {
            case 0: // change a byte
                if (!Items.empty())
                    Items[Int(0, static_cast<int>(Items.size()) - 1)] = Byte();
                break;
            case 1: // change a length or function byte to something tempting
                if (!Items.empty())
                    Items[Int(0, static_cast<int>(Items.size()) - 1)] =
                        std::array<quint8, 8>{0, 1, 2, 3, 0x40, 0x41, 0x80, 0xFF}[Int(0, 7)];
                break;
            case 2: // cut the tail
                if (!Items.empty())
                    Items.resize(Int(0, static_cast<int>(Items.size()) - 1));
                break;
            case 3: // insert a byte
                Items.insert(Items.begin() + Int(0, static_cast<int>(Items.size())), Byte());
                break;
            case 4: // drop a byte
                if (!Items.empty())
                    Items.erase(Items.begin() + Int(0, static_cast<int>(Items.size()) - 1));
                break;
            case 5: // append an extra record or an error item
                if (Chance(50))
                    Items.insert(Items.end(), {3, 0, 0, 0});
                else
                    Items.insert(Items.end(), {0x80, Byte()});
                break;
            }
        }
        if (Items.size() > MaxPayload)
            Items.resize(MaxPayload);
    }

    // Many short extra records, sometimes more than the buffer holds.
    Bytes ExtraFlood()
    {
        Bytes items;
        const int count = Int(ExtraRecordsSize - 2, ExtraRecordsSize + 3);
        for (int k = 0; k < count; ++k) {
            const int n = Chance(80) ? 0 : 1;
            if (items.size() + 4 + n > MaxPayload)
                break;
            items.insert(items.end(), {3, Byte(), Byte(), static_cast<quint8>(n)});
            if (n)
                items.push_back(Byte());
        }
        return items;
    }

    Bytes Random(int MaxSize)
    {
        Bytes b(Int(0, MaxSize));
        for (quint8& x : b)
            x = Byte();
        return b;
    }

    bool Fits = true;

private:
    std::mt19937 Rng;
};

} // namespace

TEST(NetExchangeFuzz, WellFramedRepliesNeverWriteOutsideTheirPlace)
{
    Generator gen(0x4B37u);
    const TNetRequest guard = Guard();
    const TNetRequest bait = Bait();
    TNetRequest stale = guard;
    stale.NetFunc = 0x5C;
    stale.Data.fill(0x5C);

    std::array<TNetRequest, MaxRequests + 2 * GuardCount> requestBuf;
    std::array<TNetRequest, ExtraRecordsSize + 2 * GuardCount> extraBuf;
    const auto extra = std::span(extraBuf).subspan(GuardCount, ExtraRecordsSize);

    std::vector<Expected> want;
    int accepted = 0, rejected = 0, refused = 0, answered = 0, failed = 0, unanswered = 0, extras = 0,
        fullExtra = 0;

    for (int it = 0; it < Iterations; ++it) {
        requestBuf.fill(guard);
        std::fill(requestBuf.begin() + GuardCount, requestBuf.end() - GuardCount, bait);
        extraBuf.fill(guard);
        for (TNetRequest& e : extra)
            e = stale;
        const int count = gen.Requests(std::span(requestBuf).subspan(GuardCount, MaxRequests));
        const auto requests = std::span(requestBuf).subspan(GuardCount, count);
        const std::vector<TNetRequest> before(requests.begin(), requests.end());

        // Pick the reply: an honest answer, a mangled one, noise in a valid frame,
        // or raw noise that fails the frame checks.
        const int kind = gen.Int(0, 99);
        int wantExtras = 0;
        QString wantText;
        Bytes reply;
        bool honest = false;
        if (kind < 20) {
            reply = MakeNetReply(Addr, gen.Answer(requests, want, wantExtras, wantText), gen.Byte());
            honest = true;
        } else if (kind < 75) {
            Bytes items = gen.Answer(requests, want, wantExtras, wantText);
            gen.Mutate(items);
            reply = MakeNetReply(gen.Chance(97) ? Addr : gen.Byte(), items, gen.Byte());
        } else if (kind < 90) {
            reply = MakeNetReply(Addr, gen.Random(MaxPayload), gen.Byte());
        } else if (kind < 95) {
            Bytes items = gen.ExtraFlood();
            if (gen.Chance(50))
                gen.Mutate(items);
            reply = MakeNetReply(Addr, items, gen.Byte());
        } else {
            reply = gen.Random(PacketBufSize);
        }

        FakeConnection conn;
        conn.Reply(reply);
        QString err = QStringLiteral("прежний текст");
        int extraCount = -1;
        quint8 rf = 0;
        bool noReply = true;
        const bool ok = NetExchange(conn, Addr, requests, err, extra, extraCount, rf, noReply);

        const auto where = [&] { return ::testing::Message() << "iteration " << it; };
        if (!gen.Fits) {
            ++refused;
            ASSERT_FALSE(ok) << where();
            ASSERT_TRUE(conn.Sent.empty()) << where();
            ASSERT_TRUE(err == SendTooLongMessage || err == ReplyTooLongMessage) << where();
            continue;
        }
        ASSERT_EQ(conn.Sent.size(), 1u) << where();
        ASSERT_FALSE(noReply) << where();

        for (int g = 0; g < GuardCount; ++g) {
            ASSERT_TRUE(Same(requestBuf[g], guard)) << where();
            ASSERT_TRUE(Same(extraBuf[g], guard)) << where();
            ASSERT_TRUE(Same(extraBuf[extraBuf.size() - 1 - g], guard)) << where();
        }
        for (std::size_t g = GuardCount + count; g < requestBuf.size(); ++g)
            ASSERT_TRUE(Same(requestBuf[g], g < requestBuf.size() - GuardCount ? bait : guard))
                << where() << " request slot " << g;

        // Whatever was copied into a request or an extra record came from the payload.
        const std::span<const quint8> payload =
            reply.size() >= 10 ? std::span<const quint8>(reply).subspan(6, reply.size() - 10)
                               : std::span<const quint8>();
        const auto fromPayload = [&](const TNetRequest& r) {
            const auto data = std::span<const quint8>(r.Data).first(r.ReplyLen);
            return std::ranges::search(payload, data).size() == data.size();
        };

        ASSERT_GE(extraCount, 0) << where();
        ASSERT_LE(extraCount, ExtraRecordsSize) << where();
        for (int k = 0; k < ExtraRecordsSize; ++k) {
            const TNetRequest& e = extra[k];
            if (k >= extraCount) {
                ASSERT_TRUE(Same(e, stale)) << where() << " extra " << k;
                continue;
            }
            ASSERT_EQ(e.NetFunc, NetFunction::ExtraRecord) << where();
            ASSERT_EQ(e.DataLen, e.ReplyLen) << where();
            ASSERT_LE(e.DataLen, TNetRequest::MaxData) << where();
            ASSERT_EQ(e.ErrorCode, stale.ErrorCode) << where();
            ASSERT_EQ(e.Failed, stale.Failed) << where();
            ASSERT_TRUE(fromPayload(e)) << where() << " extra " << k;
            for (int j = e.DataLen; j < TNetRequest::MaxData; ++j)
                ASSERT_EQ(e.Data[j], 0x5C) << where();
        }

        for (std::size_t i = 0; i < requests.size(); ++i) {
            const TNetRequest& r = requests[i];
            ASSERT_EQ(r.NetFunc, before[i].NetFunc) << where();
            ASSERT_EQ(r.RegAddr, before[i].RegAddr) << where();
            ASSERT_EQ(r.DataLen, before[i].DataLen) << where();
            if (r.NetFunc == NetFunction::Read) {
                ASSERT_TRUE(fromPayload(r)) << where() << " request " << i;
                for (int j = r.Failed ? 0 : r.ReplyLen; j < TNetRequest::MaxData; ++j)
                    ASSERT_EQ(r.Data[j], 0) << where() << " request " << i;
            } else {
                ASSERT_EQ(r.Data, before[i].Data) << where();
            }
            if (r.Failed) {
                ++failed;
                ASSERT_EQ(r.ReplyLen, 0) << where();
            } else if (r.ReplyLen > 0) {
                ++answered;
            } else {
                ASSERT_EQ(r.ErrorCode, 0) << where();
                ++unanswered;
            }
        }

        if (ok) {
            ++accepted;
            ASSERT_TRUE(DeviceTexts.contains(err)) << where() << " " << err.toStdString();
        } else {
            ++rejected;
            ASSERT_TRUE(FailureTexts.contains(err) ||
                        err.startsWith(QStringLiteral("Получен пакет от другого")))
                << where() << " " << err.toStdString();
        }
        extras += extraCount;
        fullExtra += extraCount == ExtraRecordsSize;

        if (honest) {
            ASSERT_TRUE(ok) << where() << " " << err.toStdString();
            ASSERT_EQ(err, wantText) << where();
            ASSERT_EQ(extraCount, wantExtras) << where();
            ASSERT_EQ(rf, reply[reply.size() - 2]) << where();
            for (std::size_t i = 0; i < requests.size(); ++i) {
                ASSERT_EQ(requests[i].Failed, want[i].Failed) << where() << " request " << i;
                ASSERT_EQ(requests[i].ErrorCode, want[i].ErrorCode) << where() << " request " << i;
                ASSERT_EQ(requests[i].ReplyLen, want[i].ReplyLen) << where() << " request " << i;
                ASSERT_TRUE(std::equal(want[i].Data.begin(), want[i].Data.end(), requests[i].Data.begin()))
                    << where() << " request " << i;
            }
        }
    }

    // The mix really reached every outcome, so the checks above were exercised.
    EXPECT_GT(refused, Iterations / 100);
    EXPECT_GT(accepted, Iterations / 10);
    EXPECT_GT(rejected, Iterations / 10);
    EXPECT_GT(answered, Iterations / 10);
    EXPECT_GT(failed, Iterations / 100);
    EXPECT_GT(unanswered, Iterations / 10);
    EXPECT_GT(extras, Iterations / 100);
    EXPECT_GT(fullExtra, Iterations / 1000);
}
