#include "archive/ExcelIO.h"

#include "archive/ExportChannels.h"
#include "archive/XlsxRowCount.h"
#include "platform/DesktopApplication.h"
#include "platform/Prompts.h"
#include "platform/SystemError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <map>
#include <sys/resource.h>
#include <vector>
#include <xlsxwriter.h>

namespace {

const QString Caption = QStringLiteral("Кловарис");
// A cell holds at most this many characters.
constexpr qsizetype MaxCellText = 32767;
constexpr qsizetype MaxSheetName = 31;
constexpr int FirstRecordRow = 3; // 0-based: row 4

TSpreadsheetLauncher* currentLauncher = nullptr;

// A LibreOffice built without windows (Debian's "nogui" packages) has its core
// library but no window-system plug-in: started on a workbook it shows nothing
// and quits, so the export would seem to succeed with nothing on the screen.
bool libreOfficeIsWindowless(const QString& Program)
{
    const QDir folder = QFileInfo(QFileInfo(Program).canonicalFilePath()).dir();
    const bool core =
        folder.exists(QStringLiteral("libmergedlo.so")) || folder.exists(QStringLiteral("libvcllo.so"));
    return core && folder.entryList({QStringLiteral("libvclplug_*")}, QDir::Files).isEmpty();
}

// LibreOffice under either of its program names, when it can show a window.
QString libreOffice()
{
    for (const char* name : {"soffice", "libreoffice"}) {
        const QString program = QStandardPaths::findExecutable(QLatin1String(name));
        if (!program.isEmpty() && !libreOfficeIsWindowless(program))
            return program;
    }
    return {};
}

// Spreadsheet programs read "_xHHHH_" in a cell text as the UTF-16 unit HHHH.
bool isEscapeAt(const QString& Text, qsizetype I)
{
    if (I + 7 > Text.size() || Text[I] != u'_' || Text[I + 1] != u'x' || Text[I + 6] != u'_')
        return false;
    const auto hex = [](QChar C) {
        return (C >= u'0' && C <= u'9') || (C >= u'a' && C <= u'f') || (C >= u'A' && C <= u'F');
    };
    return std::all_of(Text.begin() + I + 2, Text.begin() + I + 6, hex);
}

// The text as the cell must hold it to read back unchanged: a literal "_xHHHH_"
// gets its underscore escaped ("_x005F_"), and what XML cannot carry (control
// characters but tab and line feed, U+FFFE, U+FFFF, a lone surrogate) and a CR,
// which XML readers turn into a line feed, are written as "_xHHHH_" (the library
// would cut the text at a NUL). Cut to what a cell holds, counting the escapes
// and never inside one.
QByteArray cellText(const QString& Text)
{
    const auto plain = [](QChar C) {
        return C.unicode() >= 0x20 ? C != u'_' && !C.isSurrogate() && C.unicode() < 0xFFFE
                                   : C == u'\t' || C == u'\n';
    };
    if (Text.size() <= MaxCellText && std::all_of(Text.begin(), Text.end(), plain))
        return Text.toUtf8();
    QString cell;
    cell.reserve(std::min(Text.size(), MaxCellText));
    for (qsizetype i = 0; i < Text.size(); ++i) {
        const QChar c = Text[i];
        const bool pair = c.isHighSurrogate() && i + 1 < Text.size() && Text[i + 1].isLowSurrogate();
        QString piece;
        if (isEscapeAt(Text, i))
            piece = QStringLiteral("_x005F_");
        else if ((c.unicode() < 0x20 && c != u'\t' && c != u'\n') || c.unicode() >= 0xFFFE ||
                 (c.isSurrogate() && !pair))
            piece =
                QStringLiteral("_x%1_").arg(QString::number(c.unicode(), 16).toUpper(), 4, QLatin1Char('0'));
        else if (pair)
            piece = Text.mid(i++, 2);
        else
            piece = c;
        if (cell.size() + piece.size() > MaxCellText)
            break;
        cell += piece;
    }
    return cell.toUtf8();
}

// How many characters the application shows for a number in the general format.
qsizetype numberWidth(double Value)
{
    return std::min<qsizetype>(QString::number(Value, 'g', 10).size(), 11);
}

// Column widths as the application's fitting would set them: by the longest text
// of the column's cells; a header merged across columns does not count.
class ColumnFit
{
public:
    void Take(int Col, qsizetype Chars) { widest_[Col] = std::max(widest_[Col], Chars); }
    void Apply(lxw_worksheet* Sheet) const
    {
        for (const auto& [col, chars] : widest_) {
            const double width = std::min(255.0, double(chars) * 1.1 + 1.0);
            worksheet_set_column(Sheet, lxw_col_t(col), lxw_col_t(col), width, nullptr);
        }
    }

private:
    std::map<int, qsizetype> widest_;
};

// In constant memory every sheet keeps a temporary file open until the workbook
// closes, so many devices can need more files than the usual soft limit; it is
// raised, up to the hard limit, while the workbook is written.
class OpenFileAllowance
{
public:
    explicit OpenFileAllowance(size_t Sheets)
    {
        // Room for the program's own files besides.
        const rlim_t wanted = rlim_t(Sheets) + 256;
        if (getrlimit(RLIMIT_NOFILE, &saved_) != 0 || saved_.rlim_cur == RLIM_INFINITY ||
            saved_.rlim_cur >= wanted)
            return;
        rlimit raised = saved_;
        raised.rlim_cur = saved_.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, saved_.rlim_max);
        raised_ = setrlimit(RLIMIT_NOFILE, &raised) == 0;
    }
    ~OpenFileAllowance() { Restore(); }
    OpenFileAllowance(const OpenFileAllowance&) = delete;
    OpenFileAllowance& operator=(const OpenFileAllowance&) = delete;

