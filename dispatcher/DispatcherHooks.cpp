#include "dispatcher/DispatcherHooks.h"

#include "dispatcher/DispatcherState.h"
#include "dispatcher/ModemSetup.h"

void TDispatcherHooks::ShowStatusMessage(const QString&, bool) {}

void TDispatcherHooks::ReloadStringgrid() {}

void TDispatcherHooks::UpdatePollingActionState() {}

void TDispatcherHooks::EnableSoundRepeatTimer() {}

void TDispatcherHooks::ShowMessageBox(const QString&, const QString&) {}

void TDispatcherHooks::ShowWarning(const QString&) {}

bool TDispatcherHooks::ConfigShows(const TDevice&) const
{
    return false;
}

void TDispatcherHooks::ConfigUpdateCurrentValues() {}

void TDispatcherHooks::ConfigUpdateAllValues() {}

bool TDispatcherHooks::FwUpdateActive() const
{
    return false;
}

bool TDispatcherHooks::CalibrBusy() const
{
    return false;
}

bool TDispatcherHooks::GetChartAxisRange(const TGraphLine&, TChartAxis, double&, double&) const
{
    return false;
}

void TDispatcherHooks::SetChartAxisRange(const TGraphLine&, TChartAxis, double, double) {}

void TDispatcherHooks::MarkChartOverflow(const TGraphLine&, bool, bool) {}

IArchiveWriter* TDispatcherHooks::ArchiveWriter()
{
    return nullptr;
}

TConnection* TDispatcherHooks::Link()
{
    return Connection.get();
}

bool TDispatcherHooks::OpenLink(QString& ErrMsg)
{
    ErrMsg.clear();
    if (!Connection) {
        // No link object is only a defence (the settings dialog moves the one link
        // to another port); a port number that cannot be one leaves it closed.
        if (RFMainPort < 1 || RFMainPort > 255)
            return false;
        Connection = std::make_unique<TComConnection>(MainLinkSettings(RFMainPort));
    }
    Connection->Open(false, ErrMsg);
    return Connection->Connected;
}
