#include "archive/CsvExport.h"

#include "archive/ExportChannels.h"
#include "core/StringFunc.h"
#include "platform/CodePage.h"
#include "platform/Prompts.h"
#include "platform/SystemError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const QString Caption = QStringLiteral("Кловарис");
const QChar Separator = QLatin1Char(';');

const QChar Quote = QLatin1Char('"');
// As the Russian system shows a date-time; the hour without a leading zero.
const QString DateFormat = QStringLiteral("dd.MM.yyyy");
const QString TimeFormat = QStringLiteral("H:mm:ss");
const QString LineEnd = QStringLiteral("\r\n");
// The file text is encoded and written in pieces of about this many characters.
constexpr qsizetype WriteChunk = 1 << 16;

QString headerLine(const TExportChannels& Channels)
{
    QStringList header{QStringLiteral("Дата, время"), QStringLiteral("Комментарий")};
    for (const quint8 channel : Channels.Order()) {
        // "K" is the Latin letter here.
        const QString k = QStringLiteral("K") + QString::number(channel);
        header << k + QStringLiteral(",значение") << k + QStringLiteral(",величина")
               << k + QStringLiteral(",ед. изм.") << k + QStringLiteral(",min порог")
               << k + QStringLiteral(",max порог");
    }
    return header.join(Separator);
}

// Lines of one table's rows. A row ends after its last channel block; blocks
// before it that the row lacks are empty. The texts of a day's date and of limits
// repeat from row to row and are made once.
class RowLines
{
public:
    explicit RowLines(const TExportChannels& Channels)
        : channels_(Channels), limits_(2 * Channels.Order().size())
    {
    }

    QString Line(const TExportMeasRec& Row)
    {
        QStringList cells{dateTimeCell(Row.MeasDateTime), CsvCellText(Row.Comment)};
        for (const TChanExportRec& rec : Row.ChanRecs) {
            const qsizetype c = channels_.Block(rec.ChannelNum);
            while (cells.size() < 5 * c + 7)
                cells << QString();
            cells[5 * c + 2] = numberCell(rec.Value);
            cells[5 * c + 3] = CsvCellText(rec.QuantityName);
            cells[5 * c + 4] = CsvCellText(rec.MeasUnitName);
            cells[5 * c + 5] = limits_[size_t(2 * c)].Cell(rec.MinAlert);
            cells[5 * c + 6] = limits_[size_t(2 * c + 1)].Cell(rec.MaxAlert);
        }
        return cells.join(Separator);
    }

private:
    // Values are written as on a Russian system: the general format with a comma.
    static QString numberCell(float Value) { return FloatToStr(double(Value), QLatin1Char(',')); }

    struct LastNumber
    {
        QString Cell(float Value)
        {
            const auto bits = std::bit_cast<quint32>(Value);
            if (text_.isNull() || bits != bits_) {
                bits_ = bits;
                text_ = numberCell(Value);
            }
            return text_;
        }

    private:
        quint32 bits_ = 0;
        QString text_;
    };

    QString dateTimeCell(TDateTime Value)
    {
        QDate date;
        QTime time;
        TDateTimeToDateAndTime(Value, date, time);
        if (date != lastDate_) {
            lastDate_ = date;
            dateText_ = date.toString(DateFormat);
        }
        return time.msecsSinceStartOfDay() == 0 ? dateText_
                                                : dateText_ + QLatin1Char(' ') + time.toString(TimeFormat);
    }

    const TExportChannels& channels_;
    std::vector<LastNumber> limits_;
    QDate lastDate_;
    QString dateText_;
};

// A hidden name beside FileName, made unlikely to be taken by a random part.
QString hiddenName(const QString& FileName, const QString& Suffix)
{
    const QFileInfo file(FileName);
    return file.dir().filePath(QLatin1Char('.') + file.fileName() + QLatin1Char('.') +
                               QString::number(QRandomGenerator::global()->generate(), 36) + Suffix);
}

