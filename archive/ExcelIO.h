#pragma once

#include "archive/Export.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

class QWidget;

// The spreadsheet export: the tables are written into a new .xlsx workbook in a
// temporary folder, one sheet per device, which the desktop's spreadsheet
// application then opens as a new, unsaved document.
//
// Sheet layout: row 1 the title; rows 2-3 the header ("Дата, время" and
// "Комментарий" merged over both rows, per channel a block of five columns under
// a merged "Kанал n" with "значение", "величина", "ед. изм.", "min порог",
// "max порог"); from row 4 one row per time stamp: the time as a real date-time
// cell, the comment, per channel the value, quantity, unit and both limits.
// Channel blocks stand in the order in which the channels first appear.

// Rows 1-3 are the header, so a sheet holds this many time stamps at most.
constexpr qsizetype MaxExcelRecords = 1048576 - 3;
// The format of the date-time column.
inline const QString ExcelDateTimeFormat = QStringLiteral("dd.mm.yyyy hh:mm:ss");

// Title made a valid sheet name that none of Taken has (compared without case):
// "[]:*?/\" become "|", a leading or trailing apostrophe is dropped, at most 31
// characters, " (2)", " (3)"... appended when the name is taken.
QString ExcelSheetName(const QString& Title, const QStringList& Taken);

// False with a Russian text when a table has more time stamps than a sheet holds.
bool ExcelTablesFit(const TExportTableArray& Tables, QString& ErrMsg);
// The same for one table and at most Limit time stamps.
bool ExcelTableFits(const TExportTable& Table, QString& ErrMsg, qsizetype Limit = MaxExcelRecords);

// Writes the workbook row by row, in memory that does not grow with the rows;
// texts read back unchanged in spreadsheet programs whatever characters they
// hold. The sheets stand in the reverse order of the tables and
// the last table's sheet is active, as the spreadsheet application places new
// sheets before the active one. The written file is read back and its rows
// counted, since the library does not notice a disk that fills up. False with a
// Russian text on failure (a table too long for a sheet, a file that cannot be
// written or reads back short); no file is left then.
bool WriteExcelWorkbook(const TExportTableArray& Tables, const QString& FileName, QString& ErrMsg);

// Export folders are kept while the spreadsheet application may still be
// reading them; those in TempRoot older than a day are removed at the next export.
inline const QString ExcelFolderPrefix = QStringLiteral("klov-excel-");
void RemoveOldExcelFolders(const QString& TempRoot, const QDateTime& Now);

// The MIME type of .xlsx workbooks.
inline const QString ExcelMimeType =
    QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet");

// Opens a written workbook: `soffice --calc -n` (a new, untitled document made
// from the file) when LibreOffice is on PATH as soffice or libreoffice, else the
// desktop's application for .xlsx workbooks (see TDesktopApplication), which
// opens the file itself. Replaceable so tests record the call instead of starting
// anything.
class TSpreadsheetLauncher
{
public:
    virtual ~TSpreadsheetLauncher() = default;

    // True when an application that opens .xlsx workbooks is installed.
    virtual bool Available() const;
    // Starts the application on FileName without waiting; false when it could not
    // start, with the reason in OpenError().
    virtual bool Open(const QString& FileName);

    // Why the last Open failed (Russian); empty when there is nothing to add.
    const QString& OpenError() const { return openError_; }
    // Whether the last Open made a new document from the file, so that saving
    // asks for a place of its own; false when the application edits the file.
    bool OpenedCopy() const { return openedCopy_; }

    static TSpreadsheetLauncher& Current();
    // nullptr restores the desktop launcher; the caller keeps ownership.
    static void SetCurrent(TSpreadsheetLauncher* Launcher);

protected:
    QString openError_;
    bool openedCopy_ = true;
};

// True when the current launcher can open a workbook.
bool IsExcelInstalled();

// The export with its message boxes: no spreadsheet application, a table too
// long for a sheet, a workbook that cannot be written or opened are reported
// and nothing is opened. The workbook goes into a new folder under TempRoot and
// is made read-only; when the application opens that file itself rather than a
// copy, the user is told where it is and that it is a temporary file to be saved
// elsewhere. True when the application was started on the workbook.
bool ExportToExcel(const TExportTableArray& Tables, QWidget* Parent = nullptr,
                   const QString& TempRoot = QString());
