#include "core/Logging.h"
#include "core/Sound.h"
#include "dispatcher/DeviceConfigWindow.h"
#include "dispatcher/DeviceDispatcher.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/MenuIcons.h"
#include "platform/IniFile.h"
#include "platform/Prompts.h"
#include "support/CountingSound.h"
#include "support/NoModemPorts.h"
#include "support/QStringPrinter.h"
#include "support/RecordingHooks.h"
#include "support/ScriptedPrompts.h"
#include "support/SharedState.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class MainWindowStart : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        PublishNoModemPorts(dir.path());
        Prompts::SetCurrent(&prompts);
    }
    void TearDown() override
    {
        window.reset();
        Prompts::SetCurrent(nullptr);
        qunsetenv("KLOV_PORTS_DIR");
        ResetDispatcherState();
    }

    void start(const QStringList& extraArgs)
    {
        window = std::make_unique<TFormDeviceDispatcher>(QStringList{QStringLiteral("/opt/klov/klov")} +
                                                         extraArgs);
        window->show();
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }

    QString writeIni(const QString& text)
    {
        const QString path = dir.filePath(QStringLiteral("klov.ini"));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(text.toUtf8());
        return path;
    }

    QTemporaryDir dir;
    ScriptedPrompts prompts;
    std::unique_ptr<TFormDeviceDispatcher> window;
};

} // namespace

TEST_F(MainWindowStart, RefusedSettingsFileEndsTheRunWithoutWritingAnything)
{
    const QString ini = dir.filePath(QStringLiteral("missing.ini"));
    start({QStringLiteral("-ini=") + ini});
    EXPECT_EQ(prompts.ProposedIni, ini);
    ASSERT_EQ(prompts.Messages.size(), 1);
    EXPECT_EQ(prompts.Messages[0], QStringLiteral("Внимание!|Не удалось создать файл настроек программы. "
                                                  "Дальнейшая работа невозможна."));
    EXPECT_TRUE(window->TerminateRequested());
    EXPECT_EQ(prompts.FolderAsked, 0);
    window->close();
    EXPECT_FALSE(QFile::exists(ini));
}

TEST_F(MainWindowStart, FolderWithArchiveFilesIsUsedOnlyAfterTheOperatorAgrees)
{
    const QString used = dir.filePath(QStringLiteral("old"));
    const QString fresh = dir.filePath(QStringLiteral("fresh"));
    QDir().mkpath(used);
    QDir().mkpath(fresh);
    QFile(used + QStringLiteral("/Devices.cds")).open(QIODevice::WriteOnly);
    const QString ini = writeIni(QStringLiteral("; hand-made\n[Communication]\nRFChannel=17\n"));
    prompts.Folders = {used, fresh};
    prompts.YesAnswers = {false};

    start({QStringLiteral("/INI:") + ini, QStringLiteral("-pwd=2719460853")});
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Кловарис (канал радиомодема №17)"));
    EXPECT_TRUE(SuperuserMode);
    EXPECT_EQ(prompts.FolderAsked, 2);
    EXPECT_EQ(
        prompts.Questions,
        QStringList{QStringLiteral("В указанной папке найдены файлы архива. Использовать найденные файлы?")});
    EXPECT_TRUE(prompts.Messages.isEmpty());
    EXPECT_FALSE(window->TerminateRequested());
    EXPECT_EQ(ArchivePath, fresh);
    EXPECT_EQ(IniFile(ini).ReadString(QStringLiteral("Archive"), QStringLiteral("ArchivePath"), QString()),
              fresh);
    EXPECT_TRUE(window->TimerPoll().isActive());
    EXPECT_EQ(window->TimerPoll().interval(), 500);
    EXPECT_EQ(window->StatusPanelText(0), QStringLiteral("Опрос остановлен"));
}

TEST_F(MainWindowStart, WrongServiceCodeLeavesServiceModeOff)
{
    QDir().mkpath(dir.filePath(QStringLiteral("arch")));
    const QString ini =
        writeIni(QStringLiteral("[Archive]\nArchivePath=") + dir.filePath(QStringLiteral("arch")) + "\n");
    start({QStringLiteral("-ini=") + ini, QStringLiteral("-pwd=2719460854")});
    EXPECT_FALSE(SuperuserMode);
    EXPECT_EQ(prompts.FolderAsked, 0);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Кловарис (канал радиомодема №16)"));
}

