#pragma once

#include "archive/Export.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

class QWidget;

// The CSV export: one file per device table, "sn" + five-digit serial number +
// "_yyyymmdd_hhnnss" of the export time + ".csv"; a title line, a header line and
// one line per row, cells separated by ";", lines ended by CR LF, text in
// Windows-1251 (a character the code page lacks becomes "?").
//
// A text cell (title, comment, quantity and unit names) holding ";", a double
// quote, CR or LF is put in double quotes with its own quotes doubled, the usual
// CSV way, so the text reads back unchanged and the columns never shift. Every
// other cell, and so every line without such a text, is written as it is.

// A date-time as the Russian system shows it: "dd.mm.yyyy h:nn:ss" with the hour
// on the 24-hour clock and without a leading zero; the date alone at midnight.
QString ExportDateTimeToStr(TDateTime Value);
// A text as its cell is written (see above).
QString CsvCellText(const QString& Text);
// The lines of Table's file, without line ends: title, header, one per row.
// Channel column blocks stand in the order in which the channels first appear.
QStringList CsvLines(const TExportTable& Table);
// Folder + "/" (unless it ends with one) + the file name of a device.
QString CsvFileName(const QString& Folder, quint16 SerialNum, const QDateTime& ExportTime);

// Writes every table's file into Folder, all or nothing. All files are written
// to temporary files first, one at a time, and put in place only once every one
// is complete (so the number of devices is not bound by the open-file limit);
// older files of the same names are kept aside until the last one is in place.
// So a folder that cannot be written, a full disk or a file that cannot be put
// in place leaves the folder as it was. False with a Russian text when a file
// cannot be written.
bool WriteCsvFiles(const TExportTableArray& Tables, const QString& Folder, const QDateTime& ExportTime,
                   QString& ErrMsg);

// The export into a chosen Folder, with its message boxes: a missing folder or a
// failed write is reported and nothing is written. True when every file was
// written (also for no tables).
bool ExportTablesToCSV(const TExportTableArray& Tables, const QString& Folder, const QDateTime& ExportTime,
                       QWidget* Parent = nullptr);
// Asks for the folder, then exports with the current time. Cancelling writes
// nothing.
void ExportToCSV(const TExportTableArray& Tables, QWidget* Parent = nullptr);
