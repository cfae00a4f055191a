#include "archive/ExcelIO.h"
#include "core/DateTime.h"
#include "platform/Prompts.h"
#include "support/FileSizeLimit.h"
#include "support/OpenFileLimit.h"
#include "support/QStringPrinter.h"
#include "support/ScriptedPrompts.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <QXmlStreamReader>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <map>
#include <optional>
#include <vector>

namespace {

TDateTime At(int D, int H, int Mi, int S = 0)
{
    return DateTimeToTDateTime(QDateTime(QDate(2026, 3, D), QTime(H, Mi, S)));
}

const QString Temp = QStringLiteral("Температура");
const QString Deg = QStringLiteral("°C");
const QString Pres = QStringLiteral("Давление");
const QString Kpa = QStringLiteral("кПа");

// Device 123 with channels 1 and 2; device 7 whose first row holds channel 2 only.
TExportTableArray twoDevices()
{
    TExportTableArray t;
    const TDeviceType thermo = TDeviceType::ThermoInputs;
    AddExportRecord(t, 123, thermo, QStringLiteral("Печь 1"), 1, At(5, 9, 5, 3), 0.1f, -50, 1200, Temp, Deg);
    AddExportRecord(t, 123, thermo, QStringLiteral("Печь 1"), 2, At(5, 9, 5, 3), 25, 0, 0.5f, Pres, Kpa);
    AddExportRecord(t, 123, thermo, QStringLiteral("Печь 1"), 2, At(6, 0, 0), -1.5f, 0, 0.5f, Pres, Kpa);
    AddExportRecord(t, 7, TDeviceType::UnifiedInputs, QStringLiteral("Сушка"), 2, At(5, 10, 0), 3, 1, 2, Pres,
                    Kpa);
    AddExportRecord(t, 123, thermo, QStringLiteral("Печь 2"), 1, At(6, 23, 59, 59), 7, -50, 1200, Temp, Deg);
    AddExportRecord(t, 7, TDeviceType::UnifiedInputs, QStringLiteral("Сушка"), 1, At(5, 10, 1), 4, 0, 9, Temp,
                    Deg);
    return t;
}

struct Cell
{
    QString Type; // "s" shared string, "inlineStr", "str", empty for a number
    QString Value;
    int Style = 0;
};

// Reads parts of an .xlsx through unzip; Available() is false without it.
class XlsxReader
{
public:
    explicit XlsxReader(QString File) : file_(std::move(File)) {}

    static bool Available() { return !QStandardPaths::findExecutable(QStringLiteral("unzip")).isEmpty(); }

    QByteArray Part(const QString& Name) const
    {
        QProcess unzip;
        unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), file_, Name});
        unzip.waitForFinished(30000);
        return unzip.readAllStandardOutput();
    }

    QStringList SheetNames() const
    {
        QStringList names;
        QXmlStreamReader xml(Part(QStringLiteral("xl/workbook.xml")));
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == QLatin1String("sheet"))
                names << xml.attributes().value(QLatin1String("name")).toString();
        }
        return names;
    }

    // Cells by reference ("C2"), shared strings resolved.
    std::map<QString, Cell> Cells(int SheetNo) const
    {
        QStringList shared;
        {
            QXmlStreamReader xml(Part(QStringLiteral("xl/sharedStrings.xml")));
            while (!xml.atEnd()) {
                xml.readNext();
                if (xml.isStartElement() && xml.name() == QLatin1String("si"))
                    shared << QString();
                else if (xml.isStartElement() && xml.name() == QLatin1String("t"))
                    shared.last() += xml.readElementText();
            }
        }
        std::map<QString, Cell> cells;
        QXmlStreamReader xml(Part(QStringLiteral("xl/worksheets/sheet%1.xml").arg(SheetNo)));
        QString ref;
        while (!xml.atEnd()) {
            xml.readNext();
            if (!xml.isStartElement())
                continue;
            if (xml.name() == QLatin1String("c")) {
                ref = xml.attributes().value(QLatin1String("r")).toString();
                Cell& c = cells[ref];
                c.Type = xml.attributes().value(QLatin1String("t")).toString();
                c.Style = xml.attributes().value(QLatin1String("s")).toInt();
            } else if (xml.name() == QLatin1String("v") || xml.name() == QLatin1String("t")) {
                Cell& c = cells[ref];
                c.Value = xml.readElementText();
                if (c.Type == QLatin1String("s"))
                    c.Value = shared.value(c.Value.toInt(), QStringLiteral("<bad index>"));
                if (!c.Type.isEmpty())
                    c.Value = unescaped(c.Value);
            }
        }
        return cells;
    }

    // Merged ranges, sorted.
    QStringList Merges(int SheetNo) const
    {
        QStringList refs;
        QXmlStreamReader xml(Part(QStringLiteral("xl/worksheets/sheet%1.xml").arg(SheetNo)));
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == QLatin1String("mergeCell"))
                refs << xml.attributes().value(QLatin1String("ref")).toString();
        }
        refs.sort();
        return refs;
    }

    // Column widths set in the sheet, by 1-based column number.
    std::map<int, double> Widths(int SheetNo) const
    {
        std::map<int, double> widths;
        QXmlStreamReader xml(Part(QStringLiteral("xl/worksheets/sheet%1.xml").arg(SheetNo)));
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == QLatin1String("col")) {
                const int min = xml.attributes().value(QLatin1String("min")).toInt();
                const int max = xml.attributes().value(QLatin1String("max")).toInt();
                for (int c = min; c <= max; ++c)
                    widths[c] = xml.attributes().value(QLatin1String("width")).toDouble();
            }
        }
        return widths;
    }

    // The number format of each cell style, by style index.
    QStringList StyleFormats() const
    {
        std::map<int, QString> codes;
        QStringList formats;
        QXmlStreamReader xml(Part(QStringLiteral("xl/styles.xml")));
        bool inCellXfs = false;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == QLatin1String("numFmt")) {
                codes[xml.attributes().value(QLatin1String("numFmtId")).toInt()] =
                    xml.attributes().value(QLatin1String("formatCode")).toString();
            } else if (xml.isStartElement() && xml.name() == QLatin1String("cellXfs")) {
                inCellXfs = true;
            } else if (xml.isEndElement() && xml.name() == QLatin1String("cellXfs")) {
                inCellXfs = false;
            } else if (inCellXfs && xml.isStartElement() && xml.name() == QLatin1String("xf")) {
                const int id = xml.attributes().value(QLatin1String("numFmtId")).toInt();
                formats << (codes.count(id) ? codes[id] : QString::number(id));
            }
        }
        return formats;
    }