    void Restore()
    {
        if (raised_)
            setrlimit(RLIMIT_NOFILE, &saved_);
        raised_ = false;
    }

private:
    rlimit saved_{};
    bool raised_ = false;
};

// The library's reasons are English and the operator reads Russian. For a file
// that cannot be made, written or read, the system's reason follows.
QString workbookReason(lxw_error Error, int ErrorNumber)
{
    QString reason;
    bool file = true;
    switch (Error) {
    case LXW_ERROR_MEMORY_MALLOC_FAILED:
        reason = QStringLiteral("недостаточно памяти");
        file = false;
        break;
    case LXW_ERROR_CREATING_XLSX_FILE:
        reason = QStringLiteral("не удалось создать файл");
        break;
    case LXW_ERROR_CREATING_TMPFILE:
        reason = QStringLiteral("не удалось создать временный файл");
        break;
    case LXW_ERROR_READING_TMPFILE:
        reason = QStringLiteral("не удалось прочитать временный файл");
        break;
    case LXW_ERROR_ZIP_FILE_OPERATION:
    case LXW_ERROR_ZIP_FILE_ADD:
    case LXW_ERROR_ZIP_CLOSE:
        reason = QStringLiteral("ошибка записи файла");
        break;
    default:
        reason = QStringLiteral("внутренняя ошибка библиотеки xlsxwriter, код %1").arg(int(Error));
        file = false;
        break;
    }
    return file && ErrorNumber != 0 ? reason + QStringLiteral(": ") + SystemError::Text(ErrorNumber) : reason;
}

struct Formats
{
    lxw_format* Centred = nullptr;
    lxw_format* DateTime = nullptr;
};

