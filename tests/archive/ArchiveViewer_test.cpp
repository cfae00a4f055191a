// The archive viewer window: its refusals, the period it offers, the replay
// onto the chart windows and the exports, driven through its buttons.

#include "ArchiveFixture.h"
#include "archive/Archive.h"
#include "archive/ExcelIO.h"
#include "archive/Export.h"
#include "archive/XlsxRowCount.h"
#include "charts/Graphic.h"
#include "charts/GraphicForms.h"
#include "charts/PlotWidget.h"
#include "core/Device.h"
#include "platform/CodePage.h"
#include "platform/EventPump.h"
#include "support/JournalLines.h"
#include "support/ScriptedPrompts.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimeEdit>

namespace {

const QString Temp = QStringLiteral("Температура");
const QString Deg = QStringLiteral("°C");
const QString Pres = QStringLiteral("Давление");
const QString Kpa = QStringLiteral("кПа");

class NoSpreadsheet : public TSpreadsheetLauncher
{
public:
    bool Available() const override { return available; }
    bool Open(const QString& FileName) override
    {
        opened << FileName;
        return true;
    }
    bool available = false;
    QStringList opened;
};

class ArchiveViewerTest : public ArchiveTest
{
protected:
    ArchiveViewerTest()
    {
        IniFileName = path(QStringLiteral("klov.ini"));
        Prompts::SetCurrent(&prompts);
        TSpreadsheetLauncher::SetCurrent(&launcher);
        form.SetGraphicForms(&forms);
        form.InitArchiveFiles();
    }
    ~ArchiveViewerTest() override
    {
        ClearDevArray();
        PollingActive = false;
        ConnectionError.clear();
        ExportTables.clear();
        IniFileName.clear();
        EventPump::SetHandler({});
        TSpreadsheetLauncher::SetCurrent(nullptr);
        Prompts::SetCurrent(nullptr);
    }

    TTableDevice& addRow(quint16 Serial, bool Selected = true)
    {
        DevArray.push_back(std::make_unique<TTableDevice>(Serial));
        DevArray.back()->Selected = Selected;
        return *DevArray.back();
    }

    void history(qint32 Serial, qint32 Channel, const QString& Quantity, const QString& Unit, double Min,
                 double Max, const QString& Comment = QStringLiteral("Котёл"))
    {
        QString err;
        TArchiveStore& ch = form.Writer().cdsChannels;
        ASSERT_TRUE(ch.Open(err));
        ASSERT_TRUE(ch.AppendChannel({0, 1, Serial, Channel, 0, Min, Max, 0, 0, Quantity, Unit}, err));
        ch.Close();
        TArchiveStore& dev = form.Writer().cdsDevices;
        ASSERT_TRUE(dev.Open(err));
        ASSERT_TRUE(dev.AppendDevice({0, 1, Serial, 2, Comment}, err));
        dev.Close();
    }

    void store(const QDate& Day, const std::vector<TMeasureRecord>& Rows)
    {
        const QString name = path(QStringLiteral("Measures") + Day.toString(QStringLiteral("yyyyMMdd")) +
                                  QStringLiteral(".cds"));
        TArchiveStore s(TArchiveKind::Measures);
        s.SetFileName(name);
        QString err;
        if (!QFile::exists(name)) {
            ASSERT_EQ(s.Create(err), TArchiveStore::TCreateResult::Created);
        }
        ASSERT_TRUE(s.Open(err));
        for (const TMeasureRecord& r : Rows)
            ASSERT_TRUE(s.AppendMeasure(r, err));
    }

    template <class T> T* child(const char* Name)
    {
        T* w = form.findChild<T*>(QString::fromLatin1(Name));
        EXPECT_NE(w, nullptr) << Name;
        return w;
    }

    // Shows the window, sets the period and the destination and presses
    // "Продолжить".
    void run(const QDateTime& From, const QDateTime& To, int Destination)
    {
        form.show();
        child<QDateEdit>("DateTimePickerStartDate")->setDate(From.date());
        child<QTimeEdit>("DateTimePickerStartTime")->setTime(From.time());
        child<QDateEdit>("DateTimePickerEndDate")->setDate(To.date());
        child<QTimeEdit>("DateTimePickerEndTime")->setTime(To.time());
        const char* radios[] = {"RadioDestinationGraph", "RadioDestinationExcel", "RadioDestinationCsv"};
        child<QRadioButton>(radios[Destination])->setChecked(true);
        QTest::mouseClick(child<QPushButton>("ButtonAccept"), Qt::LeftButton);
    }

