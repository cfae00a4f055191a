#pragma once

#include <QString>

class IArchiveWriter;
class TConnection;
class TDevice;
class TGraphLine;

enum class TChartAxis
{
    Bottom, // date-time
    Left,   // value
};

// How the polling reaches the windows it does not know: the main window, the
// warning window, the configuration window, the chart windows and the archive.
// Every window operation does nothing by default, so the polling runs (and is
// tested) without any window; the main window overrides what it has. The modem
// link is the exception: by default it is the shared Connection.
class TDispatcherHooks
{
public:
    virtual ~TDispatcherHooks() = default;

    // Main window.
    // Panel 1 of the status bar; WithTime puts the journal's time stamp in front.
    virtual void ShowStatusMessage(const QString& Text, bool WithTime);
    // Rebuilds the visible rows of the device table from DevArray.
    virtual void ReloadStringgrid();
    // Caption, hint and icon of the start/stop action and the polling text.
    virtual void UpdatePollingActionState();
    // Enables the 5 s sound-repeat timer, which repeats the alarm while AlarmKind is 1.
    virtual void EnableSoundRepeatTimer();
    // A message box with an OK button.
    virtual void ShowMessageBox(const QString& Text, const QString& Caption);

    // Warning window: takes Text and is shown modeless.
    virtual void ShowWarning(const QString& Text);

    // Configuration window. "Shows" means: it exists, its row holds Device and it
    // is visible.
    virtual bool ConfigShows(const TDevice& Device) const;
    virtual void ConfigUpdateCurrentValues();
    virtual void ConfigUpdateAllValues();
    // A firmware update over the radio or an input calibration is running.
    virtual bool FwUpdateActive() const;
    virtual bool CalibrBusy() const;

    // Chart windows. The axis range of the chart showing Line's series: false
    // when there is no such chart. Setting a range ends the axis's automatic scaling.
    virtual bool GetChartAxisRange(const TGraphLine& Line, TChartAxis Axis, double& Min, double& Max) const;
    virtual void SetChartAxisRange(const TGraphLine& Line, TChartAxis Axis, double Min, double Max);
    // When Line has a chart window, its low (OverMin) or high (OverMax) overflow
    // mark turns red and opaque and the window repaints; marks are never cleared here.
    virtual void MarkChartOverflow(const TGraphLine& Line, bool OverMin, bool OverMax);

    // The archive writer, none by default (nothing is archived).
    virtual IArchiveWriter* ArchiveWriter();

    // The link to the radio modem: the shared Connection, or none.
    virtual TConnection* Link();
    // Opens the link, first building it from the main-link settings when there is
    // none. False with the port's text (possibly empty) when it is still closed.
    virtual bool OpenLink(QString& ErrMsg);
};
