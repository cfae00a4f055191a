#include "PollingFixture.h"
#include "core/RS232Comm.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <limits>
#include <utility>

using namespace DeviceReplies;

namespace {

class Cycle : public PollingTest
{
protected:
    Cycle() { hooks.archive = &archive; }

    void start()
    {
        ASSERT_FALSE(PollingActive);
        polling.ActionStartStopPollingExecute();
        ASSERT_TRUE(PollingActive);
    }

    // The devices the frames went to, in order.
    std::vector<quint16> polled() const
    {
        std::vector<quint16> d;
        for (const auto& f : link.Sent)
            d.push_back(destination(f));
        return d;
    }

    // A complete type 1 configuration read of Serial.
    void scriptConfigRead(quint16 Serial)
    {
        link.Reply(IdentificationReply(Serial, Identification(Serial, 1)))
            .Reply(CurrentReply(Serial, 0, 1, 2))
            .Reply(ConfigReply(Serial, TDevice(Serial), TDeviceType::ThermoInputs));
    }

    RecordingArchive archive;
};

const QString LinkLostText = QStringLiteral("Соединение с радиомодулем не установлено");

} // namespace

TEST(PollTimer, IntervalFromTheMode)
{
    EXPECT_EQ(TPollingCycle::PollTimerInterval(0, 60), 500);
    EXPECT_EQ(TPollingCycle::PollTimerInterval(1, 10), 10000);
    EXPECT_EQ(TPollingCycle::PollTimerInterval(1, 3600), 3600000);
    EXPECT_EQ(TPollingCycle::PollTimerInterval(1, 0), 500);
    EXPECT_EQ(TPollingCycle::PollTimerInterval(1, -5), 500);
    EXPECT_EQ(TPollingCycle::PollTimerInterval(1, 10'000'000), std::numeric_limits<int>::max());
}

TEST_F(Cycle, EmptyTableOnlyClearsPanelOne)
{
    PollingActive = true;
    runCycle();
    EXPECT_EQ(hooks.statusTexts, QStringList{QString()});
    EXPECT_EQ(hooks.statusWithTime, std::vector<bool>{false});
    EXPECT_TRUE(link.Sent.empty());
    EXPECT_TRUE(journalLines().isEmpty());
    EXPECT_EQ(hooks.reloads, 0);
}

TEST_F(Cycle, NothingWithoutPollingAndOneLinePerTickWithoutPort)
{
    addMeasuringRow(1);
    polling.TimerPollTimer();
    EXPECT_FALSE(PollingBusy);
    PollingActive = true;
    link.Connected = false;
    polling.TimerPollTimer();
    polling.TimerPollTimer();
    EXPECT_EQ(journalLines(), (QStringList{PortNotConnectedMessage, PortNotConnectedMessage}));
    EXPECT_TRUE(PollingActive);
    EXPECT_FALSE(PollingBusy);
    EXPECT_TRUE(link.Sent.empty());
}

TEST_F(Cycle, EveryRowInTableOrderHiddenIncludedWithMessagesBetweenDevices)
{
    addMeasuringRow(3);
    addMeasuringRow(1).Hidden = true;
    addMeasuringRow(2);
    for (quint16 s : {3, 1, 2})
        link.Reply(CurrentReply(s, 0, 50, 50));
    std::vector<std::size_t> sentWhenMessageRan;
    hooks.onReload = [&] {
        QMetaObject::invokeMethod(
            qApp, [&, n = link.Sent.size()] { sentWhenMessageRan.push_back(link.Sent.size() - n); },
            Qt::QueuedConnection);
    };
    PollingActive = true;
    polling.PollAllDevices();
    EXPECT_TRUE(PollingBusy);
    EXPECT_TRUE(link.Sent.empty()) << "the first device waits for the event loop too";
    // A tick while the cycle runs starts nothing.
    polling.TimerPollTimer();
    finishCycle();
    QCoreApplication::processEvents();
    EXPECT_EQ(polled(), (std::vector<quint16>{3, 1, 2}));
    // A message posted while one device was polled ran before the next one.
    EXPECT_EQ(sentWhenMessageRan, (std::vector<std::size_t>{0, 0, 0}));
    EXPECT_EQ(hooks.reloads, 3);
    EXPECT_EQ(hooks.statusTexts, QStringList{QString()});
    for (const auto& row : DevArray)
        EXPECT_EQ(row->Status, dsOk);
}