// Writes one table; the first error ends it.
lxw_error writeSheet(lxw_worksheet* Sheet, const TExportTable& Table, const Formats& F)
{
    lxw_error err = LXW_NO_ERROR;
    const auto check = [&err](lxw_error E) {
        if (err == LXW_NO_ERROR)
            err = E;
    };
    const auto text = [&](int Row, int Col, const QString& Text, lxw_format* Format = nullptr) {
        check(worksheet_write_string(Sheet, lxw_row_t(Row), lxw_col_t(Col), cellText(Text).constData(),
                                     Format));
    };
    const auto merged = [&](int Row1, int Col1, int Row2, int Col2, const QString& Text) {
        check(worksheet_merge_range(Sheet, lxw_row_t(Row1), lxw_col_t(Col1), lxw_row_t(Row2), lxw_col_t(Col2),
                                    cellText(Text).constData(), F.Centred));
    };
    // A value the file format cannot hold as a number is shown as text.
    const auto number = [&](int Row, int Col, float Value) {
        const double v = double(Value);
        if (std::isfinite(v))
            check(worksheet_write_number(Sheet, lxw_row_t(Row), lxw_col_t(Col), v, nullptr));
        else
            text(Row, Col,
                 std::isnan(v) ? QStringLiteral("NAN")
                 : v > 0       ? QStringLiteral("INF")
                               : QStringLiteral("-INF"));
    };

    const TExportChannels channels(Table);
    ColumnFit fit;
    text(0, 0, Table.Title);
    fit.Take(0, Table.Title.size());

    // The rows go out in order and a row is final once a cell of a later one is
    // written. merge_range writes its first cell and blanks over the rest, so the
    // ranges within row 2 come first, then the two spanning rows 2 and 3: the first
    // of these writes A2 and its blank in A3 closes row 2; the second one's write
    // of B2 is then refused without an error, so B2 is written beforehand.
    const QString dateHead = QStringLiteral("Дата, время");
    const QString commentHead = QStringLiteral("Комментарий");
    text(1, 1, commentHead, F.Centred);
    const QStringList blockHeads{QStringLiteral("значение"), QStringLiteral("величина"),
                                 QStringLiteral("ед. изм."), QStringLiteral("min порог"),
                                 QStringLiteral("max порог")};
    for (const quint8 channel : channels.Order()) {
        const int first = 2 + 5 * channels.Block(channel);
        // "Kанал" starts with a Latin K.
        merged(1, first, 1, first + 4, QStringLiteral("Kанал ") + QString::number(channel));
    }
    merged(1, 0, 2, 0, dateHead);
    merged(1, 1, 2, 1, commentHead);
    // These two are merged over rows only, so they count for their column; a
    // channel's caption spans its block and does not.
    fit.Take(0, dateHead.size());
    fit.Take(1, commentHead.size());
    for (const quint8 channel : channels.Order()) {
        const int first = 2 + 5 * channels.Block(channel);
        for (int i = 0; i < 5; ++i) {
            text(2, first + i, blockHeads[i], F.Centred);
            fit.Take(first + i, blockHeads[i].size());
        }
    }

    int row = FirstRecordRow;
    TExportMeasRec rec;
    for (std::size_t r = 0; r < Table.RowCount(); ++r) {
        Table.GetRow(r, rec);
        check(worksheet_write_number(Sheet, lxw_row_t(row), 0, rec.MeasDateTime, F.DateTime));
        fit.Take(0, ExcelDateTimeFormat.size());
        text(row, 1, rec.Comment);
        fit.Take(1, rec.Comment.size());
        for (const TChanExportRec& chan : rec.ChanRecs) {
            const int first = 2 + 5 * channels.Block(chan.ChannelNum);
            number(row, first, chan.Value);
            fit.Take(first, numberWidth(double(chan.Value)));
            text(row, first + 1, chan.QuantityName);
            fit.Take(first + 1, chan.QuantityName.size());
            text(row, first + 2, chan.MeasUnitName);
            fit.Take(first + 2, chan.MeasUnitName.size());
            number(row, first + 3, chan.MinAlert);
            fit.Take(first + 3, numberWidth(double(chan.MinAlert)));
            number(row, first + 4, chan.MaxAlert);
            fit.Take(first + 4, numberWidth(double(chan.MaxAlert)));
        }
        ++row;
    }
    // Widths go into the part's head, which is assembled when the workbook closes.
    fit.Apply(Sheet);
    return err;
}

} // namespace

QString ExcelSheetName(const QString& Title, const QStringList& Taken)
{
    static const QString forbidden = QStringLiteral("[]:*?/\\");
    QString base = Title;
    for (QChar& c : base) {
        if (forbidden.contains(c))
            c = QLatin1Char('|');
    }
    while (base.startsWith(QLatin1Char('\'')))
        base.remove(0, 1);
    if (base.isEmpty())
        base = QStringLiteral("Лист");

    // Cut at whole characters, and drop an apostrophe the cut brings to the end.
    const auto cut = [](QString Name, qsizetype Max) {
        if (Name.size() > Max) {
            Name.truncate(Name.at(Max - 1).isHighSurrogate() ? Max - 1 : Max);
        }
        while (Name.endsWith(QLatin1Char('\'')))
            Name.chop(1);
        return Name.isEmpty() ? QStringLiteral("Лист") : Name;
    };
    const auto taken = [&Taken](const QString& Name) { return Taken.contains(Name, Qt::CaseInsensitive); };

    QString name = cut(base, MaxSheetName);
    for (int n = 2; taken(name); ++n) {
        const QString suffix = QStringLiteral(" (%1)").arg(n);
        name = cut(base, MaxSheetName - suffix.size()) + suffix;
    }
    return name;
}

bool ExcelTableFits(const TExportTable& Table, QString& ErrMsg, qsizetype Limit)
{
    ErrMsg.clear();
    if (qsizetype(Table.RowCount()) <= Limit)
        return true;
    // The reading stops at the first row past the limit, so the full count is not known.
    ErrMsg = QStringLiteral("Слишком много записей для одного листа Excel: у прибора \"%1\" их больше, "
                            "чем помещается на листе (%2). Книга не создана. Уменьшите период "
                            "экспорта.")
                 .arg(Table.Title)
                 .arg(Limit);
    return false;
}