    // Nothing of a run is left behind.
    void expectIdle()
    {
        EXPECT_FALSE(form.isVisible());
        EXPECT_FALSE(form.Running());
        EXPECT_FALSE(ArchiveGraphMode);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_TRUE(child<QLabel>("LabelWaitDataLoading")->isHidden());
        EXPECT_FALSE(child<QPushButton>("ButtonAccept")->isHidden());
        EXPECT_FALSE(child<QPushButton>("ButtonCancel")->isHidden());
        EXPECT_FALSE(form.Writer().cdsDevices.Active());
        EXPECT_FALSE(form.Writer().cdsChannels.Active());
        EXPECT_FALSE(form.Writer().cdsMeasures.Active());
    }

    // The values of every archive line on the charts.
    std::vector<double> chartValues()
    {
        std::vector<double> v;
        for (const auto& line : form.ArchiveGraphicLines())
            for (int i = 0; i < line->Series->Count(); ++i)
                v.push_back(line->Series->YValue(i));
        return v;
    }

    static QDateTime at(int D, int H, int Mi = 0, int S = 0) { return {QDate(2024, 3, D), QTime(H, Mi, S)}; }
    static TDateTime t(int D, int H, int Mi = 0, int S = 0) { return DateTimeToTDateTime(at(D, H, Mi, S)); }

