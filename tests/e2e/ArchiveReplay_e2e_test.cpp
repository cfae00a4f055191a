// Polling the simulated network stores the values in the archive; after polling
// stops, the archive action opens the viewer, which replays them onto archive
// lines of the chart windows.

#include "archive/Archive.h"
#include "charts/Graphic.h"
#include "charts/GraphicForms.h"
#include "core/Device.h"
#include "dispatcher/DeviceDispatcher.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/EepromErrorDialog.h"
#include "dispatcher/Journal.h"
#include "platform/Prompts.h"
#include "support/JournalLines.h"
#include "support/QStringPrinter.h"
#include "support/SharedState.h"
#include "support/SimNetwork.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace {

constexpr int ModemPort = 9;

// Records every box; questions are answered Yes.
class YesPrompts : public Prompts
{
public:
    void Message(QWidget*, const QString& Text, const QString& Caption, QMessageBox::Icon) override
    {
        Shown << Caption + QLatin1Char('|') + Text;
    }
    bool YesNo(QWidget*, const QString& Text, const QString&) override
    {
        Shown << QStringLiteral("?|") + Text;
        return true;
    }

    QStringList Shown;
};

class ArchiveReplay : public SimNetworkTest
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(publishPorts(QStringLiteral("ports")));
        archiveDir = dir.filePath(QStringLiteral("archive"));
        ASSERT_TRUE(QDir().mkpath(archiveDir));
        Prompts::SetCurrent(&prompts);
        ASSERT_TRUE(startSim(ModemPort));
    }

    void TearDown() override
    {
        ConnectNetWarnings(nullptr);
        if (window) {
            window->close();
            archive.reset();
            forms.reset();
            window.reset();
        }
        FormArchive = nullptr;
        ResetDispatcherState();
        Prompts::SetCurrent(nullptr);
        SimNetworkTest::TearDown();
    }

    QString writeSettings(const QList<quint16>& Serials)
    {
        QStringList list;
        for (const quint16 s : Serials)
            list << QString::number(s);
        const QString text = QStringLiteral("[Archive]\nArchivePath=") + archiveDir +
                             QStringLiteral("\n[Devices]\nDevicesList=") + list.join(QLatin1Char(',')) +
                             QStringLiteral("\n[Communication]\nRFMainPort=") + QString::number(ModemPort) +
                             QStringLiteral("\nRFChannel=16\n[Sound]\nSoundMode=0\n");
        const QString path = dir.filePath(QStringLiteral("klov.ini"));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(text.toUtf8()) < 0)
            ADD_FAILURE() << "cannot write " << path.toStdString();
        return path;
    }

    // The windows as the program makes them, then the first show.
    void startApplication(const QString& Ini)
    {
        window = std::make_unique<TFormDeviceDispatcher>(
            QStringList{QStringLiteral("/opt/klov/klov"), QStringLiteral("-ini=") + Ini});
        FormDeviceDispatcher = window.get();
        forms = std::make_unique<TGraphicForms>(window.get());
        window->SetGraphicWindows(forms.get());
        warning = new TFormEepromErrorDialog(window.get());
        FormEepromErrorDialog = warning;
        ConnectNetWarnings(warning);
        archive = std::make_unique<TFormArchive>(window.get());
        FormArchive = archive.get();
        window->SetArchiveWindow(archive.get());
        archive->SetGraphicForms(forms.get());
        journal = new TFormJournal(window.get());
        FormJournal = journal;
        window->show();
        ASSERT_TRUE(RunEventsUntil([this] { return window->TimerPoll().isActive(); }, 5000));
        ASSERT_TRUE(prompts.Shown.isEmpty()) << prompts.Shown.join(QLatin1Char('\n')).toStdString();
    }

    QAction& action(const char* Name) const
    {
        auto* a = window->findChild<QAction*>(QString::fromLatin1(Name));
        EXPECT_NE(a, nullptr) << Name;
        return *a;
    }

    static TTableDevice& row(quint16 Serial)
    {
        for (const auto& r : DevArray) {
            if (r->Device->SerialNum == Serial)
                return *r;
        }
        throw std::runtime_error("no such row");
    }

    QString archiveDir;
    YesPrompts prompts;
    std::unique_ptr<TFormDeviceDispatcher> window;
    std::unique_ptr<TGraphicForms> forms;
    std::unique_ptr<TFormArchive> archive;
    TFormEepromErrorDialog* warning = nullptr;
    TFormJournal* journal = nullptr;
};

} // namespace

