// The application's own windows (main window, warning window, journal) polling
// the simulated radio network through the real serial link: what the operator
// sees in the table, the journal, the status bar and the warning window.

#include "core/Device.h"
#include "core/NetComm.h"
#include "core/RS232Comm.h"
#include "core/Sound.h"
#include "dispatcher/DeviceDispatcher.h"
#include "dispatcher/DeviceTableModel.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/EepromErrorDialog.h"
#include "dispatcher/Journal.h"
#include "dispatcher/PollingCycle.h"
#include "netsim/SimFrames.h"
#include "platform/IniFile.h"
#include "platform/Prompts.h"
#include "platform/SoundOut.h"
#include "support/AppWindowTest.h"
#include "support/CountingSound.h"
#include "support/JournalLines.h"
#include "support/QStringPrinter.h"
#include "support/SharedState.h"
#include "support/SimNetwork.h"
#include "tools/netsim/SimWire.h"

#include <QAction>
#include <QTableView>
#include <QTest>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <memory>

namespace {

constexpr int ModemPort = 7;
// Every read waits out the 100 ms read time-out, a silent device three of them:
// a cycle over a handful of devices takes a second or two.
constexpr int CycleBoundMs = 8000;

// One frame the PC wrote: its destination and its request items.
struct SentFrame
{
    quint16 Dest = 0;
    QByteArray Items;

    quint16 FirstRegister() const { return quint16(quint8(Items[1]) << 8 | quint8(Items[2])); }
};

// The frames in the bytes the PC wrote; anything that is not a frame with a good
// checksum (modem commands) is stepped over.
QList<SentFrame> parseFrames(const QByteArray& Stream)
{
    QList<SentFrame> frames;
    qsizetype i = 0;
    while (i + 5 <= Stream.size()) {
        const int len = quint8(Stream[i + 4]);
        const qsizetype size = 5 + len + 2;
        const QByteArray frame = Stream.mid(i, size);
        if (len >= 4 && frame.size() == size && SimFrames::WithCrc(frame.left(size - 2)) == frame) {
            frames.push_back({quint16(quint8(frame[0]) << 8 | quint8(frame[1])), frame.mid(5, len)});
            i += size;
        } else {
            ++i;
        }
    }
    return frames;
}

const QString DeviceTypeThermo = QStringLiteral("ЛО РВ-ТС/ТП");
const QString DeviceTypeUnified = QStringLiteral("ЛО РВ-Т/Н");
constexpr quint16 RegIdentification = 0x0000;
constexpr quint16 RegConfig = 0x0100;
constexpr quint16 RegCurrentValues = 0x0200;

QByteArray be16(quint16 Value)
{
    QByteArray b;
    SimWire::AppendBE16(b, Value);
    return b;
}

class Application : public AppWindowTest
{
protected:
    void SetUp() override
    {
        // A question that should not come ends the start-up visibly.
        prompts.Yes = false;
        ASSERT_NO_FATAL_FAILURE(startNetwork(ModemPort));
    }

    void addDevice(quint16 Serial, int Type, const std::function<void(SimDevice&)>& Setup = {})
    {
        ASSERT_TRUE(sim.Modem().AddDevice(Serial, Type, 16));
        if (Setup) {
            ASSERT_TRUE(sim.Modem().WithDevice(Serial, Setup));
        }
    }

    // The speaker as the alarm sound: tones need no sound file.
    QString writeSettings(const QList<quint16>& Serials, const QString& Extra = QString())
    {
        return writeIni(Serials, QStringLiteral("[Sound]\nSoundMode=1\nSoundRepeatMode=0\n") + Extra);
    }

    // The first show finds the modem and writes no journal line.
    void startApplication(const QString& Ini)
    {
        ASSERT_NO_FATAL_FAILURE(AppWindowTest::startApplication(Ini));
        ASSERT_TRUE(Connection && Connection->Connected);
        ASSERT_TRUE(journalLines().isEmpty()) << journalLines().join(QLatin1Char('\n')).toStdString();
        // Only the polling's frames from here on.
        sim.ClearRecords();
    }