    ScriptedPrompts prompts;
    NoSpreadsheet launcher;
    QWidget owner;
    TGraphicForms forms{&owner};
    TFormArchive form;
};

TEST_F(ArchiveViewerTest, RefusalsComeInTheirOrderAndEndTheRunBeforeAnyReading)
{
    addRow(7, false);
    history(7, 1, Temp, Deg, 0, 100);
    store(QDate(2024, 3, 5), {{0, 7, t(5, 10), 1, 20}});
    PollingActive = true;

    // No destination: the three radio buttons all off.
    form.show();
    for (const char* name : {"RadioDestinationGraph", "RadioDestinationExcel", "RadioDestinationCsv"}) {
        child<QRadioButton>(name)->setAutoExclusive(false);
        child<QRadioButton>(name)->setChecked(false);
        child<QRadioButton>(name)->setAutoExclusive(true);
    }
    QTest::mouseClick(child<QPushButton>("ButtonAccept"), Qt::LeftButton);
    // The spreadsheet missing comes before polling, polling before the selection.
    run(at(5, 0), at(6, 0), 1);
    launcher.available = true;
    run(at(5, 0), at(6, 0), 1);
    PollingActive = false;
    run(at(5, 0), at(6, 0), 2);
    // A selected row hidden by the filter does not count.
    addRow(8).Hidden = true;
    run(at(5, 0), at(6, 0), 0);
    EXPECT_EQ(prompts.Messages,
              (QStringList{QStringLiteral("Внимание|Не выбран способ отображения данных!"),
                           QStringLiteral("Кловарис|Приложение Microsoft Excel не найдено на компьютере!"),
                           QStringLiteral("Внимание|Работа с архивом недоступна в режиме опроса"),
                           QStringLiteral("Внимание|Не найдены данные измерений для выбранных устройств!"),
                           QStringLiteral("Внимание|Не найдены данные измерений для выбранных устройств!")}));
    EXPECT_EQ(prompts.FolderAsked, 0);
    EXPECT_TRUE(launcher.opened.isEmpty());
    EXPECT_TRUE(form.ArchiveGraphicLines().empty());
    expectIdle();
}

TEST_F(ArchiveViewerTest, EveryShowOffersTheLast24Hours)
{
    form.show();
    child<QDateEdit>("DateTimePickerStartDate")->setDate(QDate(2020, 1, 1));
    child<QTimeEdit>("DateTimePickerEndTime")->setTime(QTime(3, 0));
    QTest::mouseClick(child<QPushButton>("ButtonCancel"), Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());

    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    form.show();
    const QDateTime start(child<QDateEdit>("DateTimePickerStartDate")->date(),
                          child<QTimeEdit>("DateTimePickerStartTime")->time());
    const QDateTime end(child<QDateEdit>("DateTimePickerEndDate")->date(),
                        child<QTimeEdit>("DateTimePickerEndTime")->time());
    EXPECT_EQ(child<QDateEdit>("DateTimePickerStartDate")->date().addDays(1),
              child<QDateEdit>("DateTimePickerEndDate")->date());
    EXPECT_EQ(child<QTimeEdit>("DateTimePickerStartTime")->time(),
              child<QTimeEdit>("DateTimePickerEndTime")->time());
    EXPECT_GE(end, before);
    EXPECT_LE(end, QDateTime::currentDateTime().addSecs(1));
    EXPECT_EQ(child<QDateEdit>("DateTimePickerEndDate")->date(), QDate::currentDate());
    (void)start;
    form.close();
}

TEST_F(ArchiveViewerTest, ThePeriodIsWholeSecondsWithBothEndsAtTheirStart)
{
    // Opening fills the pickers with no milliseconds the display would hide.
    form.show();
    EXPECT_EQ(child<QTimeEdit>("DateTimePickerEndTime")->time().msec(), 0);
    form.close();
    addRow(7);
    history(7, 1, Temp, Deg, -1, 1);
    const auto ms = [](int H, int Mi, int S, int Ms) { return Stamp(2024, 3, 5, H, Mi, S, Ms); };
    store(QDate(2024, 3, 5), {{0, 7, ms(0, 0, 0, 0), 1, 1},
                              {0, 7, ms(10, 0, 0, 0), 1, 2},
                              {0, 7, ms(10, 0, 0, 1), 1, 3},
                              {0, 7, ms(23, 59, 59, 0), 1, 4},
                              {0, 7, ms(23, 59, 59, 500), 1, 5}});
    // Pickers holding milliseconds the operator cannot see.
    const QDate day(2024, 3, 5);
    run({day, QTime(0, 0, 0, 700)}, {day, QTime(23, 59, 59, 700)}, 0);
    EXPECT_EQ(chartValues(), (std::vector<double>{1, 2, 3, 4}));
    // A period of no length takes the value of its very second.
    prompts.YesAnswers = {true};
    run({day, QTime(10, 0, 0, 700)}, {day, QTime(10, 0, 0, 300)}, 0);
    EXPECT_EQ(chartValues(), std::vector<double>{2});
    expectIdle();
}

TEST_F(ArchiveViewerTest, ReplayDrawsArchiveLinesInTheWindowsOfTheirQuantities)
{
    TTableDevice& live = addRow(7);
    addRow(7); // the same device twice in the table counts once
    addRow(9);
    addRow(11, false);
    history(7, 1, Temp, Deg, 10, 30);
    history(7, 2, Temp, Deg, 0, 100);
    history(9, 1, Pres, Kpa, 0, 1);
    history(11, 1, Temp, Deg, 0, 1);
    std::vector<TMeasureRecord> day5, day6;
    for (int i = 0; i < 100; ++i) {
        const TDateTime when = t(5, 23, i / 60, i % 60);
        day5.push_back({0, 7, when, 1, 5.0 + i});
        day5.push_back({0, 7, when, 2, 50});
        day5.push_back({0, 9, when, 1, 0.5});
        day5.push_back({0, 11, when, 1, 0.5});
        day6.push_back({0, 7, t(6, 0, i / 60, i % 60), 1, 1});
    }
    store(QDate(2024, 3, 5), day5);
    store(QDate(2024, 3, 6), day6);

    // A live line with points in the temperature window.
    TFormGraphic* tempForm = forms.FindOrCreateGraphicForm(Temp, Deg);
    TGraphLine& liveLine = *live.Device->Channel1->GraphLine;
    liveLine.GraphForm = tempForm;
    liveLine.Series->SetParentChart(&tempForm->Chart());
    liveLine.Series->AddXY(t(7, 1), 3, Qt::red);
    tempForm->show();
    prompts.YesAnswers = {true};

    // While reading: the chart mode on, the hourglass, the wait label naming
    // the day in place of the buttons, and the archive lines not drawn.
    QStringList seen;
    EventPump::SetHandler([&] {
        QString state = QApplication::overrideCursor() ? QStringLiteral("wait") : QStringLiteral("no cursor");
        state += ArchiveGraphMode ? QStringLiteral(" mode") : QString();
        state += child<QPushButton>("ButtonAccept")->isHidden() ? QString() : QStringLiteral(" buttons");
        for (const auto& line : form.ArchiveGraphicLines())
            state += line->Series->Active() ? QStringLiteral(" drawn") : QString();
        state +=
            QLatin1Char(' ') + child<QLabel>("LabelWaitDataLoading")->text().section(QLatin1Char('\n'), 1);
        if (seen.isEmpty() || seen.last() != state)
            seen << state;
    });
    run(at(5, 23, 0, 10), at(6, 0, 0, 4), 0);
    EventPump::SetHandler({});
    EXPECT_EQ(seen, (QStringList{QStringLiteral("wait mode Чтение данных за 05.03.2024"),
                                 QStringLiteral("wait mode Чтение данных за 06.03.2024")}));

    EXPECT_EQ(prompts.Questions,
              QStringList{QStringLiteral("Текущие данные на графике будут очищены, продолжить?")});
    EXPECT_EQ(prompts.QuestionCaptions, QStringList{QStringLiteral("Внимание")});
    // The live line was emptied and taken off its chart.
    EXPECT_EQ(liveLine.Series->Count(), 0);
    EXPECT_EQ(liveLine.Series->ParentChart(), nullptr);

    const auto& lines = form.ArchiveGraphicLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0]->Title, QStringLiteral("№00007К1_a"));
    EXPECT_EQ(lines[1]->Title, QStringLiteral("№00007К2_a"));
    EXPECT_EQ(lines[2]->Title, QStringLiteral("№00009К1_a"));
    // 23:00:10 to 23:01:39 of the 5th and midnight to 00:00:04 of the 6th.
    EXPECT_EQ(lines[0]->Series->Count(), 95);
    EXPECT_EQ(lines[0]->Series->YValue(0), 15);
    EXPECT_EQ(lines[0]->Series->XValue(94), t(6, 0, 0, 4));
    EXPECT_EQ(lines[1]->Series->Count(), 90);
    EXPECT_EQ(lines[0]->GraphForm, tempForm);
    EXPECT_EQ(lines[1]->GraphForm, tempForm);
    TFormGraphic* presForm = forms.FindOrCreateGraphicForm(Pres, Kpa);
    EXPECT_EQ(lines[2]->GraphForm, presForm);
    EXPECT_EQ(&presForm->Chart().Series(0), lines[2]->Series.get());

    // Shown at the end, drawn, in the default colours, without automatic zoom.
    for (const auto& f : forms.GraphicForms()) {
        EXPECT_TRUE(f->isVisible());
        EXPECT_FALSE(f->findChild<QCheckBox*>(QStringLiteral("CBAutoZoom"))->isChecked());
    }
    for (const auto& line : lines)
        EXPECT_TRUE(line->Series->Active());
    EXPECT_EQ(tempForm->Chart().SeriesCount(), 2);
    EXPECT_EQ(lines[0]->Series->Color(), tempForm->LineColor(0));
    EXPECT_NE(lines[1]->Series->Color(), QColor(0, 128, 0));
    expectIdle();

    // The next chart run frees the lines of this one.
    prompts.YesAnswers = {true};
    run(at(6, 0), at(6, 0, 0, 1), 0);
    ASSERT_EQ(form.ArchiveGraphicLines().size(), 1u);
    EXPECT_EQ(form.ArchiveGraphicLines()[0]->Series->Count(), 2);
    EXPECT_EQ(tempForm->Chart().SeriesCount(), 1);
    EXPECT_EQ(presForm->Chart().SeriesCount(), 0);
}

