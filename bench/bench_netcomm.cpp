// Cost of one polling exchange (frame build, CRCs, reply checks and unpacking of
// four reads) against a link that answers at once, next to a plain copy of the
// same bytes measured in the same run.

#include "core/Logging.h"
#include "core/NetComm.h"
#include "core/RS232Comm.h"

#include <QtGlobal>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Answers every frame with the same reply, without waiting.
class CannedConnection : public TConnection
{
public:
    explicit CannedConnection(std::vector<quint8> Reply) : Reply_(std::move(Reply)) { Connected = true; }

    bool Send(std::span<const quint8> Buf, int Count, bool, QString&) override
    {
        std::copy_n(Buf.begin(), Count, LastFrame.begin());
        return true;
    }
    bool Receive(std::span<quint8> Buf, bool, QString& ErrMsg, int& Count, bool, bool) override
    {
        ErrMsg.clear();
        Count = static_cast<int>(std::min(Reply_.size(), Buf.size()));
        std::copy_n(Reply_.begin(), Count, Buf.begin());
        return true;
    }

    std::array<quint8, MaxFrameSize> LastFrame{};

private:
    std::vector<quint8> Reply_;
};

std::vector<quint8> PollingReply(quint16 Addr)
{
    const std::vector<quint8> items{0x01, 0x02, 0x00, 0x05, 0,    0,    0x10, 0x01, 0xF0, //
                                    0x01, 0x02, 0x05, 0x04, 0x41, 0xC8, 0,    0,          //
                                    0x01, 0x02, 0x09, 0x04, 0xC1, 0x20, 0,    0,          //
                                    0x01, 0x02, 0x0D, 0x04, 0x41, 0xB4, 0,    0};
    std::vector<quint8> reply{0x00,
                              0x00,
                              0x00,
                              static_cast<quint8>(Addr >> 8),
                              static_cast<quint8>(Addr),
                              static_cast<quint8>(items.size())};
    reply.insert(reply.end(), items.begin(), items.end());
    quint16 crc = 0xFFFF;
    CalcCRC16(std::span<const quint8>(reply).subspan(1), crc);
    reply.push_back(static_cast<quint8>(crc >> 8));
    reply.push_back(static_cast<quint8>(crc));
    reply.push_back(0x30);
    reply.push_back(0x00);
    return reply;
}

std::array<TNetRequest, 4> PollingReads()
{
    std::array<TNetRequest, 4> req{};
    const std::array<std::pair<quint16, quint8>, 4> regs{
        {{0x0200, 5}, {0x0205, 4}, {0x0209, 4}, {0x020D, 4}}};
    for (std::size_t i = 0; i < req.size(); ++i) {
        req[i].NetFunc = NetFunction::Read;
        req[i].RegAddr = regs[i].first;
        req[i].DataLen = regs[i].second;
    }
    return req;
}

template <typename F> double NanosPerCall(int Calls, F&& Body)
{
    const auto start = Clock::now();
    for (int i = 0; i < Calls; ++i)
        Body();
    const auto elapsed = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    return elapsed / Calls;
}

} // namespace

int main()
{
    constexpr quint16 Addr = 1234;
    constexpr int Calls = 1'000'000;
    LogDebugInfo = false;

    CannedConnection conn(PollingReply(Addr));
    auto requests = PollingReads();
    std::array<TNetRequest, ExtraRecordsSize> extra{};
    int extraCount = 0;
    quint8 rf = 0;
    bool noReply = false;
    QString err;

    // Check once that the canned reply is accepted, so the timing covers a full parse.
    if (!NetExchange(conn, Addr, requests, err, extra, extraCount, rf, noReply) ||
        requests[3].ReplyLen != 4) {
        std::fprintf(stderr, "canned reply not accepted: %s\n", qPrintable(err));
        return 1;
    }

    int failures = 0;
    const auto exchange = [&] {
        failures += !NetExchange(conn, Addr, requests, err, extra, extraCount, rf, noReply);
    };

    // The same bytes moved without any work: the frame out, the reply in.
    const std::vector<quint8> reply = PollingReply(Addr);
    std::array<quint8, MaxFrameSize> frameCopy{};
    std::array<quint8, PacketBufSize> replyCopy{};
    const auto copy = [&] {
        std::memcpy(frameCopy.data(), conn.LastFrame.data(), 23);
        std::memcpy(replyCopy.data(), reply.data(), reply.size());
        asm volatile("" : : "r"(frameCopy.data()), "r"(replyCopy.data()) : "memory");
    };

    // Warm up, then alternate a few rounds and keep the best of each.
    NanosPerCall(Calls / 10, exchange);
    NanosPerCall(Calls / 10, copy);
    double bestExchange = 1e30;
    double bestCopy = 1e30;
    for (int round = 0; round < 5; ++round) {
        bestExchange = std::min(bestExchange, NanosPerCall(Calls, exchange));
        bestCopy = std::min(bestCopy, NanosPerCall(Calls, copy));
    }
    if (failures) {
        std::fprintf(stderr, "%d exchanges failed\n", failures);
        return 1;
    }

    std::printf("NetExchange, polling reads (23-byte frame, 43-byte reply): %8.1f ns per call\n",
                bestExchange);
    std::printf("memcpy of the same 66 bytes (baseline):                    %8.1f ns per call\n", bestCopy);
    std::printf("ratio exchange / copy: %.1f (target: exchange well under 10000 ns)\n",
                bestExchange / bestCopy);
    return 0;
}