private:
    // Texts as spreadsheet programs read them: "_xHHHH_" is the UTF-16 unit HHHH,
    // taken from left to right.
    static QString unescaped(const QString& Text)
    {
        static const QRegularExpression escape(QStringLiteral("_x([0-9A-Fa-f]{4})_"));
        QString out;
        qsizetype from = 0;
        for (auto it = escape.globalMatch(Text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            out += Text.mid(from, m.capturedStart() - from);
            out += QChar(char16_t(m.captured(1).toUShort(nullptr, 16)));
            from = m.capturedEnd();
        }
        return out + Text.mid(from);
    }

    QString file_;
};

QString text(const std::map<QString, Cell>& Cells, const QString& Ref)
{
    const auto it = Cells.find(Ref);
    return it == Cells.end() ? QStringLiteral("<none>") : it->second.Value;
}

double number(const std::map<QString, Cell>& Cells, const QString& Ref)
{
    const auto it = Cells.find(Ref);
    if (it == Cells.end() || !it->second.Type.isEmpty())
        return std::numeric_limits<double>::quiet_NaN();
    return it->second.Value.toDouble();
}

QByteArray head(const QString& File, int Bytes)
{
    QFile f(File);
    return f.open(QIODevice::ReadOnly) ? f.read(Bytes) : QByteArray();
}

// Records what it was asked to open.
class RecordingLauncher : public TSpreadsheetLauncher
{
public:
    bool Available() const override { return Installed; }
    bool Open(const QString& FileName) override
    {
        Opened << FileName;
        // What the application would read when it starts.
        ExistedWhenOpened = QFile::exists(FileName);
        WritableWhenOpened =
            (QFile::permissions(FileName) &
             (QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther)) != 0;
        openedCopy_ = MakesCopy;
        openError_ = Starts ? QString() : QStringLiteral("Не удалось запустить \"calc\" (нет).");
        return Starts;
    }
    bool Installed = true;
    bool Starts = true;
    bool MakesCopy = true;
    bool WritableWhenOpened = true;
    bool ExistedWhenOpened = false;
    QStringList Opened;
};

class ExcelIOTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        Prompts::SetCurrent(&prompts);
        TSpreadsheetLauncher::SetCurrent(&launcher);
    }
    void TearDown() override
    {
        TSpreadsheetLauncher::SetCurrent(nullptr);
        Prompts::SetCurrent(nullptr);
    }
    QStringList exportFolders() const
    {
        return QDir(dir.path()).entryList({ExcelFolderPrefix + QLatin1Char('*')}, QDir::Dirs);
    }

    QTemporaryDir dir;
    ScriptedPrompts prompts;
    RecordingLauncher launcher;
};

