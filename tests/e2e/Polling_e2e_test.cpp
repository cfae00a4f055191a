#include "core/Device.h"
#include "core/RS232Comm.h"
#include "dispatcher/DispatcherHooks.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/Journal.h"
#include "dispatcher/PollingCycle.h"
#include "support/JournalLines.h"
#include "support/QStringPrinter.h"
#include "support/SharedState.h"
#include "support/SimNetwork.h"
#include "support/SimPollingTest.h"

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

class PollingOverTheModem : public SimPollingTest<CountingHooks>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(publishPorts());
        ASSERT_TRUE(startSim(ModemPort));
        ASSERT_TRUE(sim.Modem().AddDevice(1234, 1, 16));
        ASSERT_TRUE(sim.Modem().AddDevice(1235, 2, 16));
        hookPolling(ModemPort, {1234, 1235});
    }

    static bool hasValues(const TTableDevice& Row)
    {
        const TMeasureChannel& ch = *Row.Device->Channel1;
        return Row.Status != dsNoLink && ch.ValueValid && ch.GraphLine->Series->Count() > 0;
    }
};

} // namespace

TEST_F(PollingOverTheModem, DevicesComeOnlineAndASilentOneLosesItsLink)
{
    // The port is not open yet: starting opens it from the main-link settings.
    polling.ActionStartStopPollingExecute();
    ASSERT_TRUE(PollingActive) << ConnectionError.toStdString();
    ASSERT_TRUE(Connection && Connection->Connected);

    ASSERT_TRUE(RunEventsUntil([] { return hasValues(*DevArray[0]) && hasValues(*DevArray[1]); }, 10000));
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
    ASSERT_TRUE(RunEventsUntil([] { return DevArray[1]->Status == dsNoLink; }, 10000));
    // A few more cycles: the device stays silent, its identification is read
    // every cycle, and the journal keeps its one line.
    const int points = thermo.Channel1->GraphLine->Series->Count();
    ASSERT_TRUE(
        RunEventsUntil([&] { return thermo.Channel1->GraphLine->Series->Count() >= points + 3; }, 15000));
    EXPECT_TRUE(PollingActive);
    EXPECT_EQ(DevArray[1]->Status, dsNoLink);
    EXPECT_NE(DevArray[0]->Status, dsNoLink);
    EXPECT_EQ(journalLines(), QStringList{QStringLiteral(
                                  "Превышен таймаут ожидания ответа при обмене с устройством сер.№ 01235")});

    // Back on the air, it is read again and polled.
    ASSERT_TRUE(sim.Modem().SetFault(1235, SimFault::None()));
    ASSERT_TRUE(RunEventsUntil([] { return DevArray[1]->Status != dsNoLink; }, 10000));

    polling.ActionStartStopPollingExecute();
    EXPECT_FALSE(PollingActive);
    ASSERT_TRUE(RunEventsUntil([] { return !PollingBusy; }, 5000));
}

TEST_F(PollingOverTheModem, ModemVanishingStopsPolling)
{
    polling.ActionStartStopPollingExecute();
    ASSERT_TRUE(PollingActive);
    ASSERT_TRUE(RunEventsUntil([] { return hasValues(*DevArray[0]) && hasValues(*DevArray[1]); }, 10000));
    sim.DropPort();
    ASSERT_TRUE(RunEventsUntil([] { return !PollingActive && !PollingBusy; }, 10000));
    EXPECT_FALSE(Connection->Connected);
    for (const auto& row : DevArray)
        EXPECT_EQ(row->Status, dsNoLink);
    EXPECT_FALSE(polling.TimerPoll().isActive());
    ASSERT_FALSE(journalLines().isEmpty());
    EXPECT_TRUE(journalLines().first().startsWith(QStringLiteral("Ошибка")))
        << journalLines().first().toStdString();
}
