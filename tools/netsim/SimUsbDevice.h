#pragma once

#include "tools/netsim/SimDevice.h"
#include "tools/netsim/SimPeer.h"

#include <QSet>
#include <functional>
#include <mutex>
#include <vector>

// A device on its own USB serial port, without the radio modem: network frames
// (destination, source, payload length, items, CRC-16) come and go raw. Served
// by NetSimServer on a pty of its own.
class SimUsbDevice : public SimPeer
{
public:
    static constexpr int GapMs = 30;
    static constexpr int DefaultTurnaroundMs = 2;

    SimUsbDevice(quint16 Serial, int Type);

    // Runs Fn on the device under the lock (the server's thread feeds it meanwhile).
    void WithDevice(const std::function<void(SimDevice&)>& Fn);
    // The frames with these indices (0-based, counting every good frame addressed
    // to the device) get no reply.
    void DropFrames(const QSet<int>& Indices);
    // Replies with a damaged checksum or a wrong length byte.
    void SetBadCrc(bool On);
    void SetWrongLength(bool On);
    // A reply sooner than the PC's purge of its input behind the frame is lost:
    // on a pty there is no wire time to hold it back.
    void SetTurnaroundMs(int Ms);
    int FramesReceived() const;
    // The frames as received, in order.
    std::vector<QByteArray> Frames() const;

    void SetClockOriginMs(qint64 Ms) override;
    void Feed(const QByteArray& Bytes, qint64 NowMs) override;
    QList<SimOutput> TakeDue(qint64 NowMs) override;
    std::optional<qint64> NextDueMs() const override;

private:
    void parse(qint64 NowMs);

    mutable std::mutex Mutex_;
    SimDevice Device_;
    qint64 ClockOriginMs_ = 0;
    QByteArray Input_;
    qint64 LastByteMs_ = 0;
    std::vector<SimOutput> Pending_;
    std::vector<QByteArray> Frames_;
    QSet<int> Drop_;
    bool BadCrc_ = false;
    bool WrongLength_ = false;
    int TurnaroundMs_ = DefaultTurnaroundMs;
};
