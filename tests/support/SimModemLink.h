#pragma once

#include "core/RS232Comm.h"
#include "platform/VirtualClock.h"
#include "tools/netsim/SimModem.h"

#include <algorithm>

// The simulated modem reached in-process on a virtual clock: a frame sent now is
// fed at the clock's time; a read takes what falls due within its time-out and
// moves the clock by the time it waited. So long procedures against the
// simulated devices run in virtual time.
class SimModemLink : public TConnection
{
public:
    static constexpr int ReadTimeoutMs = 100;

    SimModemLink(SimModem& Modem, VirtualClock& Clock) : modem(Modem), clock(Clock) { Connected = true; }

    bool Send(std::span<const quint8> Buf, int Count, bool, QString& ErrMsg) override
    {
        ErrMsg.clear();
        ++sends;
        // The previous reply's leftovers are gone, as the real link purges its input.
        modem.TakeDue(clock.NowMs());
        modem.Feed(QByteArray(reinterpret_cast<const char*>(Buf.data()), Count), clock.NowMs());
        return true;
    }

    bool Receive(std::span<quint8> Buf, bool, QString& ErrMsg, int& Count, bool, bool) override
    {
        const auto due = modem.NextDueMs();
        if (!due || *due > clock.NowMs() + ReadTimeoutMs) {
            clock.Advance(ReadTimeoutMs);
            Count = 0;
            ErrMsg = ReceiveTimeoutMessage;
            return false;
        }
        clock.Advance(std::max<qint64>(0, *due - clock.NowMs()));
        QByteArray got;
        for (const SimOutput& o : modem.TakeDue(clock.NowMs()))
            got += o.Bytes;
        const int n = std::min<int>({int(got.size()), Count, int(Buf.size())});
        std::copy_n(got.constData(), n, reinterpret_cast<char*>(Buf.data()));
        Count = n;
        ErrMsg.clear();
        return true;
    }

    SimModem& modem;
    VirtualClock& clock;
    int sends = 0;
};