    QAction& startStopAction() const
    {
        auto* action = window->findChild<QAction*>(QStringLiteral("ActionStartStopPolling"));
        EXPECT_NE(action, nullptr);
        return *action;
    }

    void startPolling()
    {
        startStopAction().trigger();
        ASSERT_TRUE(PollingActive) << ConnectionError.toStdString();
    }

    // The event loop runs in short slices so the condition is seen between two
    // devices (a polling cycle keeps a zero-time step timer armed, on which
    // QTest::qWaitFor would slice only at its deadline).
    static bool runUntil(const std::function<bool()>& Done, int TimeoutMs = CycleBoundMs)
    {
        return RunEventsUntil(Done, TimeoutMs, 10);
    }

    // Waits for the end of the cycle in flight and then for one whole cycle more.
    static bool runWholeCycle()
    {
        if (!runUntil([] { return !PollingBusy; }))
            return false;
        return runUntil([] { return PollingBusy; }) && runUntil([] { return !PollingBusy; });
    }

    const QAbstractItemModel& model() const
    {
        const auto* view = window->findChild<QTableView*>(QStringLiteral("StringGridDeviceList"));
        EXPECT_NE(view, nullptr);
        return *view->model();
    }
    QString cell(int Row, int Column) const { return model().index(Row, Column).data().toString(); }
    // The status the table draws for a row.
    int shownStatus(int Row) const
    {
        const auto* row =
            model().index(Row, 1).data(TDeviceTableModel::TableDeviceRole).value<TTableDevice*>();
        return row ? row->Status : -1;
    }

    static TTableDevice& row(quint16 Serial) { return RowOf(Serial); }
    static int points(quint16 Serial, int Channel)
    {
        return row(Serial).Device->Channel(Channel).GraphLine->Series->Count();
    }

    // Frames the PC sent to Serial whose first item reads Register.
    int framesTo(quint16 Serial, quint16 Register) const
    {
        int n = 0;
        for (const SentFrame& f : parseFrames(sim.Received()))
            n += f.Dest == Serial && f.FirstRegister() == Register;
        return n;
    }
    QList<quint16> registersReadFrom(quint16 Serial) const
    {
        QList<quint16> regs;
        for (const SentFrame& f : parseFrames(sim.Received())) {
            if (f.Dest == Serial)
                regs << f.FirstRegister();
        }
        return regs;
    }

    QStringList journalLines() const { return JournalLines(*journal); }

    CountingSound sound;
    ScopedSoundOut soundScope{sound};
};

} // namespace