// One that no file has at the moment.
QString freeHiddenName(const QString& FileName, const QString& Suffix)
{
    struct stat taken;
    QString name;
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = hiddenName(FileName, Suffix);
        if (::lstat(QFile::encodeName(name).constData(), &taken) != 0)
            break;
    }
    return name;
}

bool writeText(QFile& File, QString& Text)
{
    const QByteArray bytes = CodePage::ToWindows1251(Text);
    Text.clear();
    return File.write(bytes) == bytes.size();
}

// Writes Table's file under a new hidden name beside FileName, line by line, so
// the text is never whole in memory, and closes it. On failure nothing is left
// and Error holds the reason.
bool writeTemporary(const TExportTable& Table, const QString& FileName, QString& TempName, QString& Error)
{
    const QFileInfo target(FileName);
    if (target.isDir()) {
        Error = QStringLiteral("на этом месте каталог");
        return false;
    }
    // The system's reason where the failing call left one (Qt's text for a failed
    // flush is often "Unknown error"); errno is cleared before each step.
    QFile file;
    const auto reason = [&file] {
        return errno != 0 ? SystemError::Text(errno) : SystemError::Russian(file.errorString());
    };
    for (int attempt = 0;; ++attempt) {
        TempName = hiddenName(FileName, QString());
        file.setFileName(TempName);
        errno = 0;
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            break;
        // The open's reason, before the look for the name sets errno anew.
        const QString openReason = reason();
        if (!QFileInfo::exists(TempName) || attempt == 100) {
            Error = openReason;
            return false;
        }
    }
    const auto failed = [&] {
        Error = reason();
        file.close();
        QFile::remove(TempName);
        return false;
    };
    // A replaced file keeps its permissions.
    if (target.exists())
        file.setPermissions(target.permissions());

    const TExportChannels channels(Table);
    RowLines rows(channels);
    QString text = CsvCellText(Table.Title) + LineEnd + headerLine(channels) + LineEnd;
    TExportMeasRec row;
    for (std::size_t r = 0; r < Table.RowCount(); ++r) {
        Table.GetRow(r, row);
        text += rows.Line(row);
        text += LineEnd;
        errno = 0;
        if (text.size() >= WriteChunk && !writeText(file, text))
            return failed();
    }
    errno = 0;
    if (!writeText(file, text) || !file.flush())
        return failed();
    // On disk before it replaces an older file.
    errno = 0;
    if (::fsync(file.handle()) != 0)
        return failed();
    file.close();
    return true;
}

} // namespace

QString ExportDateTimeToStr(TDateTime Value)
{
    QDate date;
    QTime time;
    TDateTimeToDateAndTime(Value, date, time);
    const QString day = date.toString(DateFormat);
    return time.msecsSinceStartOfDay() == 0 ? day : day + QLatin1Char(' ') + time.toString(TimeFormat);
}

QString CsvCellText(const QString& Text)
{
    const auto special = [](QChar C) {
        return C == Separator || C == Quote || C == QLatin1Char('\r') || C == QLatin1Char('\n');
    };
    if (std::none_of(Text.begin(), Text.end(), special))
        return Text;
    QString cell = Quote;
    for (const QChar c : Text) {
        if (c == Quote)
            cell += Quote;
        cell += c;
    }
    cell += Quote;
    return cell;
}

QStringList CsvLines(const TExportTable& Table)
{
    const TExportChannels channels(Table);
    RowLines rows(channels);
    QStringList lines{CsvCellText(Table.Title), headerLine(channels)};
    TExportMeasRec row;
    for (std::size_t r = 0; r < Table.RowCount(); ++r) {
        Table.GetRow(r, row);
        lines << rows.Line(row);
    }
    return lines;
}

QString CsvFileName(const QString& Folder, quint16 SerialNum, const QDateTime& ExportTime)
{
    QString name = Folder;
    if (!name.endsWith(QLatin1Char('/')))
        name += QLatin1Char('/');
    return name + QStringLiteral("sn") + SerialToStr(SerialNum) +
           ExportTime.toString(QStringLiteral("_yyyyMMdd_HHmmss")) + QStringLiteral(".csv");
}

