#pragma once

#include "core/NetComm.h"

#include <QString>
#include <array>
#include <functional>
#include <span>

class TConfigHost;
class TDevice;

// One exchange with the shown device and what it left behind.
struct TDeviceExchange
{
    bool Ok = false;
    QString Error;
    bool NoReply = false;
    quint8 RfLevel = 0;
    std::array<TNetRequest, ExtraRecordsSize> Extra{};
    int ExtraCount = 0;
};

// The preconditions shared by the firmware update and the input calibration
// (polling stopped, signal strong enough) and their exchange with the shown
// device. Each exchange uses a request list of its own, never the polling's.
class TDeviceWork
{
public:
    // Purposes of the preconditions.
    static constexpr int ForFirmware = 0;
    static constexpr int ForCalibration = 1;
    // The level in dBm magnitude above which the radio is too weak.
    static constexpr double MaxSignalLevel = 67.5;

    explicit TDeviceWork(TConfigHost& Host);

    // Where a failed configuration read of the precondition check reports (the
    // calibration's instruction box).
    void SetCalibrErrorHandler(std::function<void(const QString&)> Handler)
    {
        CalibrError_ = std::move(Handler);
    }

    // True when polling is off afterwards; asks to stop it when it runs.
    bool DisablePolling(int Purpose);
    // True when the shown device may be worked on over the radio.
    bool RfSignalLevelSufficient(int Purpose);
    // The larger of the two levels in dBm magnitude.
    static double SignalLevel(const TDevice& Device);

    // One exchange with Device. On success the device takes the PC-side level.
    TDeviceExchange Exchange(TDevice& Device, std::span<TNetRequest> Requests);
    // What follows every exchange once its request was judged: extra records after
    // a success; after a failure a new error is journalled and a silent device
    // loses its link.
    void Epilogue(TDevice& Device, const TDeviceExchange& X);

    // A single-register request.
    static TNetRequest ReadRequest(quint16 Addr, quint8 Len);
    static TNetRequest WriteRequest(quint16 Addr, std::span<const quint8> Data);

private:
    TConfigHost& Host_;
    std::function<void(const QString&)> CalibrError_;
};