TEST_F(ExcelIOTest, TwoDevicesAreWrittenCellByCellAndReadBack)
{
    const QString file = dir.filePath(QStringLiteral("book.xlsx"));
    QString err;
    ASSERT_TRUE(WriteExcelWorkbook(twoDevices(), file, err)) << err.toStdString();
    EXPECT_TRUE(err.isEmpty());
    EXPECT_EQ(head(file, 4), QByteArray("PK\x03\x04"));
    if (!XlsxReader::Available())
        GTEST_SKIP() << "unzip is not installed: the workbook was written but is not read back";
    const XlsxReader book(file);

    // The last table's sheet comes first; "/" of the titles is not allowed in sheet names.
    EXPECT_EQ(book.SheetNames(), (QStringList{QStringLiteral("ЛО РВ-Т|Н, серийный № 00007"),
                                              QStringLiteral("ЛО РВ-ТС|ТП, серийный № 00123")}));
    const QStringList formats = book.StyleFormats();

    {
        const auto cells = book.Cells(2);
        EXPECT_EQ(text(cells, QStringLiteral("A1")), QStringLiteral("ЛО РВ-ТС/ТП, серийный № 00123"));
        EXPECT_EQ(text(cells, QStringLiteral("A2")), QStringLiteral("Дата, время"));
        EXPECT_EQ(text(cells, QStringLiteral("B2")), QStringLiteral("Комментарий"));
        const QString k1 = text(cells, QStringLiteral("C2"));
        EXPECT_EQ(k1, QStringLiteral("Kанал 1"));
        EXPECT_EQ(k1.toUtf8().left(3), QByteArray("K\xD0\xB0")); // Latin K, Cyrillic а
        EXPECT_EQ(text(cells, QStringLiteral("H2")), QStringLiteral("Kанал 2"));
        const QStringList heads{QStringLiteral("значение"), QStringLiteral("величина"),
                                QStringLiteral("ед. изм."), QStringLiteral("min порог"),
                                QStringLiteral("max порог")};
        const QString columns = QStringLiteral("CDEFGHIJKL");
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(text(cells, columns[i] + QStringLiteral("3")), heads[i % 5]) << i;
        EXPECT_EQ(book.Merges(2), (QStringList{QStringLiteral("A2:A3"), QStringLiteral("B2:B3"),
                                               QStringLiteral("C2:G2"), QStringLiteral("H2:L2")}));
        for (const QString& ref : {QStringLiteral("A2"), QStringLiteral("B2"), QStringLiteral("C2")})
            EXPECT_EQ(cells.at(ref).Style, cells.at(QStringLiteral("C3")).Style)
                << "not centred: " << ref.toStdString();
        EXPECT_NE(cells.at(QStringLiteral("C3")).Style, 0);

        // Time stamps are real date-times in the date column's format.
        for (const auto& [ref, when] :
             {std::pair{QStringLiteral("A4"), At(5, 9, 5, 3)}, std::pair{QStringLiteral("A5"), At(6, 0, 0)},
              std::pair{QStringLiteral("A6"), At(6, 23, 59, 59)}}) {
            EXPECT_NEAR(number(cells, ref), when, 1e-9) << ref.toStdString();
            EXPECT_EQ(formats.value(cells.at(ref).Style), ExcelDateTimeFormat) << ref.toStdString();
        }
        // The comment on the first row and where it changed.
        EXPECT_EQ(text(cells, QStringLiteral("B4")), QStringLiteral("Печь 1"));
        EXPECT_EQ(text(cells, QStringLiteral("B5")), QStringLiteral("<none>"));
        EXPECT_EQ(text(cells, QStringLiteral("B6")), QStringLiteral("Печь 2"));

        // Values and limits are numbers, the single widened (the file keeps 16 digits).
        EXPECT_EQ(float(number(cells, QStringLiteral("C4"))), 0.1f);
        EXPECT_TRUE(text(cells, QStringLiteral("C4")).startsWith(QStringLiteral("0.100000001490116")));
        EXPECT_EQ(text(cells, QStringLiteral("D4")), Temp);
        EXPECT_EQ(text(cells, QStringLiteral("E4")), Deg);
        EXPECT_EQ(number(cells, QStringLiteral("F4")), -50);
        EXPECT_EQ(number(cells, QStringLiteral("G4")), 1200);
        EXPECT_EQ(number(cells, QStringLiteral("H4")), 25);
        EXPECT_EQ(text(cells, QStringLiteral("I4")), Pres);
        EXPECT_EQ(text(cells, QStringLiteral("J4")), Kpa);
        EXPECT_EQ(number(cells, QStringLiteral("L4")), 0.5);
        // A row with channel 2 only leaves the channel 1 block empty.
        EXPECT_EQ(text(cells, QStringLiteral("C5")), QStringLiteral("<none>"));
        EXPECT_EQ(number(cells, QStringLiteral("H5")), -1.5);
        EXPECT_EQ(number(cells, QStringLiteral("C6")), 7);
        EXPECT_EQ(text(cells, QStringLiteral("H6")), QStringLiteral("<none>"));
        EXPECT_EQ(text(cells, QStringLiteral("A7")), QStringLiteral("<none>"));

        // Both blocks' columns are fitted to their longest text, the date column to
        // its title; a header merged across a block does not widen its first column.
        const auto widths = book.Widths(2);
        ASSERT_EQ(widths.size(), 12u);
        EXPECT_EQ(widths.rbegin()->first, 12);
        EXPECT_GT(widths.at(1), widths.at(2)); // the title
        EXPECT_GT(widths.at(2), 11.0);         // "Комментарий"
        EXPECT_GT(widths.at(4), 11.0);         // "Температура"
        EXPECT_LT(widths.at(5), widths.at(2)); // "ед. изм.", "°C", "кПа"
        EXPECT_LT(widths.at(8), widths.at(4)); // 25, -1.5 and "значение"
    }
    {
        // Channel 2 came first, so it takes the first block.
        const auto cells = book.Cells(1);
        EXPECT_EQ(text(cells, QStringLiteral("A1")), QStringLiteral("ЛО РВ-Т/Н, серийный № 00007"));
        EXPECT_EQ(text(cells, QStringLiteral("C2")), QStringLiteral("Kанал 2"));
        EXPECT_EQ(text(cells, QStringLiteral("H2")), QStringLiteral("Kанал 1"));
        EXPECT_EQ(number(cells, QStringLiteral("C4")), 3);
        EXPECT_EQ(number(cells, QStringLiteral("H5")), 4);
        EXPECT_EQ(text(cells, QStringLiteral("B4")), QStringLiteral("Сушка"));
        EXPECT_EQ(text(cells, QStringLiteral("B5")), QStringLiteral("<none>"));
    }
}

