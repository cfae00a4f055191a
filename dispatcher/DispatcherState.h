#pragma once

// State of the main window's unit that the other windows read and write
// directly: the device table, the modem link, the shared exchange buffers and
// the settings values. One instance each, for the whole run.

#include "core/NetComm.h"
#include "core/RS232Comm.h"
#include "dispatcher/TableDevice.h"

#include <QString>
#include <array>
#include <memory>
#include <vector>

using TDevArray = std::vector<std::unique_ptr<TTableDevice>>;

// The device table in table order.
extern TDevArray DevArray;
// The link to the radio modem, or none.
extern std::unique_ptr<TComConnection> Connection;

// Buffers and results of the last network exchange, shared by the polling and the
// configuration window (which only runs its exchanges between two polled devices).
extern std::vector<TNetRequest> RequestArray;
extern std::array<TNetRequest, ExtraRecordsSize> ExtraRecords;
extern int ExtraRecordCount;
extern quint8 LastRssiPC;
extern bool NoReplyFlag;
extern QString ConnectionError;

extern bool PollingActive;
extern bool PollingBusy;
extern bool EepromFaultPending;
extern bool SuperuserMode;

// Order and column filter of the device table; kept for the run only.
extern int SortColumn;       // -1 none, else 1..6
extern quint8 SortDirection; // 0 none, 1 ascending, 2 descending
extern int FilterColumn;     // -1 none, else 1..4
extern QString FilterText;

extern QString IniFileName;
extern QString ArchivePath;
extern QString ArchiveDir;
extern bool ArchivePathChosen;

// Settings values read from the settings file.
extern int RFMainPort; // 0: none chosen (the file held an impossible number)
extern int RFChannel;
extern int RFPowerLevel;
extern int PollMode;  // "Polling" Mode: 0 continuous, 1 with an interval
extern int PollUnits; // 0 seconds, 1 minutes, 2 hours
extern int PollValue;
extern int PollIntervalSec;
extern int FileRebuildHour;
extern int FileRebuildMin;

// Frees every row (with its device, channels and chart lines).
void ClearDevArray();

// Closes and frees the link and frees every row: the globals here that own Qt
// objects must end while Qt is still whole, never in the static destructors that
// run after Qt's own. Safe to call more than once.
void EndDispatcherState();