namespace {

// A started main window with an archive folder, so no question is asked.
class MainWindowActions : public MainWindowStart
{
protected:
    void SetUp() override
    {
        MainWindowStart::SetUp();
        QDir().mkpath(dir.filePath(QStringLiteral("arch")));
        ini = writeIni(
            QStringLiteral("[Archive]\nArchivePath=") + dir.filePath(QStringLiteral("arch")) +
            QStringLiteral("\n[Devices]\nDevicesList=11,12\n[Polling]\nMode=1\nUnits=0\nValue=10\n"));
        start({QStringLiteral("-ini=") + ini});
    }
    void TearDown() override
    {
        PollingActive = false;
        LogDebugInfo = false;
        AlarmKind = 0;
        SoundRepeatMode = TSoundRepeatMode::Once;
        MainWindowStart::TearDown();
    }

    QAction* action(const char* name) const { return window->findChild<QAction*>(QString::fromLatin1(name)); }

    QString ini;
};

} // namespace

TEST_F(MainWindowActions, PollingStateShowsInTheActionAndTheStatusBar)
{
    QAction* startStop = action("ActionStartStopPolling");
    ASSERT_TRUE(startStop);
    EXPECT_EQ(startStop->text(), QStringLiteral("Начать"));
    EXPECT_EQ(startStop->toolTip(), QStringLiteral("Начать опрос"));

    PollingActive = true;
    window->UpdatePollingActionState();
    EXPECT_EQ(startStop->text(), QStringLiteral("Прекратить"));
    EXPECT_EQ(startStop->toolTip(), QStringLiteral("Прекратить опрос"));
    EXPECT_EQ(window->StatusPanelText(0), QStringLiteral("Опрос с интервалом 10 секунд"));
    EXPECT_EQ(window->TimerPoll().interval(), 10000);

    PollingActive = false;
    window->UpdatePollingActionState();
    EXPECT_EQ(window->StatusPanelText(0), QStringLiteral("Опрос остановлен"));
}

TEST_F(MainWindowActions, ArchiveRefusesDuringPollingAndWithoutVisibleSelection)
{
    PollingActive = true;
    action("ActionOpenArchive")->trigger();
    EXPECT_EQ(prompts.Messages,
              QStringList{QStringLiteral("Внимание|Работа с архивом недоступна в режиме опроса")});

    PollingActive = false;
    prompts.Messages.clear();
    ASSERT_EQ(DevArray.size(), 2u);
    DevArray[0]->Selected = true;
    DevArray[0]->Hidden = true;
    action("ActionOpenArchive")->trigger();
    EXPECT_EQ(prompts.Messages,
              QStringList{QStringLiteral(
                  "Внимание|Не выбраны устройства, для которых будут извлекаться данные из архива!")});
}

TEST_F(MainWindowActions, DebugLogToggledTwiceEndsOffAndUnchecked)
{
    QAction* log = action("ActionLogDebugInfo");
    log->trigger();
    EXPECT_TRUE(LogDebugInfo);
    EXPECT_TRUE(log->isChecked());
    log->trigger();
    EXPECT_FALSE(LogDebugInfo);
    EXPECT_FALSE(log->isChecked());
}

TEST_F(MainWindowActions, AlarmRepetitionStopsWithinOnePeriodOnceSwitchedOff)
{
    CountingSound sound;
    ScopedSoundOut scope(sound);
    SoundMode = TSoundMode::Speaker;
    SoundRepeatMode = TSoundRepeatMode::Repeat;
    AlarmKind = 1;
    window->EnableSoundRepeatTimer();
    ASSERT_TRUE(window->TimerSoundRepeating.isActive());
    EXPECT_EQ(window->TimerSoundRepeating.interval(), 5000);

    // Ticks are driven by hand: no real five-second waits.
    window->TimerSoundRepeatingTimer();
    EXPECT_EQ(sound.sounds, 1);
    SoundRepeatMode = TSoundRepeatMode::Once;
    window->TimerSoundRepeatingTimer();
    EXPECT_EQ(sound.sounds, 1);
    EXPECT_FALSE(window->TimerSoundRepeating.isActive());
}

TEST_F(MainWindowActions, ClosingWhilePollingStopsPollingThenSavesTheGeometry)
{
    PollingActive = true;
    window->close();
    EXPECT_FALSE(PollingActive);
    EXPECT_TRUE(DevArray.empty());
    EXPECT_FALSE(Connection);
    const IniFile file(ini);
    EXPECT_EQ(file.ReadInteger(QStringLiteral("General"), QStringLiteral("WindowWidth"), -1),
              window->width());
    EXPECT_EQ(file.ReadInteger(QStringLiteral("General"), QStringLiteral("WindowHeight"), -1),
              window->height());
    // Every other line stays.
    EXPECT_EQ(file.ReadString(QStringLiteral("Devices"), QStringLiteral("DevicesList"), QString()),
              QStringLiteral("11,12"));
}