TEST_F(ArchiveViewerTest, AnsweringNoLeavesTheLiveLinesAndReadsNothing)
{
    TTableDevice& live = addRow(7);
    history(7, 1, Temp, Deg, 0, 100);
    store(QDate(2024, 3, 5), {{0, 7, t(5, 10), 1, 20}});
    TFormGraphic* tempForm = forms.FindOrCreateGraphicForm(Temp, Deg);
    TGraphLine& liveLine = *live.Device->Channel1->GraphLine;
    liveLine.GraphForm = tempForm;
    liveLine.Series->SetParentChart(&tempForm->Chart());
    liveLine.Series->AddXY(t(5, 9), 3, Qt::red);
    liveLine.Series->AddXY(t(5, 9, 1), 4, Qt::red);
    tempForm->show();

    prompts.YesAnswers = {false};
    run(at(5, 0), at(6, 0), 0);
    EXPECT_EQ(prompts.Questions.size(), 1);
    EXPECT_EQ(liveLine.Series->Count(), 2);
    EXPECT_EQ(liveLine.Series->ParentChart(), &tempForm->Chart());
    EXPECT_EQ(tempForm->Chart().SeriesCount(), 1);
    EXPECT_TRUE(form.ArchiveGraphicLines().empty());
    // The window that was open stays closed.
    EXPECT_FALSE(tempForm->isVisible());
    expectIdle();
}