TEST_F(ExcelIOTest, EmptyExportsAndOddValuesStillMakeAValidWorkbook)
{
    const QString empty = dir.filePath(QStringLiteral("empty.xlsx"));
    const QString odd = dir.filePath(QStringLiteral("odd.xlsx"));
    QString err;
    ASSERT_TRUE(WriteExcelWorkbook({}, empty, err)) << err.toStdString();
    EXPECT_EQ(head(empty, 4), QByteArray("PK\x03\x04"));

    // A table without records; values that are no numbers; a comment longer than a cell holds.
    TExportTableArray tables(2);
    tables[0].Title = QStringLiteral("Пустой");
    tables[1].Title = QStringLiteral("Пустой"); // same sheet name
    TExportMeasRec rec;
    rec.MeasDateTime = At(5, 12, 0);
    rec.Comment = QString(40000, QLatin1Char('x'));
    rec.ChanRecs.push_back({1, std::numeric_limits<float>::quiet_NaN(),
                            -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::infinity(),
                            Temp, Deg});
    tables[1].AppendRow(rec.MeasDateTime, rec.Comment, rec.ChanRecs[0]);
    ASSERT_TRUE(WriteExcelWorkbook(tables, odd, err)) << err.toStdString();
    EXPECT_EQ(head(odd, 4), QByteArray("PK\x03\x04"));
    if (!XlsxReader::Available())
        GTEST_SKIP() << "unzip is not installed: the workbooks were written but are not read back";

    EXPECT_EQ(XlsxReader(empty).SheetNames().size(), 1);
    const XlsxReader book(odd);
    EXPECT_EQ(book.SheetNames(), (QStringList{QStringLiteral("Пустой (2)"), QStringLiteral("Пустой")}));
    const auto bare = book.Cells(2);
    EXPECT_EQ(text(bare, QStringLiteral("A1")), QStringLiteral("Пустой"));
    EXPECT_EQ(text(bare, QStringLiteral("A2")), QStringLiteral("Дата, время"));
    EXPECT_EQ(text(bare, QStringLiteral("B2")), QStringLiteral("Комментарий"));
    EXPECT_EQ(text(bare, QStringLiteral("C2")), QStringLiteral("<none>"));
    EXPECT_EQ(text(bare, QStringLiteral("A4")), QStringLiteral("<none>"));
    const auto widths = book.Widths(2);
    EXPECT_EQ(widths.size(), 2u);
    EXPECT_EQ(widths.count(3), 0u);

    const auto cells = book.Cells(1);
    EXPECT_EQ(text(cells, QStringLiteral("B4")).size(), 32767);
    EXPECT_EQ(text(cells, QStringLiteral("C4")), QStringLiteral("NAN"));
    EXPECT_EQ(text(cells, QStringLiteral("F4")), QStringLiteral("-INF"));
    EXPECT_EQ(text(cells, QStringLiteral("G4")), QStringLiteral("INF"));
}

TEST_F(ExcelIOTest, TextsReadBackUnchangedWhateverCharactersTheyHold)
{
    const QString comment = QStringLiteral("цех 1;\r\nпечь\t\"2\" ") + QChar(0) + QChar(1) + QChar(0x1F) +
                            QChar(0x7F) + QStringLiteral("\r");
    const QString quantity = QStringLiteral("_x0041_, _x005F_x0041_, _x00e9_");
    const QString unit = QStringLiteral("_X0041_ _x41_ _xZZZZ_ ") + QChar(0xFFFF) + QChar(0xD800) +
                         QStringLiteral(" \U0001F525 _x0041");
    TExportTableArray t;
    AddExportRecord(t, 4, TDeviceType::ThermoInputs, comment, 1, At(5, 1, 0), 1, 0, 0, quantity, unit);
    const QString file = dir.filePath(QStringLiteral("texts.xlsx"));
    QString err;
    ASSERT_TRUE(WriteExcelWorkbook(t, file, err)) << err.toStdString();
    if (!XlsxReader::Available())
        GTEST_SKIP() << "unzip is not installed: the workbook was written but is not read back";
    const auto cells = XlsxReader(file).Cells(1);
    EXPECT_EQ(text(cells, QStringLiteral("B4")), comment);
    EXPECT_EQ(text(cells, QStringLiteral("D4")), quantity);
    EXPECT_EQ(text(cells, QStringLiteral("E4")), unit);

    // Escapes count towards what a cell holds and are never cut: a cut text
    // reads back as the start of the original.
    const QString base(32759, QLatin1Char('a'));
    t.clear();
    AddExportRecord(t, 4, TDeviceType::ThermoInputs, base + QStringLiteral("\x01_x0041_"), 1, At(5, 1, 0), 1,
                    0, 0, quantity, unit);
    ASSERT_TRUE(WriteExcelWorkbook(t, file, err)) << err.toStdString();
    const QString cut = text(XlsxReader(file).Cells(1), QStringLiteral("B4"));
    EXPECT_TRUE(cut == base + QChar(1)) << cut.size() << " " << cut.right(3).toStdString();
}

TEST_F(ExcelIOTest, MoreDevicesThanOpenFilesGetTheirSheets)
{
    TExportTableArray t;
    constexpr int Devices = 150;
    for (int d = 1; d <= Devices; ++d)
        AddExportRecord(t, quint16(d), TDeviceType::Unknown, QString(), 1, At(5, 1, 0), float(d), 0, 0,
                        QString(), QString());
    const QString file = dir.filePath(QStringLiteral("many.xlsx"));
    QString err;
    {
        OpenFileLimit tight(64);
        ASSERT_TRUE(tight.ok());
        EXPECT_TRUE(WriteExcelWorkbook(t, file, err)) << err.toStdString();
    }
    if (!XlsxReader::Available())
        GTEST_SKIP() << "unzip is not installed: the workbook was written but is not read back";
    const XlsxReader book(file);
    EXPECT_EQ(book.SheetNames().size(), Devices);
    EXPECT_EQ(number(book.Cells(1), QStringLiteral("C4")), Devices);
}

