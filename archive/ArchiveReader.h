#pragma once

#include "archive/ArchiveStore.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

// A day file's name: "Measures" + yyyymmdd + ".cds", or with "_" + n before
// the extension for the rest of a day that the writer had to put beside a
// damaged file. Part is 1 for the first file of a day, n for the others.
struct TDayFileName
{
    QString Name;
    QDate Date;
    int Part = 1;
};

// One stored value with the settings in force at its time stamp.
struct TArchiveValue
{
    qint32 SerialNum = 0;
    qint32 ChannelNum = 0;
    TDateTime MeasDateTime = 0;
    float Value = 0;
    // The channel's row in force (all 0 and empty when none); never null.
    const TChannelRecord* Channel = nullptr;
    // The device's row in force when device rows were asked for, else null.
    const TDeviceRecord* Device = nullptr;
};

// Reads the archive for a period and a set of devices, without any window:
// the day files that may hold values of the period, their values in time
// order (by time stamp, serial number and channel within a file, files in date
// order), each with the channel and device rows in force at its stamp.
//
// Window messages run about every PumpIntervalMs of reading, so a long period
// neither freezes the window nor is slowed by a message round per value.
class TArchiveReader
{
public:
    // The history files, open.
    TArchiveReader(TArchiveStore& Devices, TArchiveStore& Channels);

    // Name is a day file's name (no folder); false for any other name, a date
    // that does not exist included.
    static bool ParseDayFileName(const QString& Name, TDayFileName& File);
    // The day files of Folder that may hold values stamped from Start to End,
    // in date order and, within a date, in part order. A day file of date D
    // holds values from D at the day start of its time, which the settings may
    // have moved since, so it is kept whenever D or the day after meets the
    // period. Names like "Measures*.cds" that carry no valid date go to Stray.
    static std::vector<TDayFileName> DayFilesOfPeriod(const QString& Folder, TDateTime Start, TDateTime End,
                                                      QStringList& Stray);

    // A stray name in the folder (it is passed over).
    std::function<void(const QString& Name)> OnStrayFile;
    // A day file that could not be opened is passed over, so the rest of its day
    // (which the writer keeps in a "_2" file beside a damaged one) and the other
    // days still come through; Reason says why, for the journal.
    std::function<void(const QString& Name, const QString& Reason)> OnUnreadableFile;
    // A device's table in a day file failed midway: Taken of its values, those
    // read before the fault, were handed on (0: none). The other devices' tables
    // of the file are read in full all the same.
    std::function<void(const QString& Name, quint16 Serial, const QString& Reason, qint64 Taken)>
        OnUnreadableTable;
    // Reading of a day file begins.
    std::function<void(const QDate& Day)> OnDay;
    int PumpIntervalMs = 30;
    // Asked after window messages ran: true ends the reading (the run's
    // window or its charts are going away); the values read so far stay handed on.
    std::function<bool()> Cancelled;

    // Hands Value every value of Serials (repeats count once) stamped from Start
    // to End, both included. WithDevices adds the device rows in force. False
    // with the open-failure text when a history file cannot be read; nothing has
    // been handed on then. A device's table that fails midway keeps the values
    // read before the fault.
    bool Read(const QString& Folder, TDateTime Start, TDateTime End, const std::vector<quint16>& Serials,
              bool WithDevices, const std::function<void(const TArchiveValue&)>& Value, QString& ErrMsg);

private:
    TArchiveStore& Devices_;
    TArchiveStore& Channels_;
};