TEST_F(ArchiveReplay, PolledValuesComeBackOnTheArchiveLines)
{
    ASSERT_TRUE(sim.Modem().AddDevice(1234, 1, 16));
    ASSERT_TRUE(sim.Modem().WithDevice(1234, [](SimDevice& d) {
        d.SetWaveform(1, SimWaveform::Constant(250.5f));
        d.SetWaveform(2, SimWaveform::Constant(21.25f));
    }));
    ASSERT_TRUE(sim.Modem().AddDevice(2002, 2, 16));
    ASSERT_TRUE(sim.Modem().WithDevice(2002, [](SimDevice& d) {
        d.SetWaveform(1, SimWaveform::Constant(4.5f));
        d.SetWaveform(2, SimWaveform::Constant(7.75f));
    }));
    startApplication(writeSettings({1234, 2002}));

    const TDateTime before = NowTDateTime();
    action("ActionStartStopPolling").trigger();
    ASSERT_TRUE(PollingActive) << ConnectionError.toStdString();
    // Some cycles of stored values for both devices.
    ASSERT_TRUE(RunEventsUntil(
        [] {
            return row(1234).Device->Channel1->GraphLine->Series->Count() >= 4 &&
                   row(2002).Device->Channel2->GraphLine->Series->Count() >= 4;
        },
        20000));
    action("ActionStartStopPolling").trigger();
    ASSERT_TRUE(RunEventsUntil([] { return !PollingActive && !PollingBusy; }, 5000));
    const int polled1234 = row(1234).Device->Channel1->GraphLine->Series->Count();
    const TDateTime after = NowTDateTime();
    const QString ch1Name = row(1234).Device->Channel1->QuantityName;
    QTest::qWait(1100); // the period's end has whole seconds

    // Only device 1234 is selected; the viewer offers the last 24 hours.
    row(1234).Selected = true;
    bool pressed = false;
    QTimer::singleShot(0, archive.get(), [&] {
        pressed = true;
        QTest::mouseClick(archive->findChild<QPushButton*>(QStringLiteral("ButtonAccept")), Qt::LeftButton);
    });
    action("ActionOpenArchive").trigger();
    ASSERT_TRUE(pressed);
    EXPECT_FALSE(archive->isVisible());
    EXPECT_FALSE(ArchiveGraphMode);
    EXPECT_TRUE(JournalLines(*journal).isEmpty())
        << JournalLines(*journal).join(QLatin1Char('\n')).toStdString();

    const auto& lines = archive->ArchiveGraphicLines();
    ASSERT_EQ(lines.size(), 2u) << prompts.Shown.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(lines[0]->Title, QStringLiteral("№01234К1_a"));
    EXPECT_EQ(lines[1]->Title, QStringLiteral("№01234К2_a"));
    // Every polled value of the device came back, with its own value and a
    // stamp of the polling time, in the window of its quantity.
    EXPECT_GE(lines[0]->Series->Count(), polled1234);
    for (int i = 0; i < lines[0]->Series->Count(); ++i) {
        EXPECT_EQ(lines[0]->Series->YValue(i), 250.5);
        EXPECT_GE(lines[0]->Series->XValue(i), before);
        EXPECT_LE(lines[0]->Series->XValue(i), after);
    }
    for (int i = 0; i < lines[1]->Series->Count(); ++i)
        EXPECT_EQ(lines[1]->Series->YValue(i), 21.25);
    ASSERT_NE(lines[0]->GraphForm, nullptr);
    EXPECT_EQ(lines[0]->GraphForm->QuantityName, ch1Name);
    EXPECT_TRUE(lines[0]->GraphForm->isVisible());
    EXPECT_TRUE(lines[0]->Series->Active());
}