TEST_F(Cycle, StoppingDuringACycleEndsItAtTheNextRow)
{
    for (quint16 s : {1, 2, 3}) {
        addMeasuringRow(s);
        link.Reply(CurrentReply(s, 0, 50, 50));
    }
    start();
    hooks.onReload = [&] {
        if (PollingActive)
            polling.ActionStartStopPollingExecute();
    };
    finishCycle();
    EXPECT_EQ(polled(), std::vector<quint16>{1});
    EXPECT_FALSE(PollingActive);
    EXPECT_FALSE(PollingBusy);
    EXPECT_FALSE(polling.TimerPoll().isActive());
    EXPECT_EQ(hooks.actionStateUpdates, 2);
    EXPECT_EQ(archive.log, QStringList{QStringLiteral("close")});
    EXPECT_TRUE(hooks.statusTexts.isEmpty()) << "an early end leaves the status bar";
    EXPECT_EQ(DevArray[2]->Status, dsOk) << "the port is still open";
}

TEST_F(Cycle, StartIsRefusedDuringFirmwareUpdateAndCalibration)
{
    hooks.fwUpdateActive = true;
    polling.ActionStartStopPollingExecute();
    hooks.fwUpdateActive = false;
    hooks.calibrBusy = true;
    polling.ActionStartStopPollingExecute();
    EXPECT_EQ(hooks.warnings,
              (QStringList{
                  QStringLiteral("Опрос недоступен во время обновления ПО устройства!"),
                  QStringLiteral("Опрос недоступен во время настройки измерительных входов устройства!")}));
    EXPECT_FALSE(PollingActive);
    EXPECT_EQ(hooks.actionStateUpdates, 0);
    EXPECT_FALSE(polling.TimerPoll().isActive());
    EXPECT_EQ(hooks.openAttempts, 0);
}

TEST_F(Cycle, StartOpensTheClosedPortOrGivesUp)
{
    link.Connected = false;
    hooks.openError = QStringLiteral("Ошибка открытия СОМ-порта");
    polling.ActionStartStopPollingExecute();
    hooks.openError.clear();
    polling.ActionStartStopPollingExecute();
    EXPECT_FALSE(PollingActive);
    EXPECT_EQ(hooks.openAttempts, 2);
    EXPECT_EQ(journalLines(),
              QStringList{QStringLiteral("Ошибка открытия СОМ-порта при соединении с СОМ-портом")});
    const QString box = QStringLiteral("Внимание|Не удалось подключиться к СОМ-порту!");
    EXPECT_EQ(hooks.messageBoxes, (QStringList{box, box}));

    hooks.openSucceeds = true;
    addMeasuringRow(9);
    link.Reply(CurrentReply(9, 0, 1, 1));
    polling.TimerPoll().setInterval(60000);
    start();
    EXPECT_EQ(hooks.actionStateUpdates, 1);
    EXPECT_TRUE(polling.TimerPoll().isActive());
    EXPECT_TRUE(PollingBusy) << "the first cycle starts at once";
    finishCycle();
    EXPECT_EQ(polled(), std::vector<quint16>{9});
}

TEST_F(Cycle, PendingMemoryFaultWarnsAndReadsTheConfigurationInTheSameCycle)
{
    TTableDevice& row = addMeasuringRow(1234);
    auto bad = CurrentReply(1234, 0, 1, 2);
    bad[bad.size() - 3] ^= 1;
    link.Reply(CurrentReply(1234, 0x0008, 1, 2)); // reports the fault
    link.Reply(bad);                              // next cycle: fails
    scriptConfigRead(1234);
    PollingActive = true;
    runCycle();
    EXPECT_TRUE(EepromFaultPending);
    EXPECT_TRUE(hooks.warnings.isEmpty());
    runCycle();
    EXPECT_EQ(hooks.warnings, QStringList{QStringLiteral("Устройство серийный № 01234: ") + FaultNames[3]});
    EXPECT_EQ(link.Sent.size(), 5u);
    EXPECT_EQ(firstRegister(link.Sent[2]), 0x0000);
    EXPECT_FALSE(EepromFaultPending);
    EXPECT_EQ(row.Status, dsOk);
    EXPECT_EQ(archive.log, (QStringList{QStringLiteral("device 1234"), QStringLiteral("channels 1234")}));
    EXPECT_EQ(
        journalLines().mid(1),
        (QStringList{QStringLiteral("Ошибка контрольной суммы полученного пакета! при обмене с устройством "
                                    "сер.№ 01234"),
                     QStringLiteral("Внимание!!! Устройство сер.№ 01234: неисправность \"") + FaultNames[3] +
                         QStringLiteral("\" устранена")}));
}