TEST_F(Application, RowsShowTypesCommentsStatusesFaultsAndTheAlarm)
{
    addDevice(1234, 1, [](SimDevice& d) {
        d.SetComment(QStringLiteral("Котельная"));
        d.SetWaveform(1, SimWaveform::Constant(250));
        d.SetWaveform(2, SimWaveform::Constant(21));
        d.SetFaultRegister(0x21); // bits 0 and 5: journalled, no effect on the values
    });
    // Limits 10..90: 88 lies within a tenth of the range below the high limit.
    addDevice(2001, 2, [](SimDevice& d) {
        d.SetWaveform(1, SimWaveform::Constant(88));
        d.SetWaveform(2, SimWaveform::Constant(5));
    });
    addDevice(2002, 2, [](SimDevice& d) {
        d.SetAlarmLimits(1, 0, 100);
        d.SetWaveform(1, SimWaveform::Constant(150));
        d.SetWaveform(2, SimWaveform::Constant(5));
    });
    const QString ini = writeSettings({1234, 2001, 2002});
    startApplication(ini);
    EXPECT_EQ(window->TimerPoll().interval(), 500);
    ASSERT_EQ(model().rowCount(), 3);
    for (int r = 0; r < 3; ++r)
        EXPECT_EQ(shownStatus(r), dsNoLink) << r;
    EXPECT_EQ(cell(0, 4), QStringLiteral("--"));

    startPolling();
    EXPECT_EQ(window->StatusPanelText(0), QStringLiteral("Непрерывный опрос"));
    EXPECT_EQ(startStopAction().text(), QStringLiteral("Прекратить"));
    // The first cycle reads the configuration; the limits count from the next one.
    ASSERT_TRUE(runUntil([this] { return shownStatus(2) == dsAlarm; }));
    ASSERT_TRUE(runUntil([this] { return shownStatus(1) == dsWarning; }));
    EXPECT_EQ(shownStatus(0), dsOk);

    EXPECT_EQ(cell(0, 3), QStringLiteral("01234"));
    EXPECT_EQ(cell(0, 4), DeviceTypeThermo);
    // The comment register is blank-padded to 32 characters; blanks are kept.
    EXPECT_EQ(cell(0, 7), QStringLiteral("Котельная").leftJustified(32));
    EXPECT_EQ(cell(1, 4), DeviceTypeUnified);
    EXPECT_EQ(cell(1, 7), QStringLiteral("Имитатор 2001").leftJustified(32));
    EXPECT_EQ(cell(2, 3), QStringLiteral("02002"));
    EXPECT_EQ(cell(2, 4), DeviceTypeUnified);
    EXPECT_EQ(row(2001).Device->Channel1->LimitState, 2);
    EXPECT_EQ(row(2002).Device->Channel1->LimitState, 4);
    EXPECT_FLOAT_EQ(row(2002).Device->Channel1->MaxAlert, 100);
    EXPECT_FLOAT_EQ(row(1234).Device->Channel1->Value, 250);
    EXPECT_EQ(AlarmKind, 1);
    EXPECT_EQ(sound.sounds, 1);

    // Staying in alarm does not sound again.
    ASSERT_TRUE(runWholeCycle());
    ASSERT_TRUE(runWholeCycle());
    EXPECT_EQ(shownStatus(2), dsAlarm);
    EXPECT_EQ(sound.sounds, 1);

    // Back inside the limits rearms it; the fault bits clear meanwhile.
    sim.Modem().WithDevice(2002, [](SimDevice& d) { d.SetWaveform(1, SimWaveform::Constant(50)); });
    sim.Modem().WithDevice(1234, [](SimDevice& d) { d.SetFaultRegister(0); });
    ASSERT_TRUE(runUntil([this] { return shownStatus(2) == dsOk; }));
    EXPECT_EQ(AlarmKind, 0);
    sim.Modem().WithDevice(2002, [](SimDevice& d) { d.SetWaveform(1, SimWaveform::Constant(-5)); });
    ASSERT_TRUE(runUntil([this] { return shownStatus(2) == dsAlarm; }));
    EXPECT_EQ(row(2002).Device->Channel1->LimitState, 3);
    EXPECT_EQ(AlarmKind, 1);
    EXPECT_EQ(sound.sounds, 2);
    EXPECT_EQ(shownStatus(1), dsWarning);

    // Fault bits: each change one line, bits in order, nothing repeated.
    const QString s = QStringLiteral("01234");
    EXPECT_EQ(journalLines(),
              (QStringList{FaultRaised(s, 0), FaultRaised(s, 5), FaultCleared(s, 0), FaultCleared(s, 5)}));
    EXPECT_TRUE(PollingActive);
    EXPECT_TRUE(prompts.Shown.isEmpty());
    EXPECT_FALSE(warning->isVisible());

    // Closing the main window stops polling, frees the link and stores the geometry.
    window->close();
    EXPECT_FALSE(PollingActive);
    EXPECT_FALSE(Connection);
    EXPECT_TRUE(DevArray.empty());
    EXPECT_GT(IniFile(ini).ReadInteger(QStringLiteral("General"), QStringLiteral("WindowWidth"), -1), 0);
}

