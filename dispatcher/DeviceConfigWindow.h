#pragma once

class TDevice;

// What the main window asks of the configuration window, which lives in a
// library that builds on this one.
class IDeviceConfigWindow
{
public:
    virtual ~IDeviceConfigWindow() = default;

    // The window is visible and its row holds Device.
    virtual bool ShowsDevice(const TDevice& Device) const = 0;
    virtual void UpdateCurrentValues() = 0;
    virtual void UpdateAllValues() = 0;
    // A firmware update over the radio or an input calibration is running.
    virtual bool FwUpdateActive() const = 0;
    virtual bool CalibrBusy() const = 0;
    // A firmware update, over the radio or a USB port, is being started or sent.
    virtual bool FwUpdateRunning() const = 0;
};
