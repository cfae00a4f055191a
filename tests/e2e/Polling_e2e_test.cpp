#include "core/Device.h"
#include "core/RS232Comm.h"
#include "dispatcher/DispatcherHooks.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/Journal.h"
#include "dispatcher/PollingCycle.h"
#include "support/QStringPrinter.h"
#include "tools/netsim/NetSimServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace {

constexpr int ModemPort = 16;

// Main window hooks that only count table reloads; the link is the shared Connection.
class CountingHooks : public TDispatcherHooks
{
public:
    void ReloadStringgrid() override { ++reloads; }
    int reloads = 0;
};

class PollingOverTheModem : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        qputenv("KLOV_PORTS_DIR", dir.path().toLocal8Bit());
        QString err;
        ASSERT_TRUE(sim.Start(dir.path(), ModemPort, err)) << err.toStdString();
        ASSERT_TRUE(sim.Modem().AddDevice(1234, 1, 16));
        ASSERT_TRUE(sim.Modem().AddDevice(1235, 2, 16));
        FormJournal = &journal;
        JournalReady = true;
        RFMainPort = ModemPort;
        Connection.reset();
        for (quint16 s : {1234, 1235})
            DevArray.push_back(std::make_unique<TTableDevice>(s));
    }
    void TearDown() override
    {
        if (PollingActive)
            polling.ActionStartStopPollingExecute();
        QString err;
        if (Connection)
            Connection->Close(false, err);
        Connection.reset();
        DevArray.clear();
        PollingBusy = false;
        EepromFaultPending = false;
        FormJournal = nullptr;
        JournalReady = false;
        RFMainPort = 1;
        sim.Stop();
        qunsetenv("KLOV_PORTS_DIR");
    }

    // Runs the event loop until Done holds or the time is up.
    static bool runUntil(const std::function<bool()>& Done, int TimeoutMs)
    {
        QElapsedTimer timer;
        timer.start();
        while (!Done()) {
            if (timer.elapsed() > TimeoutMs)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }

    static bool hasValues(const TTableDevice& Row)
    {
        const TMeasureChannel& ch = *Row.Device->Channel1;
        return Row.Status != dsNoLink && ch.ValueValid && ch.GraphLine->Series->Count() > 0;
    }

    QStringList journalLines() const
    {
        QStringList lines;
        for (const QString& line : journal.Lines())
            lines << line.mid(line.indexOf(QStringLiteral(": ")) + 2);
        return lines;
    }

    QTemporaryDir dir;
    NetSimServer sim;
    TFormJournal journal;
    CountingHooks hooks;
    TPollingCycle polling{hooks};
};

} // namespace

TEST_F(PollingOverTheModem, DevicesComeOnlineAndASilentOneLosesItsLink)
{
    // The port is not open yet: starting opens it from the main-link settings.
    polling.ActionStartStopPollingExecute();
    ASSERT_TRUE(PollingActive) << ConnectionError.toStdString();
    ASSERT_TRUE(Connection && Connection->Connected);

    ASSERT_TRUE(runUntil([] { return hasValues(*DevArray[0]) && hasValues(*DevArray[1]); }, 10000));
    const TDevice& thermo = *DevArray[0]->Device;
    const TDevice& unified = *DevArray[1]->Device;
    EXPECT_EQ(thermo.DeviceType, TDeviceType::ThermoInputs);
    EXPECT_EQ(unified.DeviceType, TDeviceType::UnifiedInputs);
    EXPECT_EQ(unified.Channel1->QuantityName, QStringLiteral("Давление"));
    EXPECT_EQ(unified.Channel2->MeasUnitName, QStringLiteral("м"));
    EXPECT_NEAR(thermo.Channel1->Value, 250, 61);
    EXPECT_FLOAT_EQ(thermo.ColdJunctionTemp, 23.5f);
    EXPECT_GT(hooks.reloads, 0);
    EXPECT_TRUE(journalLines().isEmpty()) << journalLines().join(QLatin1Char('\n')).toStdString();

    ASSERT_TRUE(sim.Modem().SetFault(1235, SimFault::Silence()));
    ASSERT_TRUE(runUntil([] { return DevArray[1]->Status == dsNoLink; }, 10000));
    // A few more cycles: the device stays silent, its identification is read
    // every cycle, and the journal keeps its one line.
    const int points = thermo.Channel1->GraphLine->Series->Count();
    ASSERT_TRUE(runUntil([&] { return thermo.Channel1->GraphLine->Series->Count() >= points + 3; }, 15000));
    EXPECT_TRUE(PollingActive);
    EXPECT_EQ(DevArray[1]->Status, dsNoLink);
    EXPECT_NE(DevArray[0]->Status, dsNoLink);
    EXPECT_EQ(journalLines(), QStringList{QStringLiteral(
                                  "Превышен таймаут ожидания ответа при обмене с устройством сер.№ 01235")});

    // Back on the air, it is read again and polled.
    ASSERT_TRUE(sim.Modem().SetFault(1235, SimFault::None()));
    ASSERT_TRUE(runUntil([] { return DevArray[1]->Status != dsNoLink; }, 10000));

    polling.ActionStartStopPollingExecute();
    EXPECT_FALSE(PollingActive);
    ASSERT_TRUE(runUntil([] { return !PollingBusy; }, 5000));
}

TEST_F(PollingOverTheModem, ModemVanishingStopsPolling)
{
    polling.ActionStartStopPollingExecute();
    ASSERT_TRUE(PollingActive);
    ASSERT_TRUE(runUntil([] { return hasValues(*DevArray[0]) && hasValues(*DevArray[1]); }, 10000));
    sim.DropPort();
    ASSERT_TRUE(runUntil([] { return !PollingActive && !PollingBusy; }, 10000));
    EXPECT_FALSE(Connection->Connected);
    for (const auto& row : DevArray)
        EXPECT_EQ(row->Status, dsNoLink);
    EXPECT_FALSE(polling.TimerPoll().isActive());
    ASSERT_FALSE(journalLines().isEmpty());
    EXPECT_TRUE(journalLines().first().startsWith(QStringLiteral("Ошибка")))
        << journalLines().first().toStdString();
}