TEST_F(ExcelIOTest, ADiskThatFillsUpWhileTheSheetIsWrittenFailsTheExport)
{
    TExportTableArray t;
    for (int r = 0; r < 20000; ++r)
        AddExportRecord(t, 5, TDeviceType::ThermoInputs, QString(), 1, At(5, 1, 0) + r * OneSecond,
                        float(r % 10), 0, 0, Temp, Deg);
    const QString file = dir.filePath(QStringLiteral("full.xlsx"));
    QString err;
    ASSERT_TRUE(WriteExcelWorkbook(t, file, err)) << err.toStdString();
    if (!XlsxReader::Available())
        GTEST_SKIP() << "unzip is not installed: the size of the sheet is not known";
    const qsizetype sheetSize = XlsxReader(file).Part(QStringLiteral("xl/worksheets/sheet1.xml")).size();
    // The packed workbook is far smaller than its sheet, so it fits where the
    // library's temporary copies of the sheet do not.
    ASSERT_LT(QFileInfo(file).size() * 4, sheetSize);
    ASSERT_TRUE(QFile::remove(file));

    const QString expected =
        QStringLiteral("Не удалось записать книгу \"") + file +
        QStringLiteral("\" (лист \"ЛО РВ-ТС|ТП, серийный № 00005\" записан не полностью; "
                       "возможно, на диске нет места).");
    // Full while the rows go out, or short of the sheet's last byte at its end;
    // one byte more is enough.
    for (const qsizetype room : {sheetSize / 4, sheetSize - 1, sheetSize}) {
        const FileSizeLimit full(static_cast<rlim_t>(room));
        ASSERT_TRUE(full.ok());
        const bool written = WriteExcelWorkbook(t, file, err);
        EXPECT_EQ(written, room == sheetSize) << room;
        EXPECT_EQ(err, written ? QString() : expected) << room;
        EXPECT_EQ(QFile::exists(file), written) << room;
    }
}

TEST(ExcelSheetName, IsValidShortAndUnique)
{
    const QStringList none;
    EXPECT_EQ(ExcelSheetName(QStringLiteral("ЛО РВ-ТС/ТП, серийный № 00123"), none),
              QStringLiteral("ЛО РВ-ТС|ТП, серийный № 00123"));
    EXPECT_EQ(ExcelSheetName(QStringLiteral("a[b]c:d*e?f/g\\h"), none), QStringLiteral("a|b|c|d|e|f|g|h"));
    EXPECT_EQ(ExcelSheetName(QStringLiteral("'Печь'"), none), QStringLiteral("Печь"));
    EXPECT_EQ(ExcelSheetName(QString(), none), QStringLiteral("Лист"));
    EXPECT_EQ(ExcelSheetName(QStringLiteral("''"), none), QStringLiteral("Лист"));

    const QString longTitle = QStringLiteral("Неизвестный прибор, серийный № 00123");
    EXPECT_EQ(ExcelSheetName(longTitle, none), longTitle.left(31));
    // A cut never splits a character made of two UTF-16 units.
    const QString emoji = QString(30, QLatin1Char('a')) + QString::fromUtf8("\xF0\x9F\x94\xA5");
    EXPECT_EQ(ExcelSheetName(emoji, none), QString(30, QLatin1Char('a')));

    // Names are compared without case; the suffix keeps the name within 31 characters.
    const QStringList taken{QStringLiteral("печь"), QStringLiteral("Печь (2)"), longTitle.left(31)};
    EXPECT_EQ(ExcelSheetName(QStringLiteral("ПЕЧЬ"), taken), QStringLiteral("ПЕЧЬ (3)"));
    EXPECT_EQ(ExcelSheetName(longTitle, taken), longTitle.left(27) + QStringLiteral(" (2)"));
}

TEST_F(ExcelIOTest, ExportWritesTheWorkbookAndHandsItToTheSpreadsheetApplication)
{
    ASSERT_TRUE(ExportToExcel(twoDevices(), nullptr, dir.path()));
    EXPECT_TRUE(prompts.Messages.isEmpty()) << prompts.Messages.join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(launcher.Opened.size(), 1);
    EXPECT_TRUE(launcher.ExistedWhenOpened);
    const QFileInfo opened(launcher.Opened.first());
    EXPECT_TRUE(opened.fileName().startsWith(QStringLiteral("Кловарис_")));
    EXPECT_EQ(opened.suffix(), QStringLiteral("xlsx"));
    EXPECT_EQ(exportFolders(), QStringList{opened.dir().dirName()});
    // Left for the application, which reads it after it started.
    EXPECT_EQ(head(opened.filePath(), 4), QByteArray("PK\x03\x04"));

    // Nobody saves into the temporary file.
    EXPECT_FALSE(launcher.WritableWhenOpened);

    // A second export gets a workbook of its own. An application that opens the
    // file itself rather than a new document from it: the user learns that it is
    // a temporary file and where it is.
    launcher.MakesCopy = false;
    ASSERT_TRUE(ExportToExcel({}, nullptr, dir.path()));
    ASSERT_EQ(launcher.Opened.size(), 2);
    EXPECT_NE(QFileInfo(launcher.Opened[1]).dir(), opened.dir());
    EXPECT_TRUE(opened.exists());
    EXPECT_EQ(exportFolders().size(), 2);
    EXPECT_EQ(prompts.Messages,
              QStringList{QStringLiteral("Кловарис|Книга открыта из временного файла \"") +
                          launcher.Opened[1] +
                          QStringLiteral("\" только для чтения. Чтобы сохранить её, выберите \"Сохранить "
                                         "как\" и другой каталог: временные файлы удаляются через сутки.")});
}

