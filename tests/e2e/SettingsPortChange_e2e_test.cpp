#include "core/Device.h"
#include "core/NetComm.h"
#include "core/RS232Comm.h"
#include "dispatcher/DispatcherHooks.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/Journal.h"
#include "dispatcher/PollingCycle.h"
#include "dispatcher/Settings.h"
#include "dispatcher/SettingsApply.h"
#include "platform/IniFile.h"
#include "support/JournalLines.h"
#include "support/QStringPrinter.h"
#include "support/ScriptedPrompts.h"
#include "support/SharedState.h"
#include "support/SimNetwork.h"
#include "support/SimPollingTest.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

constexpr int FirstPort = 16;
constexpr int SecondPort = 17;
constexpr int MissingPort = 18;
const QList<quint16> Serials = {1234, 1235, 1236, 1237};

// Main window hooks that count the rows polled in the running cycle: each row
// reloads the table, the end of a cycle clears the status message.
class CycleHooks : public TDispatcherHooks
{
public:
    void ReloadStringgrid() override { ++rowsThisCycle; }
    void ShowStatusMessage(const QString&, bool) override { rowsThisCycle = 0; }
    int rowsThisCycle = 0;
};

// Two simulated modems with the same devices on COM16 and COM17; polling runs on
// the first when a test begins. COM18 names no port.
class PortChangeWhilePolling : public SimPollingTest<CycleHooks>
{
protected:
    void SetUp() override
    {
        ResetDispatcherState();
        ASSERT_TRUE(publishPorts());
        ASSERT_TRUE(startSim(FirstPort));
        QString err;
        ASSERT_TRUE(second.Start(portsDir, SecondPort, err)) << err.toStdString();
        for (NetSimServer* s : {&sim, &second}) {
            for (const quint16 serial : Serials)
                ASSERT_TRUE(s->Modem().AddDevice(serial, serial % 2 ? 2 : 1, 16));
        }
        hookPolling(FirstPort, Serials);

        polling.ActionStartStopPollingExecute();
        ASSERT_TRUE(PollingActive) << ConnectionError.toStdString();
        ASSERT_TRUE(RunEventsUntil([] { return allPolled(); }, 15000));
    }
    void TearDown() override
    {
        SimPollingTest::TearDown();
        second.Stop();
    }

    static int points(const TTableDevice& Row) { return Row.Device->Channel1->GraphLine->Series->Count(); }
    static bool allPolled()
    {
        return std::all_of(DevArray.begin(), DevArray.end(),
                           [](const auto& Row) { return Row->Status != dsNoLink && points(*Row) > 0; });
    }
    // Every row got at least one more value than in Before.
    static bool allGrew(const std::vector<int>& Before)
    {
        for (std::size_t i = 0; i < DevArray.size(); ++i) {
            if (points(*DevArray[i]) <= Before[i])
                return false;
        }
        return true;
    }
    static std::vector<int> allPoints()
    {
        std::vector<int> p;
        for (const auto& row : DevArray)
            p.push_back(points(*row));
        return p;
    }

    // Returns with a cycle in flight, between two of its devices.
    ::testing::AssertionResult betweenTwoDevices()
    {
        const bool ok = RunEventsUntil(
            [this] {
                return PollingBusy && hooks.rowsThisCycle >= 1 && hooks.rowsThisCycle < int(Serials.size());
            },
            10000, 1);
        return ok ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "no cycle in flight";
    }

    NetSimServer second;
};

} // namespace