bool ExcelTablesFit(const TExportTableArray& Tables, QString& ErrMsg)
{
    ErrMsg.clear();
    for (const TExportTable& table : Tables) {
        if (!ExcelTableFits(table, ErrMsg))
            return false;
    }
    return true;
}

bool WriteExcelWorkbook(const TExportTableArray& Tables, const QString& FileName, QString& ErrMsg)
{
    if (!ExcelTablesFit(Tables, ErrMsg))
        return false;

    OpenFileAllowance allowance(Tables.size());
    const QByteArray path = QFile::encodeName(FileName);
    QByteArray tmpDir = QFile::encodeName(QFileInfo(FileName).absolutePath());
    lxw_workbook_options options{};
    // Rows go to the sheet's temporary file as they are written, so the memory
    // used does not grow with the rows.
    options.constant_memory = LXW_TRUE;
    options.tmpdir = tmpDir.data();
    options.use_zip64 = LXW_TRUE; // large exports pass 4 GB of XML
    lxw_workbook* book = workbook_new_opt(path.constData(), &options);
    if (!book) {
        ErrMsg = QStringLiteral("Не удалось создать книгу \"%1\".").arg(FileName);
        return false;
    }
    const auto fail = [&](const QString& Text) {
        lxw_workbook_free(book);
        ErrMsg = Text;
        return false;
    };

    Formats formats;
    formats.Centred = workbook_add_format(book);
    format_set_align(formats.Centred, LXW_ALIGN_CENTER);
    format_set_align(formats.Centred, LXW_ALIGN_VERTICAL_CENTER);
    formats.DateTime = workbook_add_format(book);
    format_set_num_format(formats.DateTime, ExcelDateTimeFormat.toUtf8().constData());

    // Names in table order, so the first of two alike keeps the plain name.
    QStringList names;
    for (const TExportTable& table : Tables)
        names << ExcelSheetName(table.Title, names);

    for (qsizetype i = qsizetype(Tables.size()) - 1; i >= 0; --i) {
        lxw_worksheet* sheet = workbook_add_worksheet(book, names[i].toUtf8().constData());
        if (!sheet)
            return fail(QStringLiteral("Активация листа завершена с ошибкой"));
        const lxw_error err = writeSheet(sheet, Tables[size_t(i)], formats);
        if (err != LXW_NO_ERROR) {
            return fail(QStringLiteral("Не удалось записать лист \"%1\" (%2).")
                            .arg(names[i], workbookReason(err, 0)));
        }
    }

    errno = 0;
    const lxw_error err = workbook_close(book);
    const int systemError = errno;
    allowance.Restore();
    if (err != LXW_NO_ERROR) {
        ErrMsg = QStringLiteral("Не удалось записать книгу \"%1\" (%2).")
                     .arg(FileName, workbookReason(err, systemError));
        QFile::remove(FileName);
        return false;
    }
    // The library writes the rows through temporary files and does not check
    // those writes, so a disk that fills up meanwhile gives a workbook with rows
    // missing and no error: the sheets are read back and their rows counted.
    std::vector<qint64> rows;
    QString reason;
    if (!CountXlsxSheetRows(FileName, rows, reason)) {
        ErrMsg = QStringLiteral("Не удалось записать книгу \"%1\" (%2).").arg(FileName, reason);
        QFile::remove(FileName);
        return false;
    }
    for (size_t i = 0; i < Tables.size(); ++i) {
        // Sheets stand in reverse order; the title row is left out when empty.
        const TExportTable& table = Tables[Tables.size() - 1 - i];
        const qint64 expected = qint64(table.RowCount()) + (table.Title.isEmpty() ? 2 : 3);
        if (rows.size() != Tables.size() || rows[i] != expected) {
            ErrMsg = QStringLiteral("Не удалось записать книгу \"%1\" (лист \"%2\" записан не полностью; "
                                    "возможно, на диске нет места).")
                         .arg(FileName, names[qsizetype(Tables.size() - 1 - i)]);
            QFile::remove(FileName);
            return false;
        }
    }
    ErrMsg.clear();
    return true;
}

