#pragma once

#include "dispatcher/DeviceConfigWindow.h"

#include <QHash>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>

class IGraphicWindows;
class QCloseEvent;
class QLineEdit;
class TDeviceConfigPages;
class TDeviceConfigWrites;
class TDispatcherHooks;
class TMeasureChannel;
class TPollingCycle;
class TTableDevice;
enum class TWriteResult;

namespace Ui {
class TFormDeviceConfig;
}

// Shared pictures of the main window: status (0 no link, 1 linked) and signal
// bars (levels 0..4).
QPixmap StatusPictures(int Index);
QPixmap SignalLevelPictures(int Level);

// "Параметры устройства": shows and edits one row of the device table. Created
// once at start-up and reused for every device. It never reads the device for
// display: it shows the device record the polling keeps up to date, and the
// main window asks it to refresh.
class TFormDeviceConfig : public QWidget, public IDeviceConfigWindow
{
    Q_OBJECT

public:
    explicit TFormDeviceConfig(QWidget* Parent = nullptr);
    ~TFormDeviceConfig() override;

    // The main window's link, journal, table, archive and polling, and the chart
    // windows; until set, the window shows but sends nothing.
    void SetDispatcher(TDispatcherHooks* Hooks, TPollingCycle* Polling, IGraphicWindows* Graphics);

    // The row shown; set by the main window before each show, not owned.
    TTableDevice* TableDevice = nullptr;
    // Row leaves the table: when it is the row shown, the window closes first and
    // lets go of it.
    void TableDeviceDeleting(TTableDevice* Row);

    // What the main window asks.
    bool ShowsDevice(const TDevice& Device) const override;
    // Link state, signal levels, faults, channel values, alarm labels and the
    // built-in sensor temperature.
    void UpdateCurrentValues() override;
    // Every control from the device record; the apply buttons end disabled.
    void UpdateAllValues() override;
    bool FwUpdateActive() const override;
    bool CalibrBusy() const override;
    bool FwUpdateRunning() const override;
    // The firmware update and calibration pages.
    TDeviceConfigPages& Pages() { return *Pages_; }
    // A firmware update or a calibration step is under way: the row shown stays.
    bool ProcedureRunning() const;

    void ShowAlertCondition(const TMeasureChannel& Channel);
    void UpdateSensorComboboxes(int Channel);

    // The buttons that change the device.
    void ButtonApplyRfParamsClick();
    void ButtonApplyChannelParamsClick(int Channel);
    void ButtonSendDevResetClick();
    void ButtonWriteROParamsClick();
    void ButtonEditCommentClick();
    // The comment edit to the device; Refused when the operator was told why already.
    TWriteResult UpdateDeviceComment();
    bool UpdateChannelQuantityName(int Channel);
    void ButtonReadFirmwareInfoClick();

Q_SIGNALS:
    // The calibration page's show handler: at every show in service mode, after
    // the page was made visible.
    void TabSheetCalibrShow();

protected:
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;

    std::unique_ptr<Ui::TFormDeviceConfig> ui;
    TDispatcherHooks* Hooks_ = nullptr;
    TPollingCycle* Polling_ = nullptr;
    IGraphicWindows* Graphics_ = nullptr;
    std::unique_ptr<TDeviceConfigPages> Pages_;
    friend class TDeviceConfigPages;

private:
    void FormCreate();
    void FormShow();
    void ComboBoxSensorTypeSelect(int Channel);
    void ChSettingsChanged(int Channel);
    void fillChannel(int Channel);
    void clearChannel(int Channel);
    // A limit or range edit shows a stored number; the text put there is kept.
    void fillNumber(QLineEdit* Edit, float Value);
    // The edit's text, or nothing while it still holds what fillNumber put there.
    std::optional<QString> typedNumber(const QLineEdit* Edit) const;
    // After a write: an edit whose typed number is now stored counts as filled with it.
    void settleNumber(const QLineEdit* Edit, float Stored);
    void showChannelValue(int Channel);
    void setCalibrPageVisible(bool Visible);
    // Caption, type and serial number from the record.
    void showIdentity();
    std::unique_ptr<TDeviceConfigWrites> makeWrites();

    // The digit spin's value, or nothing while it still holds what the window put there.
    std::optional<int> typedDigits(int Channel) const;

    QHash<const QLineEdit*, QString> FilledNumbers_;
    // What each channel's digit spin was filled with: the stored count clamped to
    // the spin's range, so a count outside it is kept unless the spin is changed.
    std::array<int, 2> FilledDigits_{4, 4};
    // What the comment edit was opened with: left so, it stands for the comment the
    // device holds, which may end in zero bytes rather than blanks.
    QString FilledComment_;
};

extern TFormDeviceConfig* FormDeviceConfig;
