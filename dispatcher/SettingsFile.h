#pragma once

// The program's settings file: the one reader and the writers of its keys.
//
// Values that only a hand-edited file can hold (a channel outside 0..255, an
// interval the poll timer cannot take, ...) are replaced by the key's default and
// reported in a Russian warning naming the key and the text found, so the modem
// and the timers never get an impossible value. A port outside 1..255 becomes no
// port (0) with such a warning. A key whose text is not an integer is treated as
// out of range where the key has a range (the port, the archive day's hour and
// minute, the channel, the interval value, the sound modes); elsewhere, and for a
// missing key or an empty value, the default is taken without a warning.

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// The main window's outer size and position ("General").
struct TWindowGeometry
{
    int Height = 0;
    int Width = 0;
    int XPos = 0;
    int YPos = 0;
};

// The eleven keys of "Archive", "Communication", "Polling" and "Sound" that the
// settings dialog writes.
struct TSettingsValues
{
    QString ArchivePath;
    int FileRebuildHour = 0;
    int FileRebuildMin = 0;
    int RFMainPort = 1;
    int RFChannel = 16;
    int RFPowerLevel = 2;
    int Mode = 0;
    int Units = 0;
    int Value = 10;
    int SoundMode = 2;       // index as in the settings dialog
    int SoundRepeatMode = 0; // index as in the settings dialog
};

// The poll timer takes 0..2147483647 ms; an interval must be at least a second.
constexpr int MaxPollIntervalSec = 2147483647 / 1000;

// Value seconds, minutes (Units 1) or hours (Units 2); another unit gives
// Previous. The result may be out of the timer's range: see IsValidPollInterval.
qint64 PollIntervalSecFor(int Units, qint64 Value, qint64 Previous);
// 1..MaxPollIntervalSec.
bool IsValidPollInterval(qint64 Seconds);

// Serial numbers of a "DevicesList" text in list order: blanks removed, pieces
// between commas, every integer piece in 0..65535 taken (duplicates too). Empty
// and non-numeric pieces are skipped silently; numbers out of range are skipped
// with a warning when Warnings is given.
QList<quint16> ParseDevicesList(const QString& Text, QStringList* Warnings = nullptr);

// Reads every key into the running settings (DispatcherState.h, Sound.h) in file
// order (Archive, Devices, Communication, Polling, Sound, General), computes
// PollIntervalSec and returns the serial numbers of "DevicesList". A missing file
// reads as all defaults. Out-of-range values fall back to their defaults with a
// text in Warnings, which the caller journals. When Geometry is given, its fields
// are the defaults of the "General" keys (the window as it stands) and receive the
// values read.
QList<quint16> ReadSettings(const QString& FileName, QStringList& Warnings,
                            TWindowGeometry* Geometry = nullptr);

// Empties DevArray and appends a new row per serial number, in order.
void RebuildDevArray(const QList<quint16>& Serials);

// The running values as the settings dialog would write them.
TSettingsValues CurrentSettingsValues();

// Writers. Each stops at the first failed key and hands back a Russian text; other
// lines of the file stay as they are.

// "DevicesList" := the serial numbers of DevArray in table order.
bool WriteDevicesList(const QString& FileName, QString& Error);
bool WriteArchivePath(const QString& FileName, const QString& Path, QString& Error);
// "General": WindowHeight, WindowWidth, WindowXPos, WindowYPos in this order.
bool WriteWindowGeometry(const QString& FileName, int Height, int Width, int XPos, int YPos, QString& Error);
// The eleven keys in the settings dialog's order, in one save: on failure the
// file keeps all its old values.
bool WriteCommSettings(const QString& FileName, const TSettingsValues& Values, QString& Error);

// The add and delete actions' edits of "DevicesList", which keep the stored list
// order rather than the table's (a sort does not reorder the file).
enum class TDevicesListEdit
{
    Done,
    AlreadyPresent, // add: the number is in the stored list; nothing written
    NotFound,       // remove: the number is not in the stored list; nothing written
    OutOfRange,     // add: the stored list holds a number outside 0..65535; nothing written
    WriteFailed,    // Error holds the text
};
// Appends "," + Serial to the blank-free stored text (unparsed items kept), or
// writes Serial alone when the list is empty.
TDevicesListEdit AddSerialToDevicesList(const QString& FileName, quint16 Serial, QString& Error);
// Drops every occurrence of Serial; the rest is written as the remaining
// non-negative numbers, so unparsed items and negative numbers disappear.
TDevicesListEdit RemoveSerialFromDevicesList(const QString& FileName, quint16 Serial, QString& Error);