TEST_F(Cycle, RowWithoutLinkGetsItsConfigurationAndArchiveSettings)
{
    TTableDevice& row = addRow(1234, dsNoLink);
    hooks.configDevice = row.Device.get();
    archive.ChannelError = QStringLiteral("Ошибка истории каналов");
    scriptConfigRead(1234);
    PollingActive = true;
    runCycle();
    EXPECT_EQ(row.Status, dsOk);
    EXPECT_EQ(row.Device->DeviceType, TDeviceType::ThermoInputs);
    EXPECT_EQ(archive.log, (QStringList{QStringLiteral("device 1234"), QStringLiteral("channels 1234")}));
    EXPECT_EQ(journalLines(),
              QStringList{QStringLiteral("Ошибка истории каналов для устройства сер.№ 01234")});
    EXPECT_EQ(hooks.configCalls, (QStringList{QStringLiteral("current"), QStringLiteral("all")}));
    EXPECT_EQ(hooks.reloads, 1);
}

TEST_F(Cycle, PortLostMidCycleStopsPollingAndDropsEveryLink)
{
    for (quint16 s : {1, 2, 3})
        addMeasuringRow(s);
    link.Reply(CurrentReply(1, 0, 1, 1)).FailSend(QStringLiteral("Ошибка записи в порт"));
    start();
    finishCycle();
    EXPECT_EQ(polled(), (std::vector<quint16>{1, 2}));
    EXPECT_FALSE(link.Connected);
    EXPECT_FALSE(PollingActive);
    EXPECT_FALSE(PollingBusy);
    EXPECT_FALSE(polling.TimerPoll().isActive());
    for (const auto& row : DevArray)
        EXPECT_EQ(row->Status, dsNoLink);
    EXPECT_EQ(hooks.statusTexts, QStringList{LinkLostText});
    EXPECT_EQ(archive.log, QStringList{QStringLiteral("close")});
    EXPECT_EQ(journalLines(),
              QStringList{QStringLiteral("Ошибка записи в порт при обмене с устройством сер.№ 00002")});

    // The next tick finds no port.
    PollingActive = true;
    polling.TimerPollTimer();
    EXPECT_EQ(journalLines().last(), PortNotConnectedMessage);
}

TEST_F(Cycle, PortLostAtTheLastRowKeepsItsMessage)
{
    addMeasuringRow(1);
    link.FailSend(QStringLiteral("Ошибка записи в порт"));
    start();
    finishCycle();
    EXPECT_FALSE(PollingActive);
    EXPECT_EQ(hooks.statusTexts, QStringList{LinkLostText});
}

TEST_F(Cycle, SameErrorEveryCycleGivesOneJournalLine)
{
    TTableDevice& row = addMeasuringRow(1234);
    auto bad = CurrentReply(1234, 0, 1, 2);
    bad[bad.size() - 3] ^= 1;
    for (int i = 0; i < 3; ++i)
        link.Reply(bad);
    auto wrongLength = CurrentReply(1234, 0, 1, 2);
    wrongLength[5] ^= 1;
    link.Reply(wrongLength).Reply(wrongLength);
    PollingActive = true;
    for (int i = 0; i < 5; ++i)
        runCycle();
    EXPECT_EQ(row.Status, dsOk);
    EXPECT_EQ(
        journalLines(),
        (QStringList{QStringLiteral("Ошибка контрольной суммы полученного пакета! при обмене с устройством "
                                    "сер.№ 01234"),
                     QStringLiteral("Получен пакет неверной длины! при обмене с устройством сер.№ 01234")}));
}

