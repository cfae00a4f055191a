#pragma once

#include "core/DateTime.h"

#include <QDate>
#include <QString>

// The archive day: the day file of date D holds the values stamped from D at
// the rebuild hour and minute (included) to the next day at the same time
// (excluded). All boundary arithmetic is in whole milliseconds, so a stamp one
// millisecond before a boundary never lands on the other side of it.

// A time stamp as milliseconds on a line where day n of the date-time numbers
// spans [n * MsPerDay, (n + 1) * MsPerDay).
qint64 TimeStampToMs(TDateTime Stamp);

// Milliseconds on the same line at which the archive day of Date begins.
qint64 ArchiveDayStartMs(const QDate& Date, int RebuildHour, int RebuildMin);

// The archive day that a value stamped Stamp belongs to.
QDate ArchiveDayOf(TDateTime Stamp, int RebuildHour, int RebuildMin);

// "yyyymmdd".
QString ArchiveDateStr(const QDate& Date);
// The date of a "yyyymmdd" text; invalid when it is none.
QDate ArchiveDateFromStr(const QString& DateStr);

// "Measures" + yyyymmdd + ".cds".
QString MeasuresFileName(const QString& DateStr);
