#include "dispatcher/PollingCycle.h"

#include "core/Device.h"
#include "core/RS232Comm.h"
#include "core/StringFunc.h"
#include "dispatcher/ArchiveWriter.h"
#include "dispatcher/DispatcherHooks.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/JournalMessage.h"

#include <algorithm>
#include <limits>

namespace {

constexpr int ContinuousIntervalMs = 500;

bool linkOpen(TConnection* Link)
{
    return Link && Link->Connected;
}

// The row still in the table, or nullptr when it has been deleted meanwhile.
TTableDevice* findRow(const TTableDevice* Row)
{
    const auto it = std::find_if(DevArray.begin(), DevArray.end(),
                                 [Row](const std::unique_ptr<TTableDevice>& r) { return r.get() == Row; });
    return it == DevArray.end() ? nullptr : it->get();
}

} // namespace

TPollingCycle::TPollingCycle(TDispatcherHooks& Hooks, QObject* Parent)
    : QObject(Parent), Hooks_(Hooks), Reader_(Hooks)
{
    Reader_.SetLinkLostHandler([this] { StopPollingIfLinkLost(); });
    TimerPoll_.setInterval(ContinuousIntervalMs);
    connect(&TimerPoll_, &QTimer::timeout, this, &TPollingCycle::TimerPollTimer);
    StepTimer_.setSingleShot(true);
    StepTimer_.setInterval(0);
    connect(&StepTimer_, &QTimer::timeout, this, &TPollingCycle::pollStep);
}

TPollingCycle::~TPollingCycle()
{
    if (CycleRunning_)
        PollingBusy = false;
}

int TPollingCycle::PollTimerInterval(int Mode, qint64 PollIntervalSec)
{
    if (Mode != 1 || PollIntervalSec <= 0)
        return ContinuousIntervalMs;
    constexpr qint64 longestSec = std::numeric_limits<int>::max() / 1000;
    return PollIntervalSec > longestSec ? std::numeric_limits<int>::max() : int(PollIntervalSec * 1000);
}

void TPollingCycle::ApplyPollInterval()
{
    TimerPoll_.setInterval(PollTimerInterval(PollMode, PollIntervalSec));
}

void TPollingCycle::TimerPollTimer()
{
    // A tick is handled from the event loop, so pending messages have had their
    // turn already.
    if (PollingActive && !PollingBusy)
        PollAllDevices();
}

void TPollingCycle::PollAllDevices()
{
    if (!PollingActive || PollingBusy)
        return;
    if (!linkOpen(Hooks_.Link())) {
        AddJournalMessage(PortNotConnectedMessage);
        return;
    }
    PollingBusy = true;
    CycleRunning_ = true;
    CycleRows_.clear();
    for (const auto& row : DevArray)
        CycleRows_.push_back(row.get());
    NextRow_ = 0;
    if (CycleRows_.empty())
        endCycle(true);
    else
        StepTimer_.start();
}

void TPollingCycle::pollStep()
{
    if (!CycleRunning_)
        return;
    if (!PollingActive) {
        endCycle(false);
        return;
    }
    if (!Hooks_.Link()) {
        // The link object went away between two devices (a failed port change).
        StopPollingIfLinkLost();
        endCycle(false);
        return;
    }
    TTableDevice* row = nullptr;
    while (!row && NextRow_ < CycleRows_.size())
        row = findRow(CycleRows_[NextRow_++]);
    if (row) {
        try {
            pollRow(*row);
        } catch (...) {
            // Shown by the application's handler; the next tick starts afresh
            // instead of finding a cycle that never ends.
            endCycle(false);
            throw;
        }
    }
    if (NextRow_ >= CycleRows_.size())
        endCycle(true);
    else
        StepTimer_.start();
}

