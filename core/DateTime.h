#pragma once

#include <QDateTime>

// Time stamps as the archive and the charts keep them: days since 30 December
// 1899 as a real number, the time of day as the fraction, local wall-clock time.
using TDateTime = double;

constexpr TDateTime OneSecond = 1.0 / 86400.0;
constexpr qint64 MsPerDay = 86400000;

// The date and the time of day are converted separately, so a daylight-saving
// change never shifts the clock reading. Before 1899-12-30 the fraction still
// counts forward from midnight (-1.25 is 29 December 06:00).
TDateTime DateTimeToTDateTime(const QDateTime& When);
// To the millisecond; the result is in local time.
QDateTime TDateTimeToDateTime(TDateTime Value);
// The same reading as a date and a clock time, without consulting the time zone
// (so a reading inside a daylight-saving gap stays as it is, and it is cheap).
void TDateTimeToDateAndTime(TDateTime Value, QDate& Date, QTime& Time);
TDateTime NowTDateTime();
