#pragma once

#include "core/DateTime.h"
#include "core/NetComm.h"

#include <QString>
#include <functional>
#include <span>

class TDevice;
class TDispatcherHooks;
class TGraphLine;
class TMeasureChannel;
class TTableDevice;

// The reads of the polling road and what follows from them: current values with
// fault bits, limits, chart points, archive rows and alarms, and the
// identification and configuration of a device without link. Exchanges go
// through the shared RequestArray and result variables; windows are reached
// only through the hooks. Errors of one device are journalled once in a row.
class TDeviceReader
{
public:
    explicit TDeviceReader(TDispatcherHooks& Hooks);

    // Called after an exchange that got no reply or lost the port (the polling's
    // StopPollingIfLinkLost). Nothing by default.
    void SetLinkLostHandler(std::function<void()> Handler);

    // Fault register with the level at the device, both channel values and the
    // cold-junction temperature in one exchange. True when the exchange took
    // place, even with failed items; ErrMsg is the exchange's or a device's text
    // (emptied once a value went to the archive).
    bool ReadCurrentValues(TTableDevice& Row, QString& ErrMsg);
    // Journals each of fault bits 0..12 that changed since the last comparison.
    void LogFaultChanges(TDevice& D);
    // Limit state of an enabled channel from its value and alarm limits; a
    // disabled channel keeps its state.
    static void ClassifyChannelValue(TMeasureChannel& Channel);
    // Appends (Time, Value) to the line's series; the first point of a series in
    // a chart moves the chart's axes onto it. Also used by the archive replay.
    void AddGraphPoint(TGraphLine& Line, bool OverMin, bool OverMax, double Value, TDateTime Time);
    // Row status from the channel states, and the alarm sound once per entry of a
    // channel into the alarm state.
    void CheckAlarmCondition(TTableDevice& Row);
    // Applies the fault-register records a device sent on its own; others are ignored.
    void ProcessExtraRecords(TDevice& D, std::span<const TNetRequest> Extra, int Count);
    // Identification, current values, channel configuration and (types other than
    // 1) the channel names. True only when the last configuration read completed.
    bool ReadDeviceConfig(TTableDevice& Row, QString& ErrMsg);

private:
    bool exchange(quint16 Addr, QString& ErrMsg);
    void setSingleRead(quint16 RegAddr, quint8 Length);
    void linkLost(TTableDevice& Row);
    void applyExtraRecords(TDevice& D);
    void readChannelValue(TDevice& D, int ChannelNum, const TNetRequest& Item, TDateTime Time,
                          QString& ErrMsg);
    // An exchange of the configuration read failed; true when the read ends here.
    bool configExchangeFailed(TTableDevice& Row, const QString& ErrMsg);

    TDispatcherHooks& Hooks_;
    std::function<void()> LinkLost_;
};