TEST_F(PortChangeWhilePolling, CycleInFlightGoesOnOnTheNewModem)
{
    const TComConnection* link = Connection.get();
    ASSERT_TRUE(betweenTwoDevices());
    ASSERT_TRUE(ApplyModemSettings(SecondPort, RFChannel, RFPowerLevel, nullptr));
    const QByteArray firstHeard = sim.Received();
    second.ClearRecords();

    EXPECT_EQ(Connection.get(), link);
    EXPECT_TRUE(Connection->Connected);
    EXPECT_EQ(Connection->DevicePath(), second.LinkPath());
    const std::vector<int> before = allPoints();
    ASSERT_TRUE(RunEventsUntil([&] { return allGrew(before); }, 15000));
    EXPECT_TRUE(PollingActive);
    EXPECT_TRUE(allPolled());
    EXPECT_FALSE(second.Received().isEmpty());
    EXPECT_EQ(sim.Received(), firstHeard) << "the old modem was still polled";
    EXPECT_TRUE(journalLines().isEmpty()) << journalLines().join(QLatin1Char('\n')).toStdString();
}

TEST_F(PortChangeWhilePolling, PortThatDoesNotOpenLeavesPollingOnUntilAWorkingPortIsChosen)
{
    ASSERT_TRUE(betweenTwoDevices());
    EXPECT_FALSE(ApplyModemSettings(MissingPort, RFChannel, RFPowerLevel, nullptr));
    EXPECT_FALSE(Connection->Connected);

    // The cycle in flight ends on the closed link, later ticks only say so.
    ASSERT_TRUE(RunEventsUntil(
        [this] { return journalLines().contains(PortNotConnectedMessage) && !PollingBusy; }, 10000));
    EXPECT_TRUE(PollingActive);
    const QStringList lines = journalLines();
    EXPECT_EQ(lines.first(),
              QStringLiteral("Попытка открыть несуществующий COM-порт при соединении с СОМ-портом"));
    for (const QString& line : lines.mid(1)) {
        EXPECT_TRUE(line == PortNotConnectedMessage || line.startsWith(NetNotInitializedMessage))
            << line.toStdString();
    }

    // Back on a port with a modem, polling picks up again on its own.
    ASSERT_TRUE(ApplyModemSettings(FirstPort, RFChannel, RFPowerLevel, nullptr));
    const std::vector<int> before = allPoints();
    ASSERT_TRUE(RunEventsUntil([&] { return allGrew(before); }, 15000));
    EXPECT_TRUE(PollingActive);
}

TEST_F(PortChangeWhilePolling, DialogOpenWhilePollingRunsAndItsPortChangeApplies)
{
    QTemporaryDir files;
    ASSERT_TRUE(files.isValid());
    IniFileName = files.filePath(QStringLiteral("klov.ini"));
    ArchivePath = files.path();
    ScriptedPrompts prompts;
    Prompts::SetCurrent(&prompts);
    TFormSettings form;

    std::vector<int> beforeDialog = allPoints();
    bool polledInside = false;
    QTimer::singleShot(0, &form, [&] {
        // The modal loop keeps polling.
        polledInside = RunEventsUntil([&] { return allGrew(beforeDialog); }, 15000);
        auto* ports = form.findChild<QComboBox*>(QStringLiteral("ComboBoxComPortNumber"));
        EXPECT_EQ(ports->currentText(), QStringLiteral("COM16"));
        ports->setCurrentIndex(ports->findText(QStringLiteral("COM17")));
        QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("ButtonSaveSettings")), Qt::LeftButton);
        if (form.isVisible())
            form.reject();
    });
    const auto values = form.Execute();
    Prompts::SetCurrent(nullptr);
    EXPECT_TRUE(polledInside);
    ASSERT_TRUE(values.has_value()) << prompts.Messages.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(values->RFMainPort, SecondPort);

    ApplySettings(*values, {nullptr, &polling.TimerPoll(), {}});
    EXPECT_EQ(
        IniFile(IniFileName).ReadInteger(QStringLiteral("Communication"), QStringLiteral("RFMainPort"), -1),
        SecondPort);
    EXPECT_EQ(Connection->DevicePath(), second.LinkPath());
    second.ClearRecords();
    const std::vector<int> before = allPoints();
    ASSERT_TRUE(RunEventsUntil([&] { return allGrew(before); }, 15000));
    EXPECT_FALSE(second.Received().isEmpty());
    EXPECT_TRUE(PollingActive);
}