TEST_F(MainWindowActions, ClosingDuringAFirmwareUpdateAsksFirst)
{
    struct UpdatingConfigWindow : IDeviceConfigWindow
    {
        bool ShowsDevice(const TDevice&) const override { return false; }
        void UpdateCurrentValues() override {}
        void UpdateAllValues() override {}
        bool FwUpdateActive() const override { return false; }
        bool CalibrBusy() const override { return false; }
        bool FwUpdateRunning() const override { return true; }
    } config;
    window->SetDeviceConfigWindow(&config);
    prompts.YesAnswers = {false, true};

    // No: nothing of the shutdown happens, the update goes on.
    EXPECT_FALSE(window->close());
    EXPECT_EQ(prompts.Questions, QStringList{QStringLiteral("Прервать процедуру обновления ПО?")});
    EXPECT_EQ(DevArray.size(), 2u);
    EXPECT_EQ(IniFile(ini).ReadInteger(QStringLiteral("General"), QStringLiteral("WindowWidth"), -1), -1);

    // Yes: the shutdown as usual.
    EXPECT_TRUE(window->close());
    EXPECT_TRUE(DevArray.empty());
    window->SetDeviceConfigWindow(nullptr);
}

TEST_F(MainWindowStart, WindowComesBackWhereItWasClosed)
{
    QDir().mkpath(dir.filePath(QStringLiteral("arch")));
    const QString ini =
        writeIni(QStringLiteral("[Archive]\nArchivePath=") + dir.filePath(QStringLiteral("arch")) +
                 QStringLiteral("\n[General]\nWindowHeight=345\nWindowWidth=876\n"
                                "WindowXPos=21\nWindowYPos=43\n"));
    start({QStringLiteral("-ini=") + ini});
    EXPECT_EQ(window->width(), 876);
    EXPECT_EQ(window->height(), 345);
    EXPECT_EQ(window->pos(), QPoint(21, 43));
    window->resize(700, 400);
    window->close();
    EXPECT_EQ(IniFile(ini).ReadInteger(QStringLiteral("General"), QStringLiteral("WindowWidth"), -1), 700);
}

namespace {

// Records what the shutdown asked of the archive and what stood at that moment.
class RecordingArchiveWindow : public IArchiveWindow
{
public:
    explicit RecordingArchiveWindow(QString IniFile) : Ini(std::move(IniFile)) {}

    IArchiveWriter& ArchiveWriter() override { return Writer; }
    bool OpenArchiveFiles() override
    {
        ++Opened;
        return true;
    }
    void CloseArchiveFiles() override
    {
        PollingWhenClosed = PollingActive;
        GeometryWhenClosed =
            IniFile(Ini).ValueExists(QStringLiteral("General"), QStringLiteral("WindowWidth"));
        RowsWhenClosed = int(DevArray.size());
        ++Closed;
    }
    void ShowArchiveViewer() override { ++Viewed; }

    RecordingArchive Writer;
    QString Ini;
    int Opened = 0;
    int Closed = 0;
    int Viewed = 0;
    bool PollingWhenClosed = true;
    bool GeometryWhenClosed = true;
    int RowsWhenClosed = -1;
};

} // namespace

TEST_F(MainWindowActions, ShutdownStopsPollingClosesTheArchiveFreesRowsThenSavesGeometry)
{
    RecordingArchiveWindow archive(ini);
    window->SetArchiveWindow(&archive);
    EXPECT_EQ(window->ArchiveWriter(), &archive.Writer);
    // Every row is announced while it still stands, so the configuration window lets go of it.
    QList<quint16> told;
    QObject::connect(window.get(), &TFormDeviceDispatcher::DeviceRowDeleting, window.get(),
                     [&told](TTableDevice* Row) {
                         EXPECT_EQ(DevArray.size(), 2u);
                         told << Row->Device->SerialNum;
                     });
    PollingActive = true;
    window->close();
    EXPECT_EQ(told.size(), 2);
    EXPECT_EQ(archive.Closed, 1);
    EXPECT_FALSE(archive.PollingWhenClosed);
    EXPECT_EQ(archive.RowsWhenClosed, 2);
    EXPECT_FALSE(archive.GeometryWhenClosed);
    EXPECT_TRUE(DevArray.empty());
    EXPECT_TRUE(IniFile(ini).ValueExists(QStringLiteral("General"), QStringLiteral("WindowWidth")));
}

