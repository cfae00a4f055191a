#pragma once

#include "core/RS232Comm.h"

#include <algorithm>
#include <deque>
#include <initializer_list>
#include <optional>
#include <vector>

// A link to the radio modem that records every frame sent and plays a script of
// outcomes, one per attempt (a Send and the Receive that follows it). An attempt
// with no scripted outcome left is silent.
class FakeConnection : public TConnection
{
public:
    using Bytes = std::vector<quint8>;

    struct Outcome
    {
        enum class Kind
        {
            Reply,          // Receive hands back Data
            Silence,        // Receive times out
            SendFailure,    // Send fails with Message
            ReceiveFailure, // Receive fails with Message (not a time-out)
        };
        Kind What = Kind::Silence;
        Bytes Data;
        QString Message;
        // A misbehaving link may report more bytes than it could have read.
        std::optional<int> ReportedCount;
    };

    FakeConnection() { Connected = true; }

    FakeConnection& Reply(Bytes Data)
    {
        Script.push_back({Outcome::Kind::Reply, std::move(Data), {}, {}});
        return *this;
    }
    FakeConnection& Silence()
    {
        Script.push_back({Outcome::Kind::Silence, {}, {}, {}});
        return *this;
    }
    FakeConnection& FailSend(const QString& Message)
    {
        Script.push_back({Outcome::Kind::SendFailure, {}, Message, {}});
        return *this;
    }
    FakeConnection& FailReceive(const QString& Message)
    {
        Script.push_back({Outcome::Kind::ReceiveFailure, {}, Message, {}});
        return *this;
    }

    bool Send(std::span<const quint8> Buf, int Count, bool, QString& ErrMsg) override
    {
        const auto n = static_cast<std::size_t>(std::clamp<qsizetype>(Count, 0, Buf.size()));
        Sent.emplace_back(Buf.begin(), Buf.begin() + n);
        Current = {};
        Handed = 0;
        if (!Script.empty()) {
            Current = std::move(Script.front());
            Script.pop_front();
        }
        if (Current.What == Outcome::Kind::SendFailure) {
            ErrMsg = Current.Message;
            return false;
        }
        return true;
    }

    bool Receive(std::span<quint8> Buf, bool, QString& ErrMsg, int& Count, bool, bool) override
    {
        ++Receives;
        ErrMsg.clear();
        WantedCounts.push_back(Count);
        switch (Current.What) {
        case Outcome::Kind::Reply: {
            const std::size_t n =
                std::min({Current.Data.size(), Buf.size(), static_cast<std::size_t>(Count)});
            std::copy_n(Current.Data.begin(), n, Buf.begin());
            Handed = n;
            Count = Current.ReportedCount.value_or(static_cast<int>(n));
            return true;
        }
        case Outcome::Kind::ReceiveFailure:
            Count = 0;
            ErrMsg = Current.Message;
            return false;
        case Outcome::Kind::Silence:
        case Outcome::Kind::SendFailure:
            break;
        }
        Count = 0;
        ErrMsg = ReceiveTimeoutMessage;
        return false;
    }

    // Hands on what the reply holds past the bytes handed out so far: a reply
    // longer than a read is a burst that goes on within the same wait.
    bool ReceiveMore(std::span<quint8> Buf, QString& ErrMsg, int& Count) override
    {
        MoreCounts.push_back(Count);
        return handOn(Buf, ErrMsg, Count);
    }
    // The whole burst counts as arrived, so the bytes already there are the rest of it.
    bool ReceiveWaiting(std::span<quint8> Buf, QString& ErrMsg, int& Count) override
    {
        return handOn(Buf, ErrMsg, Count);
    }

    std::deque<Outcome> Script;
    std::vector<Bytes> Sent;
    std::vector<int> WantedCounts;
    std::vector<int> MoreCounts;
    int Receives = 0;

private:
    bool handOn(std::span<quint8> Buf, QString& ErrMsg, int& Count)
    {
        const std::size_t left = Current.What == Outcome::Kind::Reply ? Current.Data.size() - Handed : 0;
        const std::size_t n = std::min({left, Buf.size(), static_cast<std::size_t>(std::max(Count, 0))});
        std::copy_n(Current.Data.begin() + static_cast<std::ptrdiff_t>(Handed), n, Buf.begin());
        Handed += n;
        Count = static_cast<int>(n);
        ErrMsg = n > 0 ? QString() : ReceiveTimeoutMessage;
        return n > 0;
    }

    Outcome Current;
    std::size_t Handed = 0;
};

// A device's reply as the modem hands it over: one byte ahead of the frame, the
// frame (destination 0, Source, payload length, Items, CRC high byte first), then
// the PC-side signal level and one more byte.
inline std::vector<quint8> MakeNetReply(quint16 Source, const std::vector<quint8>& Items,
                                        quint8 RfLevel = 0x30, quint16 Destination = 0)
{
    std::vector<quint8> reply;
    reply.reserve(Items.size() + 10);
    for (const quint8 b :
         {quint8{0xA5}, static_cast<quint8>(Destination >> 8), static_cast<quint8>(Destination),
          static_cast<quint8>(Source >> 8), static_cast<quint8>(Source), static_cast<quint8>(Items.size())})
        reply.push_back(b);
    reply.insert(reply.end(), Items.begin(), Items.end());
    quint16 crc = 0xFFFF;
    for (std::size_t i = 1; i < reply.size(); ++i) {
        quint8 byte = reply[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = ((crc ^ byte) & 1) ? static_cast<quint16>((crc >> 1) ^ 0xA001)
                                     : static_cast<quint16>(crc >> 1);
            byte >>= 1;
        }
    }
    reply.push_back(static_cast<quint8>(crc >> 8));
    reply.push_back(static_cast<quint8>(crc));
    reply.push_back(RfLevel);
    reply.push_back(0x5A);
    return reply;
}