TEST_F(Application, SilentDeviceCostsThreeAttemptsAndIsReadAgainOnceItAnswers)
{
    addDevice(1234, 1);
    addDevice(1235, 1);
    startApplication(writeSettings({1234, 1235}));
    startPolling();
    ASSERT_TRUE(runUntil([] { return row(1234).Status != dsNoLink && row(1235).Status != dsNoLink; }));

    // Between two devices no exchange is under way, so every frame from here on
    // is recorded and lost.
    ASSERT_TRUE(sim.Modem().SetFault(1235, SimFault::Silence()));
    sim.ClearRecords();
    ASSERT_TRUE(runUntil([this] { return shownStatus(1) == dsNoLink; }));
    // The last try may still be on its way to the simulator.
    runUntil([this] { return framesTo(1235, RegCurrentValues) >= 3; });
    EXPECT_EQ(framesTo(1235, RegCurrentValues), 3);
    EXPECT_EQ(registersReadFrom(1235),
              (QList<quint16>{RegCurrentValues, RegCurrentValues, RegCurrentValues}));

    // From the next cycle on only its identification is asked for, three times a
    // cycle, while the other device goes on.
    const int othersBefore = framesTo(1234, RegCurrentValues);
    ASSERT_TRUE(runUntil([this] { return framesTo(1235, RegIdentification) >= 3 && !PollingBusy; }));
    const int ids = framesTo(1235, RegIdentification);
    EXPECT_EQ(ids % 3, 0) << ids;
    EXPECT_EQ(framesTo(1235, RegCurrentValues), 3);
    EXPECT_GT(framesTo(1234, RegCurrentValues), othersBefore);
    EXPECT_TRUE(PollingActive);
    EXPECT_EQ(shownStatus(0), dsOk);
    // The failed read itself does not reload the table; the next device's does.
    EXPECT_EQ(cell(1, 4), QStringLiteral("--"));
    const QStringList timeout{
        QStringLiteral("Превышен таймаут ожидания ответа при обмене с устройством сер.№ 01235")};
    EXPECT_EQ(journalLines(), timeout);

    // Answering again: identification, values, configuration in the next cycle.
    ASSERT_TRUE(sim.Modem().SetFault(1235, SimFault::None()));
    sim.ClearRecords();
    ASSERT_TRUE(runUntil([this] { return shownStatus(1) == dsOk; }));
    // A try repeated after a reply lost to a stalled machine asks the same.
    QList<quint16> asked = registersReadFrom(1235);
    asked.erase(std::unique(asked.begin(), asked.end()), asked.end());
    EXPECT_EQ(asked.mid(0, 3), (QList<quint16>{RegIdentification, RegCurrentValues, RegConfig}));
    EXPECT_EQ(cell(1, 4), DeviceTypeThermo);
    EXPECT_EQ(journalLines(), timeout);
}

