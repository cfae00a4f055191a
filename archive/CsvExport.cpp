#include "archive/CsvExport.h"

#include "core/StringFunc.h"
#include "platform/CodePage.h"
#include "platform/Prompts.h"

#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <memory>
#include <vector>

namespace {

const QString Caption = QStringLiteral("Кловарис");
const QChar Separator = QLatin1Char(';');

// Values are written as on a Russian system: the general format with a comma.
QString numberCell(float Value)
{
    return FloatToStr(double(Value), QLatin1Char(','));
}

QByteArray fileBytes(const QStringList& Lines)
{
    QString text;
    for (const QString& line : Lines) {
        text += line;
        text += QStringLiteral("\r\n");
    }
    return CodePage::ToWindows1251(text);
}

} // namespace

QString ExportDateTimeToStr(TDateTime Value)
{
    const QDateTime when = TDateTimeToDateTime(Value);
    const QString date = when.date().toString(QStringLiteral("dd.MM.yyyy"));
    if (when.time().msecsSinceStartOfDay() == 0)
        return date;
    return date + QLatin1Char(' ') + when.time().toString(QStringLiteral("H:mm:ss"));
}

QString CsvCellText(const QString& Text)
{
    QString cell = Text;
    for (QChar& c : cell) {
        if (c == Separator)
            c = QLatin1Char(',');
        else if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    }
    return cell;
}

QStringList CsvLines(const TExportTable& Table)
{
    QStringList lines{CsvCellText(Table.Title), QString()};
    QStringList header{QStringLiteral("Дата, время"), QStringLiteral("Комментарий")};
    std::vector<quint8> channels;

    for (const TExportMeasRec& row : Table.MeasRecs) {
        QStringList cells{ExportDateTimeToStr(row.MeasDateTime), CsvCellText(row.Comment)};
        for (const TChanExportRec& rec : row.ChanRecs) {
            auto found = std::find(channels.begin(), channels.end(), rec.ChannelNum);
            const qsizetype c = found - channels.begin();
            if (found == channels.end()) {
                channels.push_back(rec.ChannelNum);
                // "K" is the Latin letter here.
                const QString k = QStringLiteral("K") + QString::number(rec.ChannelNum);
                header << k + QStringLiteral(",значение") << k + QStringLiteral(",величина")
                       << k + QStringLiteral(",ед. изм.") << k + QStringLiteral(",min порог")
                       << k + QStringLiteral(",max порог");
            }
            while (cells.size() < 5 * c + 7)
                cells << QString();
            cells[5 * c + 2] = numberCell(rec.Value);
            cells[5 * c + 3] = CsvCellText(rec.QuantityName);
            cells[5 * c + 4] = CsvCellText(rec.MeasUnitName);
            cells[5 * c + 5] = numberCell(rec.MinAlert);
            cells[5 * c + 6] = numberCell(rec.MaxAlert);
        }
        lines << cells.join(Separator);
    }
    lines[1] = header.join(Separator);
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
    const auto failed = [&](const QFileDevice& File, const QString& Name, const QString& Outcome) {
        ErrMsg =
            QStringLiteral("Не удалось записать файл \"%1\" (%2). ").arg(Name, File.errorString()) + Outcome;
        return false;
    };
    const QString noneWritten = QStringLiteral("Файлы экспорта не созданы.");

    // Uncommitted files discard their temporary copies when destroyed, so an
    // early return leaves the folder as it was.
    std::vector<std::unique_ptr<QSaveFile>> files;
    for (const TExportTable& table : Tables) {
        const QString name = CsvFileName(Folder, table.SerialNum, ExportTime);
        // Two tables of one device would name the same file; the later replaces
        // the earlier, as a later export within the same second does.
        auto file = std::make_unique<QSaveFile>(name);
        if (!file->open(QIODevice::WriteOnly))
            return failed(*file, name, noneWritten);
        const QByteArray bytes = fileBytes(CsvLines(table));
        if (file->write(bytes) != bytes.size() || !file->flush())
            return failed(*file, name, noneWritten);
        files.push_back(std::move(file));
    }
    for (const auto& file : files) {
        if (!file->commit())
            return failed(*file, file->fileName(), QStringLiteral("Экспорт прерван."));
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
