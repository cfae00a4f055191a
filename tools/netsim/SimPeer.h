#pragma once

#include <QByteArray>
#include <QList>
#include <optional>

// One block the simulated side hands to the PC at DueMs, or its disappearance.
struct SimOutput
{
    qint64 DueMs = 0;
    QByteArray Bytes;
    bool ClosePort = false;
    int DeviceId = -1; // whose deferred changes apply once the reply is out
};

// What the pty server serves: fed with the bytes the PC writes, asked for what
// to answer when. Implementations are thread-safe.
class SimPeer
{
public:
    virtual ~SimPeer() = default;

    virtual void SetClockOriginMs(qint64 Ms) = 0;
    virtual void Feed(const QByteArray& Bytes, qint64 NowMs) = 0;
    virtual QList<SimOutput> TakeDue(qint64 NowMs) = 0;
    virtual std::optional<qint64> NextDueMs() const = 0;
};
