#pragma once

#include "core/Device.h"
#include "dispatcher/ArchiveWriter.h"
#include "dispatcher/DispatcherHooks.h"
#include "support/FakeConnection.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <utility>
#include <vector>

// An archive that keeps what it was told and fails when asked to.
class RecordingArchive : public IArchiveWriter
{
public:
    struct Measurement
    {
        quint16 Serial = 0;
        int Channel = 0;
        TDateTime Time = 0;
        float Value = 0;
    };

    bool UpdateDeviceRecord(const TDevice& Device, QString& ErrMsg) override
    {
        ErrMsg.clear();
        log << QStringLiteral("device %1").arg(Device.SerialNum);
        ErrMsg = DeviceError;
        return DeviceError.isEmpty();
    }
    bool UpdateChannelRecords(const TDevice& Device, QString& ErrMsg) override
    {
        ErrMsg.clear();
        log << QStringLiteral("channels %1").arg(Device.SerialNum);
        ErrMsg = ChannelError;
        return ChannelError.isEmpty();
    }
    bool AddMeasurement(const TDevice& Device, int ChannelNum, TDateTime Time, QString& ErrMsg) override
    {
        ErrMsg.clear();
        measurements.push_back({Device.SerialNum, ChannelNum, Time, Device.Channel(ChannelNum).Value});
        ErrMsg = MeasurementError;
        return MeasurementError.isEmpty();
    }
    void CloseMeasures() override { log << QStringLiteral("close"); }

    QString DeviceError;
    QString ChannelError;
    QString MeasurementError;
    QStringList log;
    std::vector<Measurement> measurements;
};

// Hooks that record what the polling asked of the windows and hand out a
// scripted link. Link == nullptr means "no connection object".
class RecordingHooks : public TDispatcherHooks
{
public:
    void ShowStatusMessage(const QString& Text, bool WithTime) override
    {
        statusTexts << Text;
        statusWithTime.push_back(WithTime);
    }
    void ReloadStringgrid() override
    {
        ++reloads;
        if (onReload)
            onReload();
    }
    void UpdatePollingActionState() override { ++actionStateUpdates; }
    void EnableSoundRepeatTimer() override { ++repeatTimerEnables; }
    void ShowMessageBox(const QString& Text, const QString& Caption) override
    {
        messageBoxes << Caption + QStringLiteral("|") + Text;
    }
    void ShowWarning(const QString& Text) override { warnings << Text; }
    bool ConfigShows(const TDevice& Device) const override { return configDevice == &Device; }
    void ConfigUpdateCurrentValues() override { configCalls << QStringLiteral("current"); }
    void ConfigUpdateAllValues() override { configCalls << QStringLiteral("all"); }
    bool FwUpdateActive() const override { return fwUpdateActive; }
    bool CalibrBusy() const override { return calibrBusy; }

    bool GetChartAxisRange(const TGraphLine& Line, TChartAxis Axis, double& Min, double& Max) const override
    {
        const auto it = axes.find({&Line, Axis});
        if (it == axes.end())
            return false;
        Min = it->second.first;
        Max = it->second.second;
        return true;
    }
    void SetChartAxisRange(const TGraphLine& Line, TChartAxis Axis, double Min, double Max) override
    {
        axes[{&Line, Axis}] = {Min, Max};
        ++axisChanges;
    }
    void MarkChartOverflow(const TGraphLine& Line, bool OverMin, bool OverMax) override
    {
        overflowMarks << Line.Title + (OverMin ? QStringLiteral(" min") : QString()) +
                             (OverMax ? QStringLiteral(" max") : QString());
    }

    IArchiveWriter* ArchiveWriter() override { return archive; }
    TConnection* Link() override { return link; }
    bool OpenLink(QString& ErrMsg) override
    {
        ++openAttempts;
        ErrMsg = openError;
        if (link && openSucceeds)
            link->Connected = true;
        return link && link->Connected;
    }

    TConnection* link = nullptr;
    bool openSucceeds = false;
    QString openError;
    int openAttempts = 0;
    IArchiveWriter* archive = nullptr;
    const TDevice* configDevice = nullptr;
    bool fwUpdateActive = false;
    bool calibrBusy = false;
    std::function<void()> onReload;

    QStringList statusTexts;
    std::vector<bool> statusWithTime;
    int reloads = 0;
    int actionStateUpdates = 0;
    int repeatTimerEnables = 0;
    QStringList messageBoxes;
    QStringList warnings;
    QStringList configCalls;
    std::map<std::pair<const TGraphLine*, TChartAxis>, std::pair<double, double>> axes;
    int axisChanges = 0;
    QStringList overflowMarks;
};