TEST_F(Cycle, SilentDeviceLosesItsLinkAndIsReadAgainLater)
{
    TTableDevice& row = addMeasuringRow(1234);
    addMeasuringRow(5);
    link.Silence().Silence().Silence().Reply(CurrentReply(5, 0, 50, 50));
    link.Silence().Silence().Silence().Reply(CurrentReply(5, 0, 50, 50));
    PollingActive = true;
    runCycle();
    EXPECT_EQ(row.Status, dsNoLink);
    runCycle();
    EXPECT_TRUE(PollingActive);
    EXPECT_EQ(DevArray[1]->Status, dsOk);
    // The second cycle read the identification (three attempts) and got the same text.
    EXPECT_EQ(firstRegister(link.Sent[4]), 0x0000);
    EXPECT_EQ(journalLines(), QStringList{QStringLiteral(
                                  "Превышен таймаут ожидания ответа при обмене с устройством сер.№ 01234")});
}

TEST_F(Cycle, RowsDeletedOrSortedDuringACycleArePolledAtMostOnce)
{
    for (quint16 s : {1, 2, 3, 4})
        addMeasuringRow(s);
    for (quint16 s : {1, 3, 4})
        link.Reply(CurrentReply(s, 0, 50, 50));
    bool done = false;
    hooks.onReload = [&] {
        if (done)
            return;
        done = true;
        DevArray.erase(DevArray.begin() + 1); // row 2
        std::swap(DevArray[1], DevArray[2]);  // rows 1, 4, 3
    };
    PollingActive = true;
    runCycle();
    EXPECT_EQ(polled(), (std::vector<quint16>{1, 3, 4}));
    EXPECT_EQ(hooks.statusTexts, QStringList{QString()});
    EXPECT_TRUE(journalLines().isEmpty());

    // The last rows vanishing ends the cycle as after its last row.
    done = false;
    hooks.onReload = [&] {
        if (!done)
            DevArray.resize(1);
        done = true;
    };
    link.Reply(CurrentReply(1, 0, 50, 50));
    runCycle();
    EXPECT_EQ(polled().size(), 4u);
    EXPECT_EQ(hooks.statusTexts, (QStringList{QString(), QString()}));
}

TEST_F(Cycle, LinkObjectGoneBetweenDevicesStopsPolling)
{
    for (quint16 s : {1, 2})
        addMeasuringRow(s);
    link.Reply(CurrentReply(1, 0, 1, 1));
    hooks.onReload = [&] { hooks.link = nullptr; };
    start();
    finishCycle();
    EXPECT_EQ(polled(), std::vector<quint16>{1});
    EXPECT_FALSE(PollingActive);
    EXPECT_EQ(DevArray[0]->Status, dsNoLink);
    EXPECT_EQ(hooks.statusTexts, QStringList{LinkLostText});
}

TEST_F(Cycle, ModalDialogOpenedMeanwhileDoesNotStallPolling)
{
    for (quint16 s : {1, 2, 3}) {
        addMeasuringRow(s);
        link.Reply(CurrentReply(s, 0, 1, 1));
    }
    std::size_t sentAtOpen = 0;
    std::size_t sentAtClose = 0;
    bool busyAtClose = true;
    bool opened = false;
    hooks.onReload = [&] {
        if (std::exchange(opened, true))
            return;
        // As an action handler would: a modal box, opened from the event loop.
        QTimer::singleShot(0, [&] {
            QDialog box;
            QTimer watch;
            QElapsedTimer spent;
            spent.start();
            QObject::connect(&watch, &QTimer::timeout, &box, [&] {
                if (!PollingBusy || spent.elapsed() > 5000)
                    box.reject();
            });
            watch.start(1);
            sentAtOpen = link.Sent.size();
            box.exec();
            sentAtClose = link.Sent.size();
            busyAtClose = PollingBusy;
        });
    };
    PollingActive = true;
    polling.PollAllDevices();
    finishCycle();
    EXPECT_GE(sentAtOpen, 1u);
    EXPECT_LT(sentAtOpen, 3u) << "the box opened in the middle of the cycle";
    EXPECT_EQ(sentAtClose, 3u);
    EXPECT_FALSE(busyAtClose);
}