TEST_F(ExcelIOTest, FailuresAreReportedAndOpenNothing)
{
    // No spreadsheet application.
    launcher.Installed = false;
    EXPECT_FALSE(IsExcelInstalled());
    EXPECT_FALSE(ExportToExcel(twoDevices(), nullptr, dir.path()));
    EXPECT_EQ(prompts.Messages,
              QStringList{QStringLiteral("Кловарис|Приложение Microsoft Excel не найдено на компьютере!")});
    EXPECT_TRUE(launcher.Opened.isEmpty());
    EXPECT_TRUE(exportFolders().isEmpty());

    // The application does not start: the workbook is not left behind.
    launcher.Installed = true;
    launcher.Starts = false;
    prompts.Messages.clear();
    EXPECT_FALSE(ExportToExcel(twoDevices(), nullptr, dir.path()));
    EXPECT_EQ(prompts.Messages, QStringList{QStringLiteral("Кловарис|Не удалось создать книгу в Microsoft "
                                                           "Excel!\nНе удалось запустить \"calc\" (нет).")});
    EXPECT_EQ(launcher.Opened.size(), 1);
    EXPECT_TRUE(exportFolders().isEmpty());

    // A folder that cannot be written.
    launcher.Starts = true;
    launcher.Opened.clear();
    prompts.Messages.clear();
    QString err;
    const QString nowhere = dir.filePath(QStringLiteral("missing/book.xlsx"));
    EXPECT_FALSE(WriteExcelWorkbook(twoDevices(), nowhere, err));
    // The reason in Russian, the system's own included.
    EXPECT_EQ(err, QStringLiteral("Не удалось записать книгу \"") + nowhere +
                       QStringLiteral("\" (не удалось создать файл: нет такого файла или каталога)."));
    EXPECT_FALSE(ExportToExcel(twoDevices(), nullptr, dir.filePath(QStringLiteral("missing"))));
    ASSERT_EQ(prompts.Messages.size(), 1);
    EXPECT_TRUE(prompts.Messages[0].startsWith(
        QStringLiteral("Кловарис|Не удалось создать временный каталог для книги")))
        << prompts.Messages[0].toStdString();
    EXPECT_TRUE(launcher.Opened.isEmpty());
}

TEST_F(ExcelIOTest, ATableLongerThanASheetIsRefusedWithAMessage)
{
    // Rows up to Count for the second device.
    const auto grown = [](qsizetype Count) {
        TExportTableArray tables = twoDevices();
        TExportTable& t = tables[1];
        const TChanExportRec rec{1, 1, 0, 0, Temp, Deg};
        while (qsizetype(t.RowCount()) < Count)
            t.AppendRow(At(7, 0, 0) + double(t.RowCount()) * OneSecond, QString(), rec);
        return tables;
    };
    TExportTableArray tables = grown(MaxExcelRecords + 1);
    QString err;
    EXPECT_FALSE(ExcelTablesFit(tables, err));
    const QString expected = QStringLiteral(
        "Слишком много записей для одного листа Excel: у прибора \"ЛО РВ-Т/Н, серийный № 00007\" "
        "их больше, чем помещается на листе (1048573). Книга не создана. Уменьшите "
        "период экспорта.");
    EXPECT_EQ(err, expected);

    EXPECT_FALSE(ExportToExcel(tables, nullptr, dir.path()));
    EXPECT_EQ(prompts.Messages, QStringList{QStringLiteral("Кловарис|") + expected});
    EXPECT_TRUE(launcher.Opened.isEmpty());
    EXPECT_TRUE(exportFolders().isEmpty());

    // The file writer refuses it too, before writing anything.
    const QString file = dir.filePath(QStringLiteral("long.xlsx"));
    EXPECT_FALSE(WriteExcelWorkbook(tables, file, err));
    EXPECT_EQ(err, expected);
    EXPECT_FALSE(QFile::exists(file));

    // The last row of a sheet is still allowed.
    tables = grown(MaxExcelRecords);
    EXPECT_TRUE(ExcelTablesFit(tables, err));
    EXPECT_TRUE(err.isEmpty());
}

TEST_F(ExcelIOTest, OnlyExportFoldersOlderThanADayAreRemoved)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir(ExcelFolderPrefix + QStringLiteral("old")));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("other")));
    QFile inside(dir.filePath(ExcelFolderPrefix + QStringLiteral("old/book.xlsx")));
    ASSERT_TRUE(inside.open(QIODevice::WriteOnly));
    inside.close();

    RemoveOldExcelFolders(dir.path(), QDateTime::currentDateTime().addSecs(23 * 3600));
    EXPECT_EQ(exportFolders().size(), 1);
    RemoveOldExcelFolders(dir.path(), QDateTime::currentDateTime().addDays(2));
    EXPECT_TRUE(exportFolders().isEmpty());
    EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("other"))).exists());
}