TEST_F(Application, BadRepliesAreJournalledOnceInARowAndPollingGoesOn)
{
    addDevice(1234, 1);
    addDevice(3001, 1, [](SimDevice& d) { d.SetFault(SimFault::BadCrc()); });
    addDevice(3002, 1, [](SimDevice& d) { d.SetFault(SimFault::WrongLength()); });
    addDevice(3003, 1, [](SimDevice& d) { d.SetFault(SimFault::OtherSource(3013)); });
    addDevice(3004, 1, [](SimDevice& d) {
        d.SetWaveform(1, SimWaveform::Constant(std::numeric_limits<float>::quiet_NaN()));
        d.SetWaveform(2, SimWaveform::Constant(21));
    });
    // Identification blocks that name another serial number and an unknown type.
    addDevice(3005, 2, [](SimDevice& d) { d.SetRegisters(SimDevice::RegSerialNumber, be16(3015)); });
    addDevice(3006, 1, [](SimDevice& d) { d.SetRegisters(SimDevice::RegDeviceType, be16(7)); });
    // 3007 is not on the air at all.
    startApplication(writeSettings({1234, 3001, 3002, 3003, 3004, 3005, 3006, 3007}));
    startPolling();

    // Three cycles: every error repeats at least twice after its first line.
    const QString nan =
        QStringLiteral("Получено нечисловое значение при чтении значения канала 1 устройства сер.№ 03004");
    ASSERT_TRUE(runUntil([&] { return journalLines().count(nan) >= 2 && !PollingBusy; }, 3 * CycleBoundMs));

    QStringList others = journalLines();
    others.removeAll(nan);
    EXPECT_EQ(others,
              (QStringList{
                  QStringLiteral(
                      "Ошибка контрольной суммы полученного пакета! при обмене с устройством сер.№ 03001"),
                  QStringLiteral("Получен пакет неверной длины! при обмене с устройством сер.№ 03002"),
                  QStringLiteral(
                      "Получен пакет от другого устройства (№3013)! при обмене с устройством сер.№ 03003"),
                  QStringLiteral("Неверный серийный номер 03015 для устройства с серийным номером 03005 при "
                                 "чтении конфигурации устройства сер.№ 03005"),
                  QStringLiteral("Превышен таймаут ожидания ответа при обмене с устройством сер.№ 03007"),
              }))
        << journalLines().join(QLatin1Char('\n')).toStdString();

    // The reply from another device also opened the warning window.
    EXPECT_TRUE(warning->isVisible());
    EXPECT_EQ(
        warning->MessageText(),
        QStringLiteral("Получен пакет от другого устройства (№3013), возможно на данном радиоканале работает "
                       "другой радиомодем"));

    // A non-numeric value: a line on every read once the channel is known to be
    // enabled (the first read comes before the configuration), nothing stored.
    const int reads3004 = framesTo(3004, RegCurrentValues);
    EXPECT_EQ(journalLines().count(nan), reads3004 - 1);
    EXPECT_EQ(points(3004, 1), 0);
    EXPECT_FLOAT_EQ(row(3004).Device->Channel1->Value, 0);
    EXPECT_EQ(points(3004, 2), reads3004 - 1);

    // The table: only the sound devices are linked; the rest show no link.
    const int expected[] = {dsOk, dsNoLink, dsNoLink, dsNoLink, dsOk, dsNoLink, dsNoLink, dsNoLink};
    for (int r = 0; r < 8; ++r)
        EXPECT_EQ(shownStatus(r), expected[r]) << r;
    EXPECT_EQ(cell(5, 4), QStringLiteral("--"));
    // The wrong serial's reply still gave its device type; the unknown type ends the
    // read after the identification, every cycle.
    EXPECT_EQ(row(3005).Device->DeviceType, TDeviceType::UnifiedInputs);
    EXPECT_EQ(row(3006).Device->DeviceType, TDeviceType::Unknown);
    const QList<quint16> asked3006 = registersReadFrom(3006);
    EXPECT_GE(asked3006.size(), 3);
    EXPECT_EQ(asked3006.count(RegIdentification), asked3006.size());

    EXPECT_TRUE(PollingActive);
    EXPECT_GE(points(1234, 1), 2);
}

