#include "archive/CsvExport.h"
#include "core/DateTime.h"
#include "platform/CodePage.h"
#include "platform/Prompts.h"
#include "platform/SystemError.h"
#include "support/FileSizeLimit.h"
#include "support/OpenFileLimit.h"
#include "support/QStringPrinter.h"
#include "support/ScriptedPrompts.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

TDateTime At(int D, int H, int Mi, int S = 0, int Ms = 0)
{
    return DateTimeToTDateTime(QDateTime(QDate(2026, 3, D), QTime(H, Mi, S, Ms)));
}

const QDateTime ExportTime(QDate(2026, 12, 7), QTime(6, 5, 9));
const QString FileOf123 = QStringLiteral("sn00123_20261207_060509.csv");

// Records also what the folder question looked like.
class FolderPrompts : public ScriptedPrompts
{
public:
    QString Folder(QWidget* Parent, const QString& Title, const QString& Start) override
    {
        FolderTitle = Title;
        FolderStart = Start;
        return ScriptedPrompts::Folder(Parent, Title, Start);
    }
    QString FolderTitle;
    QString FolderStart;
};

class CsvExportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        Prompts::SetCurrent(&prompts);
    }
    void TearDown() override { Prompts::SetCurrent(nullptr); }

    QByteArray read(const QString& Name) const
    {
        QFile f(dir.filePath(Name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QStringList files() const
    {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }

    // Device 123, two channels, three rows.
    static TExportTableArray sample()
    {
        TExportTableArray t;
        const QString temp = QStringLiteral("Температура");
        const QString deg = QStringLiteral("°C");
        const QString pres = QStringLiteral("Давление");
        const QString kpa = QStringLiteral("кПа");
        AddExportRecord(t, 123, TDeviceType::ThermoInputs, QStringLiteral("Печь 1"), 1, At(5, 9, 5, 3), 0.1f,
                        -50, 1200, temp, deg);
        AddExportRecord(t, 123, TDeviceType::ThermoInputs, QStringLiteral("Печь 1"), 2, At(5, 9, 5, 3), 25, 0,
                        0.5f, pres, kpa);
        AddExportRecord(t, 123, TDeviceType::ThermoInputs, QStringLiteral("Печь 1"), 2, At(6, 0, 0), -1.5f, 0,
                        0.5f, pres, kpa);
        AddExportRecord(t, 123, TDeviceType::ThermoInputs, QStringLiteral("Печь 2"), 1,
                        At(6, 23, 59, 59, 999), 7, -50, 1200, temp, deg);
        return t;
    }

    QTemporaryDir dir;
    FolderPrompts prompts;
};

TEST_F(CsvExportTest, TheFileHoldsTitleHeaderAndRowsInWindows1251WithCrLf)
{
    ASSERT_TRUE(ExportTablesToCSV(sample(), dir.path(), ExportTime));
    EXPECT_TRUE(prompts.Messages.isEmpty());
    EXPECT_EQ(files(), QStringList{FileOf123});

    // Header cells start with a Latin K; 0.1 stored as single shows its binary
    // tail; midnight shows the date alone; the hour has no leading zero and
    // milliseconds are cut, not rounded.
    const QByteArray expected =
        "\xCB\xCE \xD0\xC2-\xD2\xD1/\xD2\xCF, \xF1\xE5\xF0\xE8\xE9\xED\xFB\xE9 \xB9 00123\r\n"
        "\xC4\xE0\xF2\xE0, "
        "\xE2\xF0\xE5\xEC\xFF;\xCA\xEE\xEC\xEC\xE5\xED\xF2\xE0\xF0\xE8\xE9;K1,\xE7\xED\xE0\xF7\xE5"
        "\xED\xE8\xE5;K1,\xE2\xE5\xEB\xE8\xF7\xE8\xED\xE0;K1,\xE5\xE4. \xE8\xE7\xEC.;K1,min "
        "\xEF\xEE\xF0\xEE\xE3;K1,"
        "max "
        "\xEF\xEE\xF0\xEE\xE3;K2,\xE7\xED\xE0\xF7\xE5\xED\xE8\xE5;K2,\xE2\xE5\xEB\xE8\xF7\xE8\xED\xE0;K2,\xE5"
        "\xE4. \xE8\xE7\xEC.;K2,min \xEF\xEE\xF0\xEE\xE3;K2,max \xEF\xEE\xF0\xEE\xE3\r\n"
        "05.03.2026 9:05:03;\xCF\xE5\xF7\xFC "
        "1;0,100000001490116;\xD2\xE5\xEC\xEF\xE5\xF0\xE0\xF2\xF3\xF0\xE0;\xB0"
        "C;-50;1200;25;\xC4\xE0\xE2\xEB\xE5\xED\xE8\xE5;\xEA\xCF\xE0;0;0,5\r\n"
        "06.03.2026;;;;;;;-1,5;\xC4\xE0\xE2\xEB\xE5\xED\xE8\xE5;\xEA\xCF\xE0;0;0,5\r\n"
        "06.03.2026 23:59:59;\xCF\xE5\xF7\xFC 2;7;\xD2\xE5\xEC\xEF\xE5\xF0\xE0\xF2\xF3\xF0\xE0;\xB0"
        "C;-50;1200\r\n";
    EXPECT_EQ(read(FileOf123), expected);
}

TEST_F(CsvExportTest, ChannelBlocksFollowFirstAppearanceAndRowsPadOnlyUpToTheirLastChannel)
{
    TExportTableArray t;
    AddExportRecord(t, 1, TDeviceType::UnifiedInputs, QString(), 2, At(5, 1, 0), 2, 0, 0, QString(),
                    QString());
    AddExportRecord(t, 1, TDeviceType::UnifiedInputs, QString(), 1, At(5, 2, 0), 1, 0, 0, QString(),
                    QString());
    AddExportRecord(t, 1, TDeviceType::UnifiedInputs, QString(), 2, At(5, 3, 0), 3, 0, 0, QString(),
                    QString());

    const QStringList lines = CsvLines(t[0]);
    ASSERT_EQ(lines.size(), 5);
    const QStringList header = lines[1].split(QLatin1Char(';'));
    ASSERT_EQ(header.size(), 12);
    EXPECT_EQ(header[2], QStringLiteral("K2,значение"));
    EXPECT_EQ(header[6], QStringLiteral("K2,max порог"));
    EXPECT_EQ(header[7], QStringLiteral("K1,значение"));
    EXPECT_EQ(header[8], QStringLiteral("K1,величина"));
    EXPECT_EQ(header[9], QStringLiteral("K1,ед. изм."));
    EXPECT_EQ(header[10], QStringLiteral("K1,min порог"));
    EXPECT_EQ(header[11], QStringLiteral("K1,max порог"));
    EXPECT_EQ(header[2].at(0).unicode(), u'K');

    // A channel with no settings in force: limits 0 and empty names.
    EXPECT_EQ(lines[2], QStringLiteral("05.03.2026 1:00:00;;2;;;0;0"));
    // Channel 1 sits in the second block: five empty cells before it.
    EXPECT_EQ(lines[3], QStringLiteral("05.03.2026 2:00:00;;;;;;;1;;;0;0"));
    // Only the first block: fewer cells than the header.
    EXPECT_EQ(lines[4], QStringLiteral("05.03.2026 3:00:00;;3;;;0;0"));
}

// Reads CSV the usual way: ";" between cells, CR LF between lines; a cell in
// double quotes may hold both, and a doubled quote in it stands for one.
std::vector<QStringList> parseCsv(const QString& Text)
{
    std::vector<QStringList> lines;
    QStringList cells;
    QString cell;
    bool quoted = false;
    for (qsizetype i = 0; i < Text.size(); ++i) {
        const QChar c = Text[i];
        if (quoted) {
            if (c != u'"')
                cell += c;
            else if (i + 1 < Text.size() && Text[i + 1] == u'"')
                cell += Text[++i];
            else
                quoted = false;
        } else if (c == u'"' && cell.isEmpty()) {
            quoted = true;
        } else if (c == u';') {
            cells << cell;
            cell.clear();
        } else if (c == u'\r' && i + 1 < Text.size() && Text[i + 1] == u'\n') {
            cells << cell;
            cell.clear();
            lines.push_back(cells);
            cells.clear();
            ++i;
        } else {
            cell += c;
        }
    }
    EXPECT_FALSE(quoted) << "a quote is left open";
    EXPECT_TRUE(cell.isEmpty() && cells.isEmpty()) << "the last line has no CR LF";
    return lines;
}

TEST_F(CsvExportTest, TextsWithSeparatorsQuotesLineBreaksAndControlsReadBackUnchanged)
{
    const QString comment = QStringLiteral("цех 1;\r\nпечь\t\"2\" ") + QChar(0) + QChar(1) + QChar(0x1F) +
                            QChar(0x7F) + QStringLiteral("\r");
    const QString title = QStringLiteral("\"Печь\"; № 4\n");
    TExportTableArray t;
    AddExportRecord(t, 4, TDeviceType::ThermoInputs, comment, 1, At(5, 1, 0), 1, 0, 0, QStringLiteral("T;1"),
                    QStringLiteral("°C\n"));
    AddExportRecord(t, 4, TDeviceType::ThermoInputs, comment, 2, At(5, 1, 0), 2, 0, 0, QStringLiteral("\""),
                    QStringLiteral("\"\"мкА"));
    AddExportRecord(t, 4, TDeviceType::ThermoInputs, QStringLiteral("цех 2"), 2, At(5, 2, 0), 3, 0, 0,
                    QStringLiteral("P"), QStringLiteral("кПа"));
    t[0].Title = title;
    ASSERT_TRUE(ExportTablesToCSV(t, dir.path(), ExportTime));

    const QByteArray bytes = read(QStringLiteral("sn00004_20261207_060509.csv"));
    const std::vector<QStringList> lines = parseCsv(CodePage::FromWindows1251(bytes));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], QStringList{title});
    EXPECT_EQ(lines[1].size(), 12);
    EXPECT_EQ(lines[2], (QStringList{QStringLiteral("05.03.2026 1:00:00"), comment, QStringLiteral("1"),
                                     QStringLiteral("T;1"), QStringLiteral("°C\n"), QStringLiteral("0"),
                                     QStringLiteral("0"), QStringLiteral("2"), QStringLiteral("\""),
                                     QStringLiteral("\"\"мкА"), QStringLiteral("0"), QStringLiteral("0")}));
    // A line without such texts is written as it always was.
    EXPECT_TRUE(bytes.endsWith("\r\n05.03.2026 2:00:00;\xF6\xE5\xF5 2;;;;;;3;P;\xEA\xCF\xE0;0;0\r\n"));
    // Control characters other than the line breaks stay in the file as they are.
    EXPECT_TRUE(bytes.contains(QByteArray("\" ", 2) + QByteArray(1, '\0') + "\x01\x1F\x7F\r\""))
        << bytes.toHex(' ').toStdString();
}

