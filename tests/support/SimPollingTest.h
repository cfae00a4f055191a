#pragma once

#include "core/Device.h"
#include "dispatcher/DispatcherHooks.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/Journal.h"
#include "dispatcher/PollingCycle.h"
#include "support/JournalLines.h"
#include "support/SharedState.h"
#include "support/SimNetwork.h"

#include <QList>
#include <QStringList>
#include <memory>

// The polling cycle without the main window over the simulated network: a
// journal window, the table rows, and the cycle on Hooks, stopped and its last
// cycle waited for at the end. A derived TearDown ends with this one.
template <class Hooks = TDispatcherHooks> class SimPollingTest : public SimNetworkTest
{
protected:
    // The journal hooked, the main link on ModemPort, a row for each of Serials.
    void hookPolling(int ModemPort, const QList<quint16>& Serials)
    {
        FormJournal = &journal;
        JournalReady = true;
        RFMainPort = ModemPort;
        for (const quint16 serial : Serials)
            DevArray.push_back(std::make_unique<TTableDevice>(serial));
    }

    void TearDown() override
    {
        if (PollingActive)
            polling.ActionStartStopPollingExecute();
        RunEventsUntil([] { return !PollingBusy; }, 5000);
        ResetDispatcherState();
        SimNetworkTest::TearDown();
    }

    QStringList journalLines() const { return JournalLines(journal); }

    TFormJournal journal;
    Hooks hooks;
    TPollingCycle polling{hooks};
};
