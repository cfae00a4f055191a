#pragma once

#include "config/Calibration.h"
#include "config/ConfigHost.h"
#include "config/DeviceWork.h"
#include "config/FwUpdate.h"

#include <QObject>
#include <array>

class QLabel;
class QPushButton;
class TFormDeviceConfig;
class TLedIndicator;

namespace Ui {
class TFormDeviceConfig;
}

// The firmware update and input calibration pages of the configuration window:
// their controls, and the window and main window as those procedures see them.
class TDeviceConfigPages : public QObject, public TConfigHost
{
    Q_OBJECT

public:
    TDeviceConfigPages(TFormDeviceConfig& Form, Ui::TFormDeviceConfig& U);
    ~TDeviceConfigPages() override;

    TFwUpdate& Firmware() { return Fw_; }
    TCalibration& Calibration() { return Calibr_; }

    bool FwUpdateActive() const { return Fw_.FwUpdateActive(); }
    bool CalibrBusy() const { return Calibr_.CalibrBusy(); }
    // An update (radio or USB) or a calibration step is under way: the window
    // keeps showing its device.
    bool ProcedureRunning() const { return Fw_.Running() || Calibr_.Working(); }
    // Why the shown device takes no command of the window now: an update of it
    // runs, or (WithCalibration) a calibration; empty when it takes commands.
    QString CommandBlockedText(bool WithCalibration = true) const;
    // Shows that text: true when the command is refused and must send nothing.
    bool RefuseCommand(bool WithCalibration = true);

    // The window is being closed: false keeps it open (an update asks whether to
    // abort); a calibration in progress is ended first.
    bool FormCloseQuery();
    // The shown row is about to be freed: every procedure ends without it.
    void TableDeviceDeleting();

    void TabSheetSoftwareUpdateShow();
    // The file dialog of the firmware path closed on Name.
    void JvFilenameEditFirmwarePathAfterDialog(const QString& Name);

    // TConfigHost.
    TDevice* Device() override;
    quint8 RowStatus() const override;
    void SetRowNoLink() override;
    TConnection* Link() override;
    bool SuperuserMode() const override;
    bool PollingActive() const override;
    void StopPolling() override;
    bool ReadDeviceConfig(QString& ErrMsg) override;
    void CheckAlarmCondition() override;
    void ProcessExtraRecords(std::span<const TNetRequest> Extra, int Count) override;
    void AddJournalMessage(const QString& Text) override;
    void UpdateAllValues() override;
    void ReloadStringgrid() override;
    QWidget* DialogParent() override;
    void SetFwStartButtonEnabled(bool UsbButton, bool Enabled) override;
    void SetFwFileChoiceEnabled(bool On) override;
    void ClearFwFileChoice() override;
    void ShowFwHeader(const QString& HwVersion, const QString& DevType, const QString& Crc,
                      const QString& Length) override;
    void SetFwWaitMessage(const QString& Text) override;
    void SetFwProgress(int Max, int Position) override;
    void SetFwSentBytesText(const QString& Text) override;
    void ClearFwResults() override;
    void AddFwResultLine(const QString& Line) override;
    void SetBusyCursor(bool On) override;
    QString UsbPortText() const override;
    int UsbReadTimeout() const override;
    void CloseWindow() override;
    void SetCalibrInstruction(int Kind, const QString& Text) override;
    void SetCalibrButton(int Kind, const QString& Caption, bool Enabled) override;
    void ShowCalibrPanel(int DeviceType) override;
    void SetCalibrLeds(int DeviceType, quint8 Bits) override;

private:
    void browseFirmware();
    // The calibration page comes into view (or the window is shown in service mode).
    void calibrPageShown();

    TFormDeviceConfig& Form_;
    Ui::TFormDeviceConfig& Ui_;
    TDeviceWork Work_;
    TFwUpdate Fw_;
    TCalibration Calibr_;
    std::array<QLabel*, 4> Instructions_{};
    std::array<QPushButton*, 4> ProceedButtons_{};
    bool BusyCursor_ = false;
    // The USB port chosen went from the list, and the operator has not picked another.
    bool UsbPortGone_ = false;
};