void TPollingCycle::pollRow(TTableDevice& Row)
{
    TDevice& D = *Row.Device;
    const QString serial5 = SerialToStr(D.SerialNum);
    QString err;

    if (Row.Status != dsNoLink) {
        if (Reader_.ReadCurrentValues(Row, err)) {
            Reader_.CheckAlarmCondition(Row);
            Hooks_.ReloadStringgrid();
            if (Hooks_.ConfigShows(D))
                Hooks_.ConfigUpdateCurrentValues();
            return;
        }
        if (Row.Status == dsNoLink && Hooks_.ConfigShows(D))
            Hooks_.ConfigUpdateAllValues();
        const QString suffix = QStringLiteral(" при чтении текущих значений устройства сер.№ ") + serial5;
        if (!EepromFaultPending) {
            JournalDeviceError(err, D, suffix);
            return;
        }
        // A device with unreadable settings memory: tell the operator and read its
        // configuration again at once.
        Hooks_.ShowWarning(QStringLiteral("Устройство серийный № ") + serial5 + QStringLiteral(": ") +
                           FaultNames[FaultBitEepromReadFailed]);
        JournalDeviceError(err, D, suffix);
    }

    if (!Reader_.ReadDeviceConfig(Row, err)) {
        JournalDeviceError(err, D, QStringLiteral(" при чтении конфигурации устройства сер.№ ") + serial5);
    } else {
        Reader_.CheckAlarmCondition(Row);
        EepromFaultPending = false;
        IArchiveWriter* archive = Hooks_.ArchiveWriter();
        if (PollingActive && archive) {
            const QString suffix = QStringLiteral(" для устройства сер.№ ") + serial5;
            if (!archive->UpdateDeviceRecord(D, err))
                JournalDeviceError(err, D, suffix);
            if (!archive->UpdateChannelRecords(D, err))
                JournalDeviceError(err, D, suffix);
        }
    }
    if (Hooks_.ConfigShows(D))
        Hooks_.ConfigUpdateAllValues();
    Hooks_.ReloadStringgrid();
}

void TPollingCycle::endCycle(bool AfterLastRow)
{
    StepTimer_.stop();
    CycleRunning_ = false;
    CycleRows_.clear();
    PollingBusy = false;
    // A port lost at the last row has just put its message into panel 1; keep it.
    if (AfterLastRow && PollingActive)
        Hooks_.ShowStatusMessage(QString(), false);
}

void TPollingCycle::ActionStartStopPollingExecute()
{
    if (PollingActive)
        stopPolling();
    else
        startPolling();
}

void TPollingCycle::startPolling()
{
    if (Hooks_.FwUpdateActive()) {
        Hooks_.ShowWarning(QStringLiteral("Опрос недоступен во время обновления ПО устройства!"));
        return;
    }
    if (Hooks_.CalibrBusy()) {
        Hooks_.ShowWarning(
            QStringLiteral("Опрос недоступен во время настройки измерительных входов устройства!"));
        return;
    }
    if (!linkOpen(Hooks_.Link())) {
        Hooks_.OpenLink(ConnectionError);
        if (!linkOpen(Hooks_.Link())) {
            if (!ConnectionError.isEmpty())
                AddJournalMessage(ConnectionError + QStringLiteral(" при соединении с СОМ-портом"));
            Hooks_.ShowMessageBox(QStringLiteral("Не удалось подключиться к СОМ-порту!"),
                                  QStringLiteral("Внимание"));
            return;
        }
    }
    PollingActive = true;
    Hooks_.UpdatePollingActionState();
    // Restarted so that its full interval starts now.
    TimerPoll_.stop();
    TimerPoll_.start();
    PollAllDevices();
}

void TPollingCycle::stopPolling()
{
    PollingActive = false;
    TimerPoll_.stop();
    Hooks_.UpdatePollingActionState();
    if (IArchiveWriter* archive = Hooks_.ArchiveWriter())
        archive->CloseMeasures();
    if (!linkOpen(Hooks_.Link())) {
        for (const auto& row : DevArray)
            row->Status = dsNoLink;
        Hooks_.ShowStatusMessage(QStringLiteral("Соединение с радиомодулем не установлено"), false);
    }
    Hooks_.ReloadStringgrid();
}

void TPollingCycle::StopPollingIfLinkLost()
{
    if (PollingActive && !linkOpen(Hooks_.Link()))
        ActionStartStopPollingExecute();
}