TEST_F(CsvExportTest, FileNamesAndReplacement)
{
    EXPECT_EQ(CsvFileName(QStringLiteral("/data/csv"), 7, ExportTime),
              QStringLiteral("/data/csv/sn00007_20261207_060509.csv"));
    EXPECT_EQ(CsvFileName(QStringLiteral("/data/csv/"), 65535, QDateTime(QDate(2027, 1, 2), QTime(23, 4, 5))),
              QStringLiteral("/data/csv/sn65535_20270102_230405.csv"));
    EXPECT_EQ(CsvFileName(QStringLiteral("/"), 1, ExportTime),
              QStringLiteral("/sn00001_20261207_060509.csv"));

    // Devices in their order, one file each; a second export within the same
    // second replaces the first one's file.
    TExportTableArray t = sample();
    AddExportRecord(t, 45, TDeviceType::Unknown, QString(), 1, At(5, 1, 0), 1, 0, 0, QString(), QString());
    ASSERT_TRUE(ExportTablesToCSV(t, dir.path() + QLatin1Char('/'), ExportTime));
    EXPECT_EQ(files(), (QStringList{QStringLiteral("sn00045_20261207_060509.csv"), FileOf123}));
    const QByteArray first = read(FileOf123);

    TExportTableArray again;
    AddExportRecord(again, 123, TDeviceType::ThermoInputs, QString(), 1, At(9, 1, 0), 5, 0, 0, QString(),
                    QString());
    ASSERT_TRUE(ExportTablesToCSV(again, dir.path(), ExportTime));
    EXPECT_NE(read(FileOf123), first);
    EXPECT_TRUE(read(FileOf123).endsWith("09.03.2026 1:00:00;;5;;;0;0\r\n"));
    EXPECT_EQ(files().size(), 2);
}

