// Polling the simulated network stores the values in the archive; after polling
// stops, the archive action opens the viewer, which replays them onto archive
// lines of the chart windows.

#include "archive/Archive.h"
#include "charts/Graphic.h"
#include "charts/GraphicForms.h"
#include "core/DateTime.h"
#include "core/Device.h"
#include "dispatcher/DeviceDispatcher.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/EepromErrorDialog.h"
#include "dispatcher/Journal.h"
#include "platform/Prompts.h"
#include "support/AppWindowTest.h"
#include "support/JournalLines.h"
#include "support/QStringPrinter.h"
#include "support/SharedState.h"
#include "support/SimNetwork.h"

#include <QAction>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace {

constexpr int ModemPort = 9;

class ArchiveReplay : public AppWindowTest
{
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(startNetwork(ModemPort)); }

    QString writeSettings(const QList<quint16>& Serials)
    {
        return writeIni(Serials, QStringLiteral("[Sound]\nSoundMode=0\n"));
    }

    // The chart windows and the archive viewer.
    void makeMoreWindows() override
    {
        forms = std::make_unique<TGraphicForms>(window.get());
        window->SetGraphicWindows(forms.get());
        archive = std::make_unique<TFormArchive>(window.get());
        FormArchive = archive.get();
        window->SetArchiveWindow(archive.get());
        archive->SetGraphicForms(forms.get());
    }
    void closeMoreWindows() override
    {
        archive.reset();
        forms.reset();
        FormArchive = nullptr;
    }

    QAction& action(const char* Name) const
    {
        auto* a = window->findChild<QAction*>(QString::fromLatin1(Name));
        EXPECT_NE(a, nullptr) << Name;
        return *a;
    }

    static TTableDevice& row(quint16 Serial) { return RowOf(Serial); }

    std::unique_ptr<TGraphicForms> forms;
    std::unique_ptr<TFormArchive> archive;
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
    // The offered period ends at the whole second the viewer opens in: that second
    // must come after the last polled value.
    const auto wholeSecondNow = [] {
        QDateTime now = QDateTime::currentDateTime();
        now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
        return DateTimeToTDateTime(now);
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return wholeSecondNow() >= after; }, 10000))
        << "the clock did not pass the last polled value";

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