TEST_F(MainWindowActions, StartIconBlinksOnlyWhilePollingAndItsTimerAreOff)
{
    QAction* startStop = action("ActionStartStopPolling");
    const qint64 start = TMenuIcons::Icon(TMenuIcons::StartPolling).cacheKey();
    const qint64 dim = TMenuIcons::Icon(TMenuIcons::StartPollingDim).cacheKey();
    EXPECT_EQ(startStop->icon().cacheKey(), start);

    // After the first show the poll timer runs idle: no blinking.
    ASSERT_TRUE(window->TimerPoll().isActive());
    window->TimerBlinkTimer();
    EXPECT_EQ(startStop->icon().cacheKey(), start);

    window->TimerPoll().stop();
    window->TimerBlinkTimer();
    EXPECT_EQ(startStop->icon().cacheKey(), dim);
    EXPECT_EQ(window->TimerBlink.interval(), 500);
    window->TimerBlinkTimer();
    EXPECT_EQ(startStop->icon().cacheKey(), start);
    EXPECT_EQ(window->TimerBlink.interval(), 2000);

    PollingActive = true;
    window->UpdatePollingActionState();
    EXPECT_EQ(startStop->icon().cacheKey(), TMenuIcons::Icon(TMenuIcons::StopPolling).cacheKey());
    window->TimerBlinkTimer();
    EXPECT_EQ(startStop->icon().cacheKey(), TMenuIcons::Icon(TMenuIcons::StopPolling).cacheKey());
}

namespace {

// Chart windows as the main window sees them, recording what it asks.
class RecordingGraphicWindows : public IGraphicWindows
{
public:
    TFormGraphic* FindOrCreateGraphicForm(const QString& QuantityName, const QString& MeasUnitName) override
    {
        calls << QStringLiteral("find ") + QuantityName + QLatin1Char('|') + MeasUnitName;
        return nullptr;
    }
    IParentChart* GraphicChart(TFormGraphic*) override { return nullptr; }
    void ShowAllGraphicForms() override { calls << QStringLiteral("show"); }
    void ReshowOpenGraphicForms() override { calls << QStringLiteral("reshow"); }
    void CloseAllGraphicForms() override { calls << QStringLiteral("close"); }
    bool GetChartAxisRange(const TGraphLine&, TChartAxis, double& Min, double& Max) const override
    {
        Min = 1;
        Max = 2;
        return true;
    }
    void SetChartAxisRange(const TGraphLine& Line, TChartAxis, double Min, double Max) override
    {
        calls << QStringLiteral("range ") + Line.Title + QLatin1Char(' ') + QString::number(Min) +
                     QLatin1Char(' ') + QString::number(Max);
    }
    void MarkChartOverflow(const TGraphLine& Line, bool OverMin, bool OverMax) override
    {
        calls << QStringLiteral("mark ") + Line.Title + QString::number(OverMin) + QString::number(OverMax);
    }

    QStringList calls;
};

} // namespace

TEST_F(MainWindowActions, ChartActionAsksForDataAndShutdownClosesTheChartWindows)
{
    RecordingGraphicWindows charts;
    window->SetGraphicWindows(&charts);
    action("ActionShowGraphic")->trigger();
    EXPECT_EQ(prompts.Messages,
              QStringList{
                  QStringLiteral("Внимание!|Нет данных для отображения или не выбраны устройства в списке")});
    EXPECT_TRUE(charts.calls.isEmpty());

    prompts.Messages.clear();
    ASSERT_EQ(DevArray.size(), 2u);
    DevArray[1]->Selected = true;
    DevArray[1]->Device->Channel2->Enabled = true;
    DevArray[1]->Device->Channel2->QuantityName = QStringLiteral("Температура");
    DevArray[1]->Device->Channel2->MeasUnitName = QStringLiteral("°C");
    action("ActionShowGraphic")->trigger();
    EXPECT_TRUE(prompts.Messages.isEmpty());
    EXPECT_EQ(charts.calls, (QStringList{QStringLiteral("find Температура|°C"), QStringLiteral("show")}));

    // The polling's chart hooks reach the windows.
    TGraphLine& line = *DevArray[1]->Device->Channel2->GraphLine;
    double min = 0;
    double max = 0;
    EXPECT_TRUE(window->GetChartAxisRange(line, TChartAxis::Left, min, max));
    EXPECT_EQ(max, 2);
    charts.calls.clear();
    window->SetChartAxisRange(line, TChartAxis::Left, 3, 4);
    window->MarkChartOverflow(line, true, false);
    EXPECT_EQ(charts.calls,
              (QStringList{QStringLiteral("range №00012К2 3 4"), QStringLiteral("mark №00012К210")}));

    // A declined delete leaves the chart windows alone; one that removed a row
    // has them shown again.
    charts.calls.clear();
    prompts.YesAnswers = {false};
    action("ActionDeleteDevices")->trigger();
    EXPECT_EQ(DevArray.size(), 2u);
    EXPECT_TRUE(charts.calls.isEmpty());
    prompts.YesAnswers = {true};
    action("ActionDeleteDevices")->trigger();
    EXPECT_EQ(DevArray.size(), 1u);
    EXPECT_EQ(charts.calls, QStringList{QStringLiteral("reshow")});

    charts.calls.clear();
    window->close();
    EXPECT_EQ(charts.calls, QStringList{QStringLiteral("close")});
}