TEST_F(CsvExportTest, TheFolderQuestionAndAMissingFolder)
{
    // Cancelled: nothing written, nothing said.
    ExportToCSV(sample());
    EXPECT_EQ(prompts.FolderAsked, 1);
    EXPECT_EQ(prompts.FolderTitle, QStringLiteral("Выберите каталог для экспорта данных"));
    EXPECT_EQ(prompts.FolderStart, QStringLiteral("/"));
    EXPECT_TRUE(prompts.Messages.isEmpty());

    // A missing folder, and a file where the folder should be.
    const QString missing = dir.filePath(QStringLiteral("нет"));
    const QString plain = dir.filePath(QStringLiteral("plain"));
    {
        QFile f(plain);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    prompts.Folders << missing << plain;
    ExportToCSV(sample());
    ExportToCSV(sample());
    EXPECT_EQ(
        prompts.Messages,
        (QStringList{QStringLiteral("Кловарис|Каталог \"") + missing + QStringLiteral("\" не существует!"),
                     QStringLiteral("Кловарис|Каталог \"") + plain + QStringLiteral("\" не существует!")}));
    EXPECT_FALSE(QFileInfo::exists(missing));
    EXPECT_EQ(files(), QStringList{QStringLiteral("plain")});

    // An existing folder with no tables: asked, nothing written, nothing said.
    prompts.Messages.clear();
    prompts.Folders << dir.path();
    ExportToCSV(TExportTableArray());
    EXPECT_EQ(prompts.FolderAsked, 4);
    EXPECT_TRUE(prompts.Messages.isEmpty());
    EXPECT_EQ(files(), QStringList{QStringLiteral("plain")});

    // A chosen folder gets the files with the current time in their names.
    prompts.Folders << dir.path();
    const QDateTime before = QDateTime::currentDateTime();
    ExportToCSV(sample());
    const QDateTime after = QDateTime::currentDateTime();
    const QStringList written = QDir(dir.path()).entryList({QStringLiteral("sn00123_*.csv")}, QDir::Files);
    ASSERT_EQ(written.size(), 1);
    const QDateTime stamp = QDateTime::fromString(written[0].mid(8, 15), QStringLiteral("yyyyMMdd_HHmmss"));
    EXPECT_GE(stamp, before.addMSecs(-before.time().msec()));
    EXPECT_LE(stamp, after);
}

TEST_F(CsvExportTest, AFailedWriteLeavesNoFileAndKeepsAnOlderOne)
{
    TExportTableArray t = sample();
    AddExportRecord(t, 45, TDeviceType::Unknown, QString(), 1, At(5, 1, 0), 1, 0, 0, QString(), QString());
    // A padded second table makes the second file the larger one.
    for (int i = 0; i < 50; ++i)
        AddExportRecord(t, 45, TDeviceType::Unknown, QString(), 1, At(6, 1, i), i, 0, 0, QString(),
                        QString());
    const QByteArray firstSize = QByteArray::number(CsvLines(t[0]).join(QStringLiteral("\r\n")).size() + 2);

    // An older file of the first device's name.
    {
        QFile old(dir.filePath(FileOf123));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    {
        // Room for the first file, not for the second.
        FileSizeLimit full(static_cast<rlim_t>(firstSize.toInt() + 10));
        ASSERT_TRUE(full.ok());
        EXPECT_FALSE(ExportTablesToCSV(t, dir.path(), ExportTime));
    }
    ASSERT_EQ(prompts.Messages.size(), 1);
    const QString name = dir.filePath(QStringLiteral("sn00045_20261207_060509.csv"));
    EXPECT_TRUE(prompts.Messages[0].startsWith(QStringLiteral("Кловарис|Не удалось записать файл \"") + name +
                                               QStringLiteral("\" (")))
        << prompts.Messages[0].toStdString();
    // The system's reason in Russian, not Qt's "Unknown error" for a failed flush.
    EXPECT_TRUE(prompts.Messages[0].endsWith(QStringLiteral(" (") + QStringLiteral("файл слишком велик") +
                                             QStringLiteral("). Файлы экспорта не созданы.")))
        << prompts.Messages[0].toStdString();
    // No temporary file, no new file, the older one untouched.
    EXPECT_EQ(files(), QStringList{FileOf123});
    EXPECT_EQ(read(FileOf123), QByteArray("old"));

    // With room again the same export goes through.
    prompts.Messages.clear();
    ASSERT_TRUE(ExportTablesToCSV(t, dir.path(), ExportTime));
    EXPECT_EQ(files().size(), 2);
    EXPECT_TRUE(read(FileOf123).startsWith("\xCB\xCE "));
}

TEST_F(CsvExportTest, AFileThatCannotBePutInPlaceTakesTheOthersBackOut)
{
    // Three devices, older files under the first and the last one's names; the
    // last one may not be replaced (immutable: not even by root).
    TExportTableArray t = sample();
    AddExportRecord(t, 45, TDeviceType::Unknown, QString(), 1, At(5, 1, 0), 1, 0, 0, QString(), QString());
    AddExportRecord(t, 7, TDeviceType::Unknown, QString(), 1, At(5, 1, 0), 1, 0, 0, QString(), QString());
    const QString fileOf7 = QStringLiteral("sn00007_20261207_060509.csv");
    for (const QString& name : {FileOf123, fileOf7}) {
        QFile old(dir.filePath(name));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old " + name.toLatin1());
    }
    const auto chattr = [&](const QString& Flag) {
        return QProcess::execute(QStringLiteral("chattr"), {Flag, dir.filePath(fileOf7)}) == 0;
    };
    if (!chattr(QStringLiteral("+i")))
        GTEST_SKIP() << "files cannot be made immutable here";
    const bool exported = ExportTablesToCSV(t, dir.path(), ExportTime);
    ASSERT_TRUE(chattr(QStringLiteral("-i")));
    EXPECT_FALSE(exported);
    // The folder as before: the older files back, nothing new, nothing hidden.
    EXPECT_EQ(files(), (QStringList{fileOf7, FileOf123}));
    EXPECT_EQ(read(FileOf123), "old " + FileOf123.toLatin1());
    EXPECT_EQ(read(fileOf7), "old " + fileOf7.toLatin1());
    EXPECT_EQ(prompts.Messages,
              QStringList{QStringLiteral("Кловарис|Не удалось записать файл \"") + dir.filePath(fileOf7) +
                          QStringLiteral("\" (операция не разрешена). Файлы экспорта не созданы.")});
}

TEST_F(CsvExportTest, AFolderThatCannotBeWrittenOrANameTakenByAFolderWritesNothing)
{
    // Nobody, root included, creates files in /proc.
    QString errMsg;
    EXPECT_FALSE(WriteCsvFiles(sample(), QStringLiteral("/proc"), ExportTime, errMsg));
    EXPECT_TRUE(errMsg.startsWith(QStringLiteral("Не удалось записать файл \"/proc/") + FileOf123 +
                                  QStringLiteral("\" (")))
        << errMsg.toStdString();
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/proc/") + FileOf123));

    // The second device's name is a folder: the first device's file is not
    // written either.
    TExportTableArray t = sample();
    AddExportRecord(t, 45, TDeviceType::Unknown, QString(), 1, At(5, 1, 0), 1, 0, 0, QString(), QString());
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sn00045_20261207_060509.csv")));
    EXPECT_FALSE(ExportTablesToCSV(t, dir.path(), ExportTime));
    ASSERT_EQ(prompts.Messages.size(), 1);
    EXPECT_TRUE(prompts.Messages[0].startsWith(QStringLiteral("Кловарис|Не удалось записать файл \"")));
    EXPECT_TRUE(files().isEmpty()) << files().join(QLatin1Char(' ')).toStdString();
}

TEST_F(CsvExportTest, AFileThatCannotBeOpenedIsReportedWithTheOpensOwnReason)
{
    QString errMsg;
#ifndef __SANITIZE_ADDRESS__
    // Every descriptor in use (not under the sanitizers, which need their own).
    const int lowestFree = ::dup(0);
    ASSERT_GE(lowestFree, 0);
    ::close(lowestFree);
    {
        OpenFileLimit none(static_cast<rlim_t>(lowestFree));
        ASSERT_TRUE(none.ok());
        EXPECT_FALSE(WriteCsvFiles(sample(), dir.path(), ExportTime, errMsg));
    }
    EXPECT_TRUE(
        errMsg.endsWith(QStringLiteral(" (открыто слишком много файлов). Файлы экспорта не созданы.")))
        << errMsg.toStdString();
#endif
    // Nobody creates files in /proc: the reason the system gives for that.
    EXPECT_FALSE(WriteCsvFiles(sample(), QStringLiteral("/proc"), ExportTime, errMsg));
    errno = 0;
    const int refused = ::open("/proc/klov-review-probe", O_WRONLY | O_CREAT | O_EXCL, 0644) < 0 ? errno : 0;
    EXPECT_TRUE(errMsg.contains(QStringLiteral(" (") + SystemError::Text(refused) + QStringLiteral(").")))
        << errMsg.toStdString();
}

TEST_F(CsvExportTest, MoreDevicesThanOpenFilesAreAllWritten)
{
    TExportTableArray t;
    constexpr int Devices = 300;
    for (int d = 1; d <= Devices; ++d)
        AddExportRecord(t, quint16(d), TDeviceType::Unknown, QString(), 1, At(5, 1, 0), float(d), 0, 0,
                        QString(), QString());
    {
        OpenFileLimit tight(64);
        ASSERT_TRUE(tight.ok());
        EXPECT_TRUE(ExportTablesToCSV(t, dir.path(), ExportTime));
    }
    EXPECT_TRUE(prompts.Messages.isEmpty()) << prompts.Messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(files().size(), Devices);
    EXPECT_TRUE(read(QStringLiteral("sn00300_20261207_060509.csv")).endsWith(";;300;;;0;0\r\n"));
}

} // namespace
