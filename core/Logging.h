#pragma once

#include <QDateTime>
#include <QString>
#include <span>

// The debug-log switch of the main window: off at start, toggled from the menu.
// The exchange and the journal copy their lines to the log while it is on.
extern bool LogDebugInfo;

// Appends "<time stamp>: <Msg>" as one line to the log file, opening and closing
// the file each time. A line that cannot be written is lost; the caller never fails.
void WriteLog(const QString& Msg);

// The first Count bytes as two upper-case hex digits each followed by a blank.
QString bin2char(std::span<const quint8> Data, int Count);
QChar HexDigit(quint8 Value);

// "dd/mm/yyyy hh:nn:ss.zzz" with the system's date and time separators in place
// of "/" and ":" (the journal uses the same stamp).
QString FormatLogTimeStamp(const QDateTime& When);
QString FormatLogTimeStamp(const QDateTime& When, QChar DateSep, QChar TimeSep);
QChar SystemDateSeparator();
QChar SystemTimeSeparator();

// The executable's path with ".log"; falls back to a writable data folder when the
// executable's folder cannot be written.
QString LogFileName();
// Tests and special setups point the log elsewhere; empty restores the default.
void SetLogFileName(const QString& FileName);
