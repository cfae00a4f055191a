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
#include "tools/netsim/SimScenario.h"

#include <gtest/gtest.h>

// The demonstration network that ./run.sh serves, polled by the real polling cycle
// over the pty. Instead of waiting minutes for the demo's rhythm, the test moves
// the simulator's scenario clock to the moments the demo is known for.
namespace {

constexpr int ModemPort = 21;

class DemoNetwork : public SimPollingTest<>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(publishPorts());
        QString err;
        ASSERT_TRUE(SimScenario::LoadDemo(sim.Modem(), err)) << err.toStdString();
        ASSERT_TRUE(startSim(ModemPort));
        // The rows as run.sh writes them into the settings file.
        QList<quint16> serials;
        for (const QString& serial : SimScenario::DevicesList(sim.Modem()).split(QLatin1Char(',')))
            serials << quint16(serial.toUInt());
        hookPolling(ModemPort, serials);
    }

    static TTableDevice& row(quint16 Serial) { return RowOf(Serial); }

    // Scenario time jumps to Ms: waveforms and fault windows are there at once.
    void jumpTo(qint64 Ms) { sim.Modem().SetClockOriginMs(NetSimServer::NowMs() - Ms); }

    bool journalHas(const QString& Text) const { return journalLines().contains(Text); }
};

} // namespace

TEST_F(DemoNetwork, EveryDeviceAnswersThenAlarmOutageAndFaultComeInTurn)
{
    ASSERT_EQ(DevArray.size(), 6u);
    polling.ActionStartStopPollingExecute();
    ASSERT_TRUE(PollingActive) << ConnectionError.toStdString();

    // Start of the scenario: every device is on the air and calm.
    const auto allOk = [] {
        for (const auto& r : DevArray) {
            if (r->Status != dsOk || r->Device->Channel1->GraphLine->Series->Count() == 0)
                return false;
        }
        return true;
    };
    ASSERT_TRUE(RunEventsUntil(allOk, 15000)) << journalLines().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(journalLines().isEmpty()) << journalLines().join(QLatin1Char('\n')).toStdString();

    const TDevice& boiler = *row(1234).Device;
    EXPECT_EQ(boiler.DeviceType, TDeviceType::ThermoInputs);
    EXPECT_EQ(boiler.Comment.trimmed(), QStringLiteral("Котельная, котёл №2"));
    EXPECT_EQ(boiler.Channel1->SensorType, TSensorType::Thermocouple);
    EXPECT_GT(boiler.Channel1->Value, 150);
    EXPECT_LT(boiler.Channel1->Value, 210);
    const TDevice& pumps = *row(1235).Device;
    EXPECT_EQ(pumps.DeviceType, TDeviceType::UnifiedInputs);
    EXPECT_EQ(pumps.Channel1->QuantityName, QStringLiteral("Давление на выходе"));
    EXPECT_EQ(pumps.Channel1->MeasUnitName, QStringLiteral("кПа"));
    EXPECT_FLOAT_EQ(pumps.Channel1->MaxAlert, 800.0f);
    EXPECT_EQ(row(2002).Device->Channel2->MeasUnitName, QStringLiteral("°C"));
    EXPECT_FALSE(row(2001).Device->Channel2->Enabled);

    // 27 s in: the pressure is near its peak, above its high limit (until 36 s).
    jumpTo(27000);
    ASSERT_TRUE(RunEventsUntil([] { return row(1235).Status == dsAlarm; }, 10000));
    EXPECT_GT(pumps.Channel1->Value, 800);
    EXPECT_EQ(pumps.Channel1->LimitState, 4);
    EXPECT_EQ(row(1234).Status, dsOk);

    // 40.5 s in: the far warehouse is silent and loses its link; the pressure is
    // only near its limit now (until 46 s); polling goes on.
    jumpTo(40500);
    ASSERT_TRUE(
        RunEventsUntil([] { return row(2001).Status == dsNoLink && row(1235).Status == dsWarning; }, 10000));
    EXPECT_TRUE(PollingActive);
    EXPECT_TRUE(
        journalHas(QStringLiteral("Превышен таймаут ожидания ответа при обмене с устройством сер.№ 02001")))
        << journalLines().join(QLatin1Char('\n')).toStdString();

    // 52 s in: the kiln has no cold-junction data, so its thermocouple channel is invalid.
    jumpTo(52000);
    const QString noColdJunction = QStringLiteral("Нет данных от датчика холодных концов");
    ASSERT_TRUE(RunEventsUntil(
        [&] { return journalHas(QStringLiteral("Внимание!!! Устройство сер.№ 03002: ") + noColdJunction); },
        10000))
        << journalLines().join(QLatin1Char('\n')).toStdString();
    const TDevice& kiln = *row(3002).Device;
    EXPECT_FALSE(kiln.ColdJunctionValid);
    EXPECT_FALSE(kiln.Channel1->ValueValid);
    EXPECT_TRUE(kiln.Channel2->ValueValid);

    // 66 s in: the fault is gone, the warehouse is back, the pressure is normal.
    jumpTo(66000);
    ASSERT_TRUE(RunEventsUntil(
        [&] {
            return journalHas(QStringLiteral("Внимание!!! Устройство сер.№ 03002: неисправность \"") +
                              noColdJunction + QStringLiteral("\" устранена")) &&
                   row(2001).Status == dsOk && row(1235).Status == dsOk;
        },
        15000))
        << journalLines().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(kiln.ColdJunctionValid);
    EXPECT_TRUE(PollingActive);
}
