#pragma once

#include "tools/netsim/SimDevice.h"
#include "tools/netsim/SimFault.h"
#include "tools/netsim/SimPeer.h"

#include <QByteArray>
#include <QList>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// The radio modem with the simulated devices behind it, fed with the bytes the PC
// writes and asked for what to answer when. Time is passed in, so the logic runs
// the same under a test's clock and under the pty server. Every public method is
// thread-safe: the server's I/O thread feeds it while a test sets faults.
class SimModem : public SimPeer
{
public:
    static constexpr int MaxFrame = 51;
    // A partial frame that gets no more bytes for this long is dropped.
    static constexpr int GapMs = 30;
    // Long enough that the PC has purged its input after writing even on a busy
    // machine, short against the PC's 100 ms read time-out.
    static constexpr int DefaultTurnaroundMs = 20;

    SimModem();
    ~SimModem() override;
    SimModem(const SimModem&) = delete;
    SimModem& operator=(const SimModem&) = delete;

    int Channel() const;
    void SetChannel(int Channel);
    quint8 PowerCode() const;
    void SetPowerCode(quint8 Code);
    // Replaces the status reply; an empty array makes the modem ignore "#S".
    void SetStatusOverride(std::optional<QByteArray> Reply);
    int TurnaroundMs() const;
    void SetTurnaroundMs(int Ms);
    // Scenario time, which moves waveforms and schedules, is the modem's time minus
    // this origin (0 unless set; the pty server sets it when the port comes up).
    qint64 ClockOriginMs() const;
    void SetClockOriginMs(qint64 Ms) override;

    // False when a device with this serial number already works on that channel.
    bool AddDevice(std::unique_ptr<SimDevice> Device);
    bool AddDevice(quint16 Serial, int Type, int Channel);
    bool RemoveDevice(quint16 Serial);
    void RemoveAllDevices();
    QList<quint16> Serials() const;
    // The serial numbers a frame can reach on this radio channel, in the order added.
    QList<quint16> SerialsOnChannel(int Channel) const;
    // Runs Fn on the first device with this serial number (any channel) under the
    // modem's lock; false when there is none.
    bool WithDevice(quint16 Serial, const std::function<void(SimDevice&)>& Fn);
    bool SetFault(quint16 Serial, const SimFault& Fault);

    // The bytes the PC wrote, arriving at NowMs.
    void Feed(const QByteArray& Bytes, qint64 NowMs) override;
    // Outputs due at NowMs, oldest first. Handing a reply out applies its device's
    // deferred serial number or channel change.
    QList<SimOutput> TakeDue(qint64 NowMs) override;
    std::optional<qint64> NextDueMs() const override;

    // Frames with a good checksum, frames dropped for a bad one or a bad length.
    int FramesReceived() const;
    int FramesDropped() const;

private:
    void parse(qint64 NowMs);
    void handleFrame(const QByteArray& Frame, qint64 NowMs);
    void schedule(SimOutput Output);
    SimDevice* findRoute(quint16 Serial);
    SimDevice* findById(int Id);

    mutable std::mutex Mutex_;
    int Channel_ = 16;
    quint8 PowerCode_ = 0xC0;
    std::optional<QByteArray> StatusOverride_;
    int TurnaroundMs_ = DefaultTurnaroundMs;
    qint64 ClockOriginMs_ = 0;
    std::vector<std::unique_ptr<SimDevice>> Devices_;
    int NextDeviceId_ = 1;

    QByteArray Input_;
    qint64 LastByteMs_ = 0;
    bool Discarding_ = false;
    std::vector<SimOutput> Pending_;
    int FramesReceived_ = 0;
    int FramesDropped_ = 0;
};
