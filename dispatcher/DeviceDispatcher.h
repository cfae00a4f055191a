#pragma once

#include "dispatcher/ArchiveWindow.h"
#include "dispatcher/DeviceConfigWindow.h"
#include "dispatcher/DispatcherHooks.h"
#include "dispatcher/GraphicWindows.h"
#include "dispatcher/TableDevice.h"

#include <QMainWindow>
#include <QTimer>
#include <memory>

namespace Ui {
class TFormDeviceDispatcher;
}
class QLabel;
class TDeviceTableModel;
class TPollingCycle;

// The main window: the device table, the polling timer, the status bar. It owns
// the start-up state of the run (settings file, archive folder, the modem link).
class TFormDeviceDispatcher : public QMainWindow, public TDispatcherHooks
{
    Q_OBJECT

public:
    explicit TFormDeviceDispatcher(const QStringList& Args, QWidget* Parent = nullptr);
    ~TFormDeviceDispatcher() override;

    // Reads the settings file into the running system: settings values, the device
    // table and the modem link.
    void LoadSettings(const QString& FileName);

    void AddJournalMessage(const QString& Text);
    QString StatusPanelText(int Panel) const;
    void UpdatePollingStatusText();

    // What the polling asks of the windows.
    void ShowStatusMessage(const QString& Text, bool WithTime) override;
    void ReloadStringgrid() override;
    void UpdatePollingActionState() override;
    void EnableSoundRepeatTimer() override;
    void ShowMessageBox(const QString& Text, const QString& Caption) override;
    void ShowWarning(const QString& Text) override;

    TPollingCycle& Polling() { return *Polling_; }
    // The archive window lives in its own library, which builds on this one.
    void SetArchiveWindow(IArchiveWindow* Window) { ArchiveWindow_ = Window; }
    IArchiveWriter* ArchiveWriter() override;
    // The chart windows live in their own library, which builds on this one.
    void SetGraphicWindows(IGraphicWindows* Windows) { GraphicWindows_ = Windows; }
    bool GetChartAxisRange(const TGraphLine& Line, TChartAxis Axis, double& Min, double& Max) const override;
    void SetChartAxisRange(const TGraphLine& Line, TChartAxis Axis, double Min, double Max) override;
    void MarkChartOverflow(const TGraphLine& Line, bool OverMin, bool OverMax) override;
    IGraphicWindows* GraphicWindows() const { return GraphicWindows_; }
    // The configuration window lives in its own library, which builds on this one.
    void SetDeviceConfigWindow(IDeviceConfigWindow* Window) { DeviceConfigWindow_ = Window; }
    bool ConfigShows(const TDevice& Device) const override;
    void ConfigUpdateCurrentValues() override;
    void ConfigUpdateAllValues() override;
    bool FwUpdateActive() const override;
    bool CalibrBusy() const override;
    void ActionShowGraphicExecute();
    QTimer& TimerPoll();

    bool TerminateRequested() const { return TerminateRequested_; }

    QTimer TimerSoundRepeating;
    QTimer TimerBlink;
    void TimerSoundRepeatingTimer();
    void TimerBlinkTimer();

Q_SIGNALS:
    // The first show refused to go on: the run ends without the usual shutdown.
    void TerminateApplication();
    // Show the configuration window for Row (nullptr: bring it forward as it is).
    void OpenDeviceConfig(TTableDevice* Row);
    // Row is deleted from the table and freed right after this: whoever keeps it lets go.
    void DeviceRowDeleting(TTableDevice* Row);

protected:
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;

private:
    void FormCreate();
    void FirstShowSetup();
    void terminate();
    void ActionShowJournalExecute();
    void ActionLogDebugInfoExecute();
    void ActionOpenArchiveExecute();
    void ActionSuperuserModeExecute();
    void ActionAboutProgramExecute();
    void ActionShowSettingsFormExecute();
    void ActionHelpContentsExecute();
    void StringGridDeviceListDblClick(TTableDevice* Row);
    void ActionAddSerialNumExecute();
    void ActionDeleteDevicesExecute();

    std::unique_ptr<Ui::TFormDeviceDispatcher> ui;
    TDeviceTableModel* Model_ = nullptr;
    TPollingCycle* Polling_ = nullptr;
    IArchiveWindow* ArchiveWindow_ = nullptr;
    IGraphicWindows* GraphicWindows_ = nullptr;
    IDeviceConfigWindow* DeviceConfigWindow_ = nullptr;
    QStringList Args_;
    QLabel* PollingPanel_ = nullptr;
    QLabel* MessagePanel_ = nullptr;
    bool FirstShowDone_ = false;
    bool TerminateRequested_ = false;
    bool BlinkPhase_ = false;
};

extern TFormDeviceDispatcher* FormDeviceDispatcher;