// The desktop launcher with PATH and the XDG folders pointing at a folder of
// stand-in programs and application entries.
class DesktopLauncherTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        for (const char* name : {"PATH", "XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME",
                                 "XDG_CONFIG_DIRS", "XDG_CURRENT_DESKTOP"})
            saved.emplace_back(name,
                               qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
        for (const char* sub : {"bin", "home/applications", "sys/applications/office", "config", "etc"})
            ASSERT_TRUE(QDir(dir.path()).mkpath(QLatin1String(sub)));
        qputenv("PATH", QFile::encodeName(path("bin")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(path("home")));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(path("sys")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path("config")));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(path("etc")));
        qputenv("XDG_CURRENT_DESKTOP", "Test");
        Prompts::SetCurrent(&prompts);
    }
    void TearDown() override
    {
        Prompts::SetCurrent(nullptr);
        for (const auto& [name, value] : saved) {
            if (value)
                qputenv(name, *value);
            else
                qunsetenv(name);
        }
    }

    QString path(const QString& Name) const { return dir.filePath(Name); }
    void write(const QString& Name, const QByteArray& Text) const
    {
        QFile f(path(Name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(Text);
    }
    // A program that writes its arguments, one a line, to Name.log beside it.
    void addProgram(const QString& Name, const QByteArray& Interpreter = "/bin/sh") const
    {
        write(Name, "#!" + Interpreter +
                        "\nprintf '%s\\n' \"$@\" > \"$0.log.tmp\" && /bin/mv \"$0.log.tmp\" \"$0.log\"\n");
        QFile::setPermissions(path(Name), QFile::permissions(path(Name)) | QFileDevice::ExeOwner);
    }
    // The arguments the program was started with, waiting for it up to 10 s.
    QStringList argumentsOf(const QString& Name) const
    {
        QFile log(path(Name + QStringLiteral(".log")));
        QElapsedTimer waited;
        waited.start();
        while (!log.exists() && waited.elapsed() < 10000)
            QThread::msleep(10);
        if (!log.open(QIODevice::ReadOnly))
            return {QStringLiteral("<not started>")};
        return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QTemporaryDir dir;
    std::vector<std::pair<const char*, std::optional<QByteArray>>> saved;
    ScriptedPrompts prompts;
    TSpreadsheetLauncher desktop;
    const QString file = path(QStringLiteral("Кловарис_20261207_060509.xlsx"));
    const QByteArray xlsx = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";
};

TEST_F(DesktopLauncherTest, OnlyAnInstalledApplicationForWorkbooksCounts)
{
    // A program that opens anything is no spreadsheet application.
    addProgram(QStringLiteral("bin/xdg-open"));
    EXPECT_FALSE(desktop.Available());
    EXPECT_FALSE(desktop.Open(file));
    EXPECT_FALSE(desktop.OpenError().isEmpty());
    // An entry for other types; one for workbooks whose program is missing, or hidden.
    write(QStringLiteral("home/applications/text.desktop"),
          "[Desktop Entry]\nType=Application\nExec=xdg-open %f\nMimeType=text/plain;\n");
    write(QStringLiteral("sys/applications/office/calc.desktop"),
          "[Desktop Entry]\nType=Application\nExec=calc %U\nMimeType=text/csv;" + xlsx + ";\n");
    write(QStringLiteral("sys/applications/gone.desktop"),
          "[Desktop Entry]\nType=Application\nHidden=true\nExec=xdg-open %f\nMimeType=" + xlsx + "\n");
    // A terminal program, which would start unseen.
    write(QStringLiteral("sys/applications/sheet-tui.desktop"),
          "[Desktop Entry]\nType=Application\nTerminal=true\nExec=xdg-open %f\nMimeType=" + xlsx + "\n");
    EXPECT_FALSE(desktop.Available());
    // The association taken away in the user's list.
    addProgram(QStringLiteral("bin/calc"));
    write(QStringLiteral("config/mimeapps.list"),
          "[Removed Associations]\n" + xlsx + "=office-calc.desktop;\n");
    EXPECT_FALSE(desktop.Available());
    QFile::remove(path(QStringLiteral("config/mimeapps.list")));
    EXPECT_TRUE(desktop.Available());

    // LibreOffice, under either name, comes first and makes a new document from the file.
    for (const QString& name : {QStringLiteral("libreoffice"), QStringLiteral("soffice")}) {
        addProgram(QStringLiteral("bin/") + name);
        ASSERT_TRUE(desktop.Open(file)) << desktop.OpenError().toStdString();
        EXPECT_TRUE(desktop.OpenedCopy());
        EXPECT_EQ(argumentsOf(QStringLiteral("bin/") + name),
                  (QStringList{QStringLiteral("--calc"), QStringLiteral("-n"), file}));
    }
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("bin/calc.log"))));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("bin/xdg-open.log"))));
}

TEST_F(DesktopLauncherTest, ALibreOfficeWithoutWindowsDoesNotCount)
{
    // Installed as Debian does: the program beside its core library, linked from PATH.
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("lo/program")));
    addProgram(QStringLiteral("lo/program/soffice"));
    write(QStringLiteral("lo/program/libmergedlo.so"), "");
    ASSERT_TRUE(QFile::link(path(QStringLiteral("lo/program/soffice")), path(QStringLiteral("bin/soffice"))));
    EXPECT_FALSE(desktop.Available());
    EXPECT_FALSE(desktop.Open(file));
    EXPECT_FALSE(desktop.OpenError().isEmpty());

    // The desktop's application for workbooks is taken instead.
    addProgram(QStringLiteral("bin/calc"));
    write(QStringLiteral("sys/applications/office/calc.desktop"),
          "[Desktop Entry]\nType=Application\nExec=calc %f\nMimeType=" + xlsx + ";\n");
    ASSERT_TRUE(desktop.Open(file)) << desktop.OpenError().toStdString();
    EXPECT_EQ(argumentsOf(QStringLiteral("bin/calc")), QStringList{file});
}

