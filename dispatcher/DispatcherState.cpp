#include "dispatcher/DispatcherState.h"

TDevArray DevArray;
std::unique_ptr<TComConnection> Connection;

std::vector<TNetRequest> RequestArray;
std::array<TNetRequest, ExtraRecordsSize> ExtraRecords{};
int ExtraRecordCount = 0;
quint8 LastRssiPC = 0;
bool NoReplyFlag = false;
QString ConnectionError;

bool PollingActive = false;
bool PollingBusy = false;
bool EepromFaultPending = false;
bool SuperuserMode = false;

int SortColumn = -1;
quint8 SortDirection = 0;
int FilterColumn = -1;
QString FilterText;

QString IniFileName;
QString ArchivePath;
QString ArchiveDir;
bool ArchivePathChosen = false;

int RFMainPort = 1;
int RFChannel = 16;
int RFPowerLevel = 2;
int PollMode = 0;
int PollUnits = 0;
int PollValue = 10;
int PollIntervalSec = 0;
int FileRebuildHour = 0;
int FileRebuildMin = 0;

void ClearDevArray()
{
    DevArray.clear();
}

void EndDispatcherState()
{
    if (Connection) {
        QString ignored;
        if (Connection->Connected)
            Connection->Close(false, ignored);
        Connection.reset();
    }
    ClearDevArray();
}
