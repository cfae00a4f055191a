#pragma once

#include "core/Sound.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/EepromErrorDialog.h"
#include "dispatcher/Journal.h"

#include <QString>
#include <stdexcept>
#include <string>

// Puts the main window unit's shared state back to how a run starts: no rows, the
// link closed and freed, no polling, journal and warning window unhooked, the
// exchange buffers, table order, settings and alarm values at their defaults.
// The windows themselves are the caller's to close first.
inline void ResetDispatcherState()
{
    if (Connection) {
        QString err;
        Connection->Close(false, err);
    }
    Connection.reset();
    ClearDevArray();

    RequestArray.clear();
    ExtraRecords.fill(TNetRequest{});
    ExtraRecordCount = 0;
    LastRssiPC = 0;
    NoReplyFlag = false;
    ConnectionError.clear();

    PollingActive = false;
    PollingBusy = false;
    EepromFaultPending = false;
    SuperuserMode = false;

    SortColumn = -1;
    SortDirection = 0;
    FilterColumn = -1;
    FilterText.clear();

    IniFileName.clear();
    ArchivePath.clear();
    ArchiveDir.clear();
    ArchivePathChosen = false;

    RFMainPort = 1;
    RFChannel = 16;
    RFPowerLevel = 2;
    PollMode = 0;
    PollUnits = 0;
    PollValue = 10;
    PollIntervalSec = 0;
    FileRebuildHour = 0;
    FileRebuildMin = 0;

    FormJournal = nullptr;
    JournalReady = false;
    FormEepromErrorDialog = nullptr;

    AlarmKind = 0;
    SoundMode = TSoundMode::Multimedia;
    SoundRepeatMode = TSoundRepeatMode::Once;
}

// The table row of the device Serial; a missing row fails the test.
inline TTableDevice& RowOf(quint16 Serial)
{
    for (const auto& r : DevArray) {
        if (r->Device->SerialNum == Serial)
            return *r;
    }
    throw std::runtime_error("no row " + std::to_string(Serial));
}
