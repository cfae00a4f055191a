#pragma once

#include "dispatcher/DeviceReader.h"

#include <QObject>
#include <QTimer>
#include <cstddef>
#include <vector>

class TDispatcherHooks;
class TTableDevice;

// The polling of the device table: start and stop, the poll timer and the cycle.
//
// A cycle is a step machine driven by the event loop, not a loop that pumps
// window messages itself. PollAllDevices takes the rows present now and arms a
// zero-time single-shot timer; each time it fires, one row is polled and the
// timer is armed again, so everything pending (clicks, repaints, a modal dialog's
// own loop, the configuration window's exchanges) runs between two devices,
// never inside one. A modal dialog opened meanwhile runs its own loop, in which
// the steps keep firing, so it never stalls polling; and since no step runs the
// event loop, no cycle ever starts inside another: PollingBusy stays on from the
// start of a cycle to its end, and poll timer ticks meanwhile do nothing.
//
// Every step first looks at PollingActive (a stop from the tool bar or a lost port
// ends the cycle there, leaving the status bar alone) and skips rows that have
// left the table since the cycle began; without any link object the step stops
// polling. After the last row PollingBusy goes off and panel 1 of the status
// bar is cleared.
class TPollingCycle : public QObject
{
    Q_OBJECT

public:
    explicit TPollingCycle(TDispatcherHooks& Hooks, QObject* Parent = nullptr);
    ~TPollingCycle() override;
    TPollingCycle(const TPollingCycle&) = delete;
    TPollingCycle& operator=(const TPollingCycle&) = delete;

    // The reads, status evaluation and chart points, shared with the
    // configuration window and the archive replay.
    TDeviceReader& Reader() { return Reader_; }

    // Disabled until the main window's first show arms it.
    QTimer& TimerPoll() { return TimerPoll_; }
    // 500 ms in continuous mode (0), the interval in interval mode (1); an
    // interval of 0 or less polls as in continuous mode, one too long for the
    // timer takes its longest.
    static int PollTimerInterval(int Mode, qint64 PollIntervalSec);
    // Sets the timer's interval from PollMode and PollIntervalSec.
    void ApplyPollInterval();

    // Poll timer tick: a cycle when polling is on and none runs.
    void TimerPollTimer();
    // Starts one cycle over the table (does nothing while one runs).
    void PollAllDevices();
    // The start/stop action: starts polling when it is off, stops it when it is on.
    void ActionStartStopPollingExecute();
    // Stops polling when it runs and there is no open link.
    void StopPollingIfLinkLost();

private:
    void startPolling();
    void stopPolling();
    void pollStep();
    void pollRow(TTableDevice& Row);
    void endCycle(bool AfterLastRow);

    TDispatcherHooks& Hooks_;
    TDeviceReader Reader_;
    QTimer TimerPoll_;
    QTimer StepTimer_;
    // The rows of the running cycle in table order at its start.
    std::vector<const TTableDevice*> CycleRows_;
    std::size_t NextRow_ = 0;
    bool CycleRunning_ = false;
};