TEST_F(Application, LostPortStopsPollingAndStartingAgainReopensIt)
{
    addDevice(1234, 1);
    addDevice(1235, 1);
    startApplication(writeSettings({1234, 1235}));
    startPolling();
    ASSERT_TRUE(runUntil([] { return row(1234).Status != dsNoLink && row(1235).Status != dsNoLink; }));

    // Mid-cycle: the first device has been read in this cycle, the second not yet.
    ASSERT_TRUE(runUntil([] { return !PollingBusy; }));
    const int before = framesTo(1234, RegCurrentValues);
    ASSERT_TRUE(runUntil([&] { return PollingBusy && framesTo(1234, RegCurrentValues) > before; }));
    sim.DropPort();
    ASSERT_TRUE(runUntil([] { return !PollingActive && !PollingBusy; }));

    EXPECT_EQ(window->StatusPanelText(1), QStringLiteral("Соединение с радиомодулем не установлено"));
    EXPECT_EQ(window->StatusPanelText(0), QStringLiteral("Опрос остановлен"));
    EXPECT_EQ(startStopAction().text(), QStringLiteral("Начать"));
    EXPECT_FALSE(window->TimerPoll().isActive());
    EXPECT_FALSE(Connection->Connected);
    for (int r = 0; r < 2; ++r) {
        EXPECT_EQ(shownStatus(r), dsNoLink) << r;
        EXPECT_EQ(cell(r, 4), QStringLiteral("--")) << r;
    }
    ASSERT_EQ(journalLines().size(), 1);
    EXPECT_TRUE(journalLines()[0].startsWith(QStringLiteral("Ошибка"))) << journalLines()[0].toStdString();
    EXPECT_TRUE(journalLines()[0].endsWith(QStringLiteral(" при обмене с устройством сер.№ 01235")))
        << journalLines()[0].toStdString();

    // While the modem is away starting is refused.
    startStopAction().trigger();
    EXPECT_FALSE(PollingActive);
    EXPECT_EQ(prompts.Shown, QStringList{QStringLiteral("Внимание|Не удалось подключиться к СОМ-порту!")});
    ASSERT_FALSE(ConnectionError.isEmpty());
    EXPECT_EQ(journalLines().last(), ConnectionError + QStringLiteral(" при соединении с СОМ-портом"));

    // Back: starting opens the port again and the devices are read afresh.
    QString err;
    ASSERT_TRUE(sim.RestorePort(err)) << err.toStdString();
    startPolling();
    EXPECT_TRUE(Connection->Connected);
    ASSERT_TRUE(runUntil([this] { return shownStatus(0) == dsOk && shownStatus(1) == dsOk; }));
    EXPECT_EQ(cell(1, 4), DeviceTypeThermo);
}

TEST_F(Application, IntervalModePollsOnlyOnTheTimer)
{
    addDevice(1234, 1);
    addDevice(1235, 1);
    startApplication(writeSettings({1234, 1235}, QStringLiteral("[Polling]\nMode=1\nUnits=1\nValue=5\n")));
    EXPECT_EQ(window->TimerPoll().interval(), 300000);
    EXPECT_TRUE(window->TimerPoll().isActive());

    // Starting runs the first cycle at once. Frames are counted as cycles only
    // through the values stored: a reply lost to a stalled machine costs a try more.
    startPolling();
    EXPECT_EQ(window->StatusPanelText(0), QStringLiteral("Опрос с интервалом 5 минут"));
    ASSERT_TRUE(runUntil([] { return !PollingBusy; }));
    EXPECT_EQ(row(1234).Status, dsOk);
    EXPECT_EQ(row(1235).Status, dsOk);
    const int first1234 = framesTo(1234, RegCurrentValues);
    const int first1235 = framesTo(1235, RegCurrentValues);
    EXPECT_GE(first1234, 1);

    // Nothing is left pending, and the next tick is minutes away, not the half
    // second after which continuous mode begins another cycle.
    QCoreApplication::processEvents();
    EXPECT_GT(window->TimerPoll().remainingTime(), 60000);
    EXPECT_EQ(framesTo(1234, RegCurrentValues), first1234);
    EXPECT_EQ(framesTo(1235, RegCurrentValues), first1235);
    EXPECT_EQ(points(1234, 1), 0);

    // A tick polls every device once; a tick while that cycle runs does nothing.
    window->Polling().TimerPollTimer();
    EXPECT_TRUE(PollingBusy);
    window->Polling().TimerPollTimer();
    ASSERT_TRUE(runUntil([] { return !PollingBusy; }));
    EXPECT_GT(framesTo(1234, RegCurrentValues), first1234);
    EXPECT_GT(framesTo(1235, RegCurrentValues), first1235);
    EXPECT_EQ(points(1234, 1), 1);
    EXPECT_EQ(points(1235, 1), 1);
    EXPECT_EQ(window->StatusPanelText(1), QString());
    EXPECT_TRUE(journalLines().isEmpty()) << journalLines().join(QLatin1Char('\n')).toStdString();
}