void RemoveOldExcelFolders(const QString& TempRoot, const QDateTime& Now)
{
    const QDir root(TempRoot);
    const QFileInfoList folders =
        root.entryInfoList({ExcelFolderPrefix + QLatin1Char('*')}, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo& folder : folders) {
        if (folder.lastModified().secsTo(Now) > 24 * 3600)
            QDir(folder.absoluteFilePath()).removeRecursively();
    }
}

bool TSpreadsheetLauncher::Available() const
{
    return !libreOffice().isEmpty() || TDesktopApplication().Find(ExcelMimeType);
}

bool TSpreadsheetLauncher::Open(const QString& FileName)
{
    openError_.clear();
    QProcess process;
    const QString soffice = libreOffice();
    TDesktopApplication desktop;
    if (!soffice.isEmpty()) {
        process.setProgram(soffice);
        process.setArguments({QStringLiteral("--calc"), QStringLiteral("-n"), FileName});
    } else if (desktop.Find(ExcelMimeType)) {
        process.setProgram(desktop.Program());
        process.setArguments(desktop.Arguments(FileName));
    } else {
        openError_ = QStringLiteral("Не найдено приложение, открывающее книги .xlsx.");
        return false;
    }
    openedCopy_ = !soffice.isEmpty();
    if (!process.startDetached()) {
        openError_ = QStringLiteral("Не удалось запустить \"%1\" (%2).")
                         .arg(process.program(), SystemError::Russian(process.errorString()));
        return false;
    }
    return true;
}

TSpreadsheetLauncher& TSpreadsheetLauncher::Current()
{
    static TSpreadsheetLauncher desktop;
    return currentLauncher ? *currentLauncher : desktop;
}

void TSpreadsheetLauncher::SetCurrent(TSpreadsheetLauncher* Launcher)
{
    currentLauncher = Launcher;
}

bool IsExcelInstalled()
{
    return TSpreadsheetLauncher::Current().Available();
}

bool ExportToExcel(const TExportTableArray& Tables, QWidget* Parent, const QString& TempRoot)
{
    Prompts& prompts = Prompts::Current();
    if (!IsExcelInstalled()) {
        prompts.Message(Parent, QStringLiteral("Приложение Microsoft Excel не найдено на компьютере!"),
                        Caption, QMessageBox::NoIcon);
        return false;
    }
    QString errMsg;
    if (!ExcelTablesFit(Tables, errMsg)) {
        prompts.Message(Parent, errMsg, Caption, QMessageBox::Warning);
        return false;
    }

    const QString root = TempRoot.isEmpty() ? QDir::tempPath() : TempRoot;
    const QDateTime now = QDateTime::currentDateTime();
    RemoveOldExcelFolders(root, now);
    // Kept after the export: the application reads the file after it started.
    QTemporaryDir folder(QDir(root).filePath(ExcelFolderPrefix + QStringLiteral("XXXXXX")));
    if (!folder.isValid()) {
        prompts.Message(Parent,
                        QStringLiteral("Не удалось создать временный каталог для книги (%1).")
                            .arg(SystemError::Russian(folder.errorString())),
                        Caption, QMessageBox::Critical);
        return false;
    }
    folder.setAutoRemove(false);
    const QString file =
        folder.filePath(QStringLiteral("Кловарис_") + now.toString(QStringLiteral("yyyyMMdd_HHmmss")) +
                        QStringLiteral(".xlsx"));

    if (!WriteExcelWorkbook(Tables, file, errMsg)) {
        QDir(folder.path()).removeRecursively();
        prompts.Message(Parent, errMsg, Caption, QMessageBox::Critical);
        return false;
    }
    // The folder goes with the next exports a day later: an application that
    // edits the file itself keeps the user from saving into it.
    QFile::setPermissions(file, QFileDevice::ReadOwner);
    TSpreadsheetLauncher& launcher = TSpreadsheetLauncher::Current();
    if (!launcher.Open(file)) {
        QDir(folder.path()).removeRecursively();
        QString text = QStringLiteral("Не удалось создать книгу в Microsoft Excel!");
        if (!launcher.OpenError().isEmpty())
            text += QLatin1Char('\n') + launcher.OpenError();
        prompts.Message(Parent, text, Caption, QMessageBox::NoIcon);
        return false;
    }
    if (!launcher.OpenedCopy()) {
        prompts.Message(Parent,
                        QStringLiteral("Книга открыта из временного файла \"%1\" только для чтения. Чтобы "
                                       "сохранить её, выберите \"Сохранить как\" и другой каталог: временные "
                                       "файлы удаляются через сутки.")
                            .arg(QDir::toNativeSeparators(file)),
                        Caption, QMessageBox::Information);
    }
    return true;
}