TEST_F(ArchiveViewerTest, TwoCsvRunsInARowExportTheSecondPeriodOnly)
{
    addRow(7);
    addRow(7);
    history(7, 1, Temp, Deg, -1, 1, QStringLiteral("Печь"));
    store(QDate(2024, 3, 5), {{0, 7, t(5, 10), 1, 0.5}, {0, 7, t(5, 11), 1, 0.25}});
    store(QDate(2024, 3, 6), {{0, 7, t(6, 10), 1, 2}});
    QTemporaryDir out1, out2;
    prompts.Folders = {out1.path(), out2.path()};

    run(at(5, 0), at(5, 12), 2);
    run(at(6, 0), at(6, 12), 2);
    EXPECT_EQ(prompts.FolderAsked, 2);
    // The tables go once their files are written.
    EXPECT_TRUE(ExportTables.empty());

    const QStringList first = QDir(out1.path()).entryList(QDir::Files);
    const QStringList second = QDir(out2.path()).entryList(QDir::Files);
    ASSERT_EQ(first.size(), 1);
    ASSERT_EQ(second.size(), 1);
    QFile f(out2.filePath(second[0]));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    // Title, header, one row and the empty rest after the last line end.
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[2].startsWith(CodePage::ToWindows1251(QStringLiteral("06.03.2024 10:00:00;Печь;"))));
    expectIdle();
    EXPECT_TRUE(form.ArchiveGraphicLines().empty());
}

TEST_F(ArchiveViewerTest, TheSpreadsheetGetsTheTablesOfThePeriod)
{
    addRow(7);
    history(7, 1, Temp, Deg, -1, 1);
    store(QDate(2024, 3, 5), {{0, 7, t(5, 10), 1, 0.5}, {0, 7, t(5, 10), 2, 7}});
    launcher.available = true;
    run(at(5, 0), at(6, 0), 1);
    ASSERT_EQ(launcher.opened.size(), 1);
    EXPECT_TRUE(QFile::exists(launcher.opened[0]));
    // Title, two header rows and the one time stamp of both channels.
    std::vector<qint64> rows;
    QString reason;
    EXPECT_TRUE(CountXlsxSheetRows(launcher.opened[0], rows, reason));
    EXPECT_EQ(rows, std::vector<qint64>{4});
    QDir(QFileInfo(launcher.opened[0]).path()).removeRecursively();
    EXPECT_TRUE(ExportTables.empty());
    expectIdle();
}

TEST_F(ArchiveViewerTest, ADeviceBeyondWhatASheetHoldsEndsTheReadingAtOnce)
{
    HookedJournal journal;
    addRow(7);
    addRow(9);
    history(7, 1, Temp, Deg, -1, 1);
    history(9, 1, Temp, Deg, -1, 1);
    store(QDate(2024, 3, 5), {{0, 7, t(5, 10), 1, 1},
                              {0, 9, t(5, 10), 1, 1},
                              {0, 7, t(5, 11), 1, 2},
                              {0, 7, t(5, 12), 1, 3},
                              {0, 7, t(5, 13), 1, 4},
                              {0, 9, t(5, 14), 1, 5}});
    // Read, the next day's file would be reported as damaged.
    writeBytes(path(QStringLiteral("Measures20240306.cds")), QByteArray(4096, 'x'));
    launcher.available = true;
    form.SetExcelRecordLimit(3);

    // Three time stamps of device 7 fit.
    run(at(5, 0), at(5, 12), 1);
    ASSERT_EQ(launcher.opened.size(), 1);
    QDir(QFileInfo(launcher.opened[0]).path()).removeRecursively();
    EXPECT_TRUE(prompts.Messages.isEmpty());

    // The fourth ends the reading: the next file is not opened.
    run(at(5, 0), at(7, 0), 1);
    ASSERT_EQ(prompts.Messages.size(), 1);
    EXPECT_TRUE(prompts.Messages[0].contains(QStringLiteral("\"ЛО РВ-Т/Н, серийный № 00007\"")));
    EXPECT_TRUE(JournalLines(journal).isEmpty());
    EXPECT_EQ(launcher.opened.size(), 1);
    EXPECT_TRUE(ExportTables.empty());
    expectIdle();
}

