#pragma once

#include "core/NetComm.h"

#include <QString>
#include <span>

class QWidget;
class TConnection;
class TDevice;

// What the firmware update and the input calibration need of the configuration
// window and of the main window: the shown device and its row, the modem link,
// polling, the journal and the controls they drive. The window implements it;
// tests record it. Control operations do nothing by default.
class TConfigHost
{
public:
    virtual ~TConfigHost() = default;

    // The shown row's device; nullptr when no row is shown.
    virtual TDevice* Device() = 0;
    virtual quint8 RowStatus() const = 0;
    // The row loses its link (status 0).
    virtual void SetRowNoLink() = 0;
    // The link to the radio modem, or none.
    virtual TConnection* Link() = 0;
    virtual bool SuperuserMode() const = 0;
    virtual bool PollingActive() const = 0;
    // The main window's start/stop action, which stops running polling.
    virtual void StopPolling() = 0;
    // The main window's configuration read of the shown row and what follows it.
    virtual bool ReadDeviceConfig(QString& ErrMsg) = 0;
    virtual void CheckAlarmCondition() = 0;
    virtual void ProcessExtraRecords(std::span<const TNetRequest> Extra, int Count) = 0;
    virtual void AddJournalMessage(const QString& Text) = 0;
    virtual void UpdateAllValues() {}
    virtual void ReloadStringgrid() {}
    // Parent of the message boxes.
    virtual QWidget* DialogParent() { return nullptr; }

    // Firmware update page.
    // The radio start button, or (UsbButton) the USB one.
    virtual void SetFwStartButtonEnabled(bool /*UsbButton*/, bool /*Enabled*/) {}
    virtual void SetFwFileChoiceEnabled(bool /*On*/) {}
    virtual void ClearFwFileChoice() {}
    virtual void ShowFwHeader(const QString& /*HwVersion*/, const QString& /*DevType*/,
                              const QString& /*Crc*/, const QString& /*Length*/)
    {
    }
    // Empty text hides the wait label.
    virtual void SetFwWaitMessage(const QString& /*Text*/) {}
    // Max below 0 hides the progress bar and the sent-bytes label.
    virtual void SetFwProgress(int /*Max*/, int /*Position*/) {}
    virtual void SetFwSentBytesText(const QString& /*Text*/) {}
    virtual void ClearFwResults() {}
    virtual void AddFwResultLine(const QString& /*Line*/) {}
    virtual void SetBusyCursor(bool /*On*/) {}
    // The USB page's port text and the interval between blocks (the read time-out).
    virtual QString UsbPortText() const { return QString(); }
    virtual int UsbReadTimeout() const { return 50; }
    // An abort confirmed during a transfer closes the window.
    virtual void CloseWindow() {}

    // Calibration page: Kind 0..3.
    virtual void SetCalibrInstruction(int /*Kind*/, const QString& /*Text*/) {}
    virtual void SetCalibrButton(int /*Kind*/, const QString& /*Caption*/, bool /*Enabled*/) {}
    // Device type 0 shows the identification hint, 1 and 2 their panels.
    virtual void ShowCalibrPanel(int /*DeviceType*/) {}
    // The status register's bits as the LEDs of the device type show them.
    virtual void SetCalibrLeds(int /*DeviceType*/, quint8 /*Bits*/) {}
};