bool WriteCsvFiles(const TExportTableArray& Tables, const QString& Folder, const QDateTime& ExportTime,
                   QString& ErrMsg)
{
    ErrMsg.clear();
    const auto failed = [&](const QString& Name, const QString& Reason, const QString& Outcome) {
        ErrMsg = QStringLiteral("Не удалось записать файл \"%1\" (%2). ").arg(Name, Reason) + Outcome;
        return false;
    };

    // Every file is complete, closed and synced under a temporary name before
    // the first one is put in place; one file is open at a time however many
    // devices there are.
    struct Pending
    {
        QString Temp;
        QString Final;
        QString Older; // an older file of the name, kept aside until all are in place
    };
    std::vector<Pending> pending;
    const auto discardFrom = [&pending](size_t First) {
        for (size_t i = First; i < pending.size(); ++i)
            QFile::remove(pending[i].Temp);
    };
    for (const TExportTable& table : Tables) {
        // Two tables of one device would name the same file; the later replaces
        // the earlier, as a later export within the same second does.
        const QString name = CsvFileName(Folder, table.SerialNum, ExportTime);
        QString temp;
        QString error;
        if (!writeTemporary(table, name, temp, error)) {
            discardFrom(0);
            return failed(name, error, QStringLiteral("Файлы экспорта не созданы."));
        }
        pending.push_back({temp, name, QString()});
    }

    const auto rename = [](const QString& From, const QString& To) {
        return std::rename(QFile::encodeName(From).constData(), QFile::encodeName(To).constData()) == 0;
    };
    // Takes the files put in place back out, the last first, and returns the
    // older files to their names.
    const auto undoBefore = [&](size_t End) {
        bool undone = true;
        for (size_t i = End; i-- > 0;) {
            const Pending& p = pending[i];
            undone = (p.Older.isEmpty() ? QFile::remove(p.Final) : rename(p.Older, p.Final)) && undone;
        }
        return undone;
    };
    for (size_t i = 0; i < pending.size(); ++i) {
        Pending& p = pending[i];
        errno = 0;
        bool placed = true;
        struct stat older;
        if (::lstat(QFile::encodeName(p.Final).constData(), &older) == 0) {
            p.Older = freeHiddenName(p.Final, QStringLiteral(".old"));
            placed = rename(p.Final, p.Older);
            if (!placed)
                p.Older.clear();
        }
        placed = placed && rename(p.Temp, p.Final);
        if (!placed) {
            const QString error = SystemError::Text(errno);
            bool undone = p.Older.isEmpty() || rename(p.Older, p.Final);
            discardFrom(i);
            undone = undoBefore(i) && undone;
            return failed(p.Final, error,
                          undone ? QStringLiteral("Файлы экспорта не созданы.")
                                 : QStringLiteral("Экспорт прерван."));
        }
    }
    for (const Pending& p : pending) {
        if (!p.Older.isEmpty())
            QFile::remove(p.Older);
    }
    return true;
}

bool ExportTablesToCSV(const TExportTableArray& Tables, const QString& Folder, const QDateTime& ExportTime,
                       QWidget* Parent)
{
    if (!QFileInfo(Folder).isDir()) {
        Prompts::Current().Message(
            Parent, QStringLiteral("Каталог \"") + Folder + QStringLiteral("\" не существует!"), Caption,
            QMessageBox::NoIcon);
        return false;
    }
    QString errMsg;
    if (!WriteCsvFiles(Tables, Folder, ExportTime, errMsg)) {
        Prompts::Current().Message(Parent, errMsg, Caption, QMessageBox::Critical);
        return false;
    }
    return true;
}

void ExportToCSV(const TExportTableArray& Tables, QWidget* Parent)
{
    const QString folder = Prompts::Current().Folder(
        Parent, QStringLiteral("Выберите каталог для экспорта данных"), QStringLiteral("/"));
    if (folder.isEmpty())
        return;
    ExportTablesToCSV(Tables, folder, QDateTime::currentDateTime(), Parent);
}