TEST_F(ArchiveViewerTest, ADayFileDamagedInTheMiddleIsReportedAsPartlyReadBeforeTheOutputAppears)
{
    HookedJournal journal;
    addRow(7);
    addRow(8);
    history(7, 1, Temp, Deg, -1, 1);
    history(8, 1, Temp, Deg, -1, 1);
    // Device 7's values before device 8's: the damage over the middle of the
    // file hits 7's table and leaves 8's, at its end, intact.
    std::vector<TMeasureRecord> rows;
    for (int i = 0; i < 20000; ++i)
        rows.push_back({0, 7, t(5, 1) + double(i) * OneSecond, 1, double(i)});
    for (int i = 0; i < 2000; ++i)
        rows.push_back({0, 8, t(5, 1) + double(i) * 10 * OneSecond, 1, double(i)});
    store(QDate(2024, 3, 5), rows);
    ASSERT_FALSE(damageMiddleThird(path(QStringLiteral("Measures20240305.cds")), 7).isEmpty());
    // A file that does not open at all is named apart.
    writeBytes(path(QStringLiteral("Measures20240306.cds")), QByteArray(4096, 'x'));

    // At each message, which output already exists.
    QTemporaryDir out;
    prompts.Folders = {out.path()};
    QStringList seen;
    prompts.OnMessage = [&] {
        seen << QString::number(QDir(out.path()).entryList(QDir::Files).size() + prompts.FolderAsked);
    };
    run(at(5, 0), at(7, 0), 2);
    // Every value taken is one line of its device's CSV file after the title and the header.
    const auto lines = [&](const char* Serial) {
        const QStringList names = QDir(out.path()).entryList({QStringLiteral("sn%1_*").arg(Serial)});
        QFile f(out.filePath(names.value(0)));
        return names.size() == 1 && f.open(QIODevice::ReadOnly) ? f.readAll().count("\r\n") - 2 : -1;
    };
    const qint64 of7 = lines("00007");
    ASSERT_GT(of7, 0);
    EXPECT_LT(of7, 20000);
    EXPECT_EQ(lines("00008"), 2000);
    const QString unreadable = QStringLiteral(
        "Внимание!|Не удалось прочитать файлы архива, данные из них не извлечены:\nMeasures20240306.cds");
    EXPECT_EQ(prompts.Messages,
              QStringList{unreadable + QStringLiteral("\n\nФайлы архива прочитаны не полностью, извлечена "
                                                      "только часть данных:\nMeasures20240305.cds, "
                                                      "прибор 00007 (извлечено значений: %1)")
                                           .arg(of7)});
    EXPECT_EQ(seen, QStringList{QStringLiteral("0")});
    EXPECT_EQ(
        JournalLines(journal),
        (QStringList{QStringLiteral("Файл архива \"Measures20240305.cds\" прочитан не полностью: ошибка "
                                    "чтения файла, прибор 00007, извлечено значений: %1")
                         .arg(of7),
                     QStringLiteral("Файл архива \"Measures20240306.cds\" пропущен: файл повреждён или не "
                                    "является файлом архива измерений")}));
    EXPECT_TRUE(ConnectionError.isEmpty());
    expectIdle();

    // A period with only the file that does not open: nothing to export, and the
    // operator is told why.
    prompts.OnMessage = {};
    prompts.Messages.clear();
    ASSERT_TRUE(QFile::remove(path(QStringLiteral("Measures20240305.cds"))));
    prompts.Folders = {out.path()};
    run(at(6, 0), at(6, 9), 2);
    EXPECT_EQ(prompts.Messages, QStringList{unreadable});
    EXPECT_TRUE(ExportTables.empty());
    expectIdle();
}

TEST_F(ArchiveViewerTest, AHistoryFileThatCannotBeOpenedIsReported)
{
    addRow(7);
    writeBytes(path(QStringLiteral("Channels.cds")), QByteArray(4096, 'x'));
    run(at(5, 0), at(7, 0), 0);
    EXPECT_EQ(prompts.Messages,
              QStringList{QStringLiteral("Внимание!|Не удалось открыть базу данных каналов устройств! "
                                         "Устраните причину и перезапустите программу.")});
    EXPECT_EQ(ConnectionError, QStringLiteral("Не удалось открыть базу данных каналов устройств!"));
    expectIdle();
}