TEST_F(DesktopLauncherTest, WithoutLibreOfficeTheDesktopDefaultOpensTheFileItself)
{
    // Any entry for workbooks, the URL in place of %U.
    addProgram(QStringLiteral("bin/calc"));
    write(QStringLiteral("sys/applications/office/calc.desktop"),
          "[Desktop Entry]\nType=Application\nName=Calc\nExec=calc --view %U\nMimeType=" + xlsx + ";\n");
    ASSERT_TRUE(desktop.Open(file)) << desktop.OpenError().toStdString();
    EXPECT_FALSE(desktop.OpenedCopy());
    QStringList args = argumentsOf(QStringLiteral("bin/calc"));
    ASSERT_EQ(args.size(), 2) << args.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(args[0], QStringLiteral("--view"));
    EXPECT_EQ(QUrl(args[1]).toLocalFile(), file);

    // The desktop's own default wins over the user's common one, which wins
    // over any other entry; a program path with a blank in quotes, the file for %f.
    ASSERT_TRUE(QDir(path(QStringLiteral("bin"))).mkdir(QStringLiteral("my apps")));
    addProgram(QStringLiteral("bin/my apps/sheets"));
    addProgram(QStringLiteral("bin/other"));
    write(QStringLiteral("home/applications/sheets.desktop"),
          "[Desktop Entry]\nType=Application\nExec=\"" + path(QStringLiteral("bin/my apps/sheets")).toUtf8() +
              "\" --title \"a \\\\\"b\\\\\" 100%%\" %f\n");
    write(QStringLiteral("home/applications/other.desktop"),
          "[Desktop Entry]\nType=Application\nExec=other\n");
    write(QStringLiteral("config/mimeapps.list"),
          "[Default Applications]\n" + xlsx + "=missing.desktop;other.desktop\n");
    write(QStringLiteral("config/test-mimeapps.list"),
          "[Default Applications]\n" + xlsx + "=sheets.desktop\n");
    ASSERT_TRUE(desktop.Open(file)) << desktop.OpenError().toStdString();
    EXPECT_EQ(argumentsOf(QStringLiteral("bin/my apps/sheets")),
              (QStringList{QStringLiteral("--title"), QStringLiteral("a \"b\" 100%"), file}));
    // Without a field code the file comes last.
    QFile::remove(path(QStringLiteral("config/test-mimeapps.list")));
    ASSERT_TRUE(desktop.Open(file)) << desktop.OpenError().toStdString();
    EXPECT_EQ(argumentsOf(QStringLiteral("bin/other")), QStringList{file});
}

TEST_F(DesktopLauncherTest, FieldCodesInsideArgumentsAreExpanded)
{
    addProgram(QStringLiteral("bin/calc"));
    const QString entry = path(QStringLiteral("sys/applications/office/calc.desktop"));
    write(QStringLiteral("sys/applications/office/calc.desktop"),
          "[Desktop Entry]\nType=Application\nName=Calc\nName[ru]=Таблицы\nIcon=calc-icon\n"
          "Exec=calc --open=%u --caption=%c %i %k %d --rate=5%% \"%%f\"\nMimeType=" +
              xlsx + ";\n");
    ASSERT_TRUE(desktop.Open(file)) << desktop.OpenError().toStdString();
    const QString url = QString::fromLatin1(QUrl::fromLocalFile(file).toEncoded());
    EXPECT_EQ(argumentsOf(QStringLiteral("bin/calc")),
              (QStringList{QStringLiteral("--open=") + url, QStringLiteral("--caption=Calc"),
                           QStringLiteral("--icon"), QStringLiteral("calc-icon"), entry,
                           QStringLiteral("--rate=5%"), QStringLiteral("%f")}));
}

TEST_F(DesktopLauncherTest, AProgramThatCannotStartIsReported)
{
    // Found and executable, but its interpreter is missing.
    addProgram(QStringLiteral("bin/soffice"), "/nonexistent/sh");
    ASSERT_TRUE(desktop.Available());
    EXPECT_FALSE(desktop.Open(file));
    EXPECT_TRUE(desktop.OpenError().startsWith(QStringLiteral("Не удалось запустить \"") +
                                               path(QStringLiteral("bin/soffice")) + QStringLiteral("\" (")))
        << desktop.OpenError().toStdString();

    // The export says so and leaves no workbook behind.
    const QString root = path(QStringLiteral("tmp"));
    ASSERT_TRUE(QDir().mkpath(root));
    EXPECT_FALSE(ExportToExcel(twoDevices(), nullptr, root));
    ASSERT_EQ(prompts.Messages.size(), 1);
    EXPECT_TRUE(prompts.Messages[0].startsWith(
        QStringLiteral("Кловарис|Не удалось создать книгу в Microsoft Excel!\nНе удалось запустить \"")))
        << prompts.Messages[0].toStdString();
    EXPECT_TRUE(QDir(root).isEmpty());
}

} // namespace