TEST_F(ArchiveViewerTest, AVanishedArchiveFolderIsReportedThoughTheWriterHeldItsDeviceFile)
{
    addRow(7);
    history(7, 1, Temp, Deg, -1, 1);
    store(QDate(2024, 3, 5), {{0, 7, t(5, 10), 1, 0.5}});
    // The writer leaves the device file open after a poll that changed nothing.
    QString err;
    ASSERT_TRUE(form.Writer().cdsDevices.Open(err));
    ASSERT_TRUE(QDir(ArchiveDir).removeRecursively());
    run(at(5, 0), at(7, 0), 0);
    EXPECT_EQ(prompts.Messages,
              QStringList{QStringLiteral("Внимание!|Не удалось открыть базу данных устройств! "
                                         "Устраните причину и перезапустите программу.")});
    EXPECT_EQ(ConnectionError, QStringLiteral("Не удалось открыть базу данных устройств!"));
    EXPECT_TRUE(form.ArchiveGraphicLines().empty());
    expectIdle();
}

TEST_F(ArchiveViewerTest, TheWindowCannotBeClosedWhileItReads)
{
    addRow(7);
    history(7, 1, Temp, Deg, -1, 1);
    std::vector<TMeasureRecord> rows;
    for (int i = 0; i < 300; ++i)
        rows.push_back({0, 7, t(5, 10, 0, i % 60) + i / 60 * 60 * OneSecond, 1, double(i)});
    store(QDate(2024, 3, 5), rows);
    QTemporaryDir out;
    prompts.Folders = {out.path()};
    int tries = 0;
    EventPump::SetHandler([&] {
        ++tries;
        form.close();
        form.reject();
        QTest::keyClick(&form, Qt::Key_Escape);
        EXPECT_TRUE(form.Running());
    });
    run(at(5, 0), at(6, 0), 2);
    EventPump::SetHandler({});
    EXPECT_GT(tries, 0);
    const QStringList written = QDir(out.path()).entryList(QDir::Files);
    ASSERT_EQ(written.size(), 1);
    QFile f(out.filePath(written[0]));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().count('\n'), 302);
    expectIdle();
}

} // namespace

namespace {

TEST_F(ArchiveViewerTest, ShutdownDuringTheReadingEndsTheRunWithoutOutput)
{
    addRow(7);
    history(7, 1, Temp, Deg, -1, 1);
    store(QDate(2024, 3, 5), {{0, 7, t(5, 10), 1, 0.5}});
    store(QDate(2024, 3, 6), {{0, 7, t(6, 10), 1, 0.5}});
    int pumps = 0;
    bool closed = false;
    EventPump::SetHandler([&] {
        // The system shuts down: the main window closes the archive, then the
        // application's quit closes every window; a refusal would cancel it.
        if (++pumps == 1) {
            form.CloseArchiveFiles();
            closed = form.close();
        }
    });
    run(at(5, 0), at(7, 0), 0);
    EventPump::SetHandler({});
    EXPECT_EQ(pumps, 1);
    EXPECT_TRUE(closed);
    EXPECT_TRUE(form.ArchiveGraphicLines().empty());
    for (const auto& f : forms.GraphicForms())
        EXPECT_FALSE(f->isVisible());
    expectIdle();
}

} // namespace

namespace {

TEST_F(ArchiveViewerTest, AStrayDayFileNameIsJournalledAndTheRunGoesOn)
{
    HookedJournal journal;
    addRow(7);
    history(7, 1, Temp, Deg, -1, 1);
    store(QDate(2024, 3, 5), {{0, 7, t(5, 10), 1, 0.5}});
    writeBytes(path(QStringLiteral("Measures2024-03-06.cds")), "x");
    QTemporaryDir out;
    prompts.Folders = {out.path()};
    run(at(5, 0), at(7, 0), 2);
    EXPECT_EQ(JournalLines(journal),
              QStringList{QStringLiteral(
                  "Файл архива \"Measures2024-03-06.cds\" пропущен: в имени нет правильной даты")});
    EXPECT_TRUE(prompts.Messages.isEmpty());
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files).size(), 1);
    expectIdle();
}

} // namespace
