#pragma once

#include "archive/ExportRowIndex.h"
#include "core/DateTime.h"
#include "core/Device.h"

#include <QString>
#include <QtGlobal>
#include <vector>

// An archive export held in memory: one table per device, one row per time
// stamp, one record per stored value. The archive viewer fills the tables; the
// CSV and spreadsheet exports read them.

// One stored value with the channel settings in force at its time stamp.
struct TChanExportRec
{
    quint8 ChannelNum = 0;
    float Value = 0;
    float MinAlert = 0;
    float MaxAlert = 0;
    QString QuantityName;
    QString MeasUnitName;
};

// The values of one time stamp, in the order they were added.
struct TExportMeasRec
{
    TDateTime MeasDateTime = 0;
    std::vector<TChanExportRec> ChanRecs;
    // The device comment when it differs from the one of the table's previous
    // row; the first row always carries it. Empty otherwise.
    QString Comment;
};

// One device.
struct TExportTable
{
    // Device type name + ", серийный № " + five-digit serial number.
    QString Title;
    quint16 SerialNum = 0;
    QString LastComment;
    std::vector<TExportMeasRec> MeasRecs;
    // Finds a row of MeasRecs by its time stamp; kept by AddExportRecord.
    TExportRowIndex RowIndex;
};

using TExportTableArray = std::vector<TExportTable>;

// The tables of the last viewer run, devices in the order they first appeared.
extern TExportTableArray ExportTables;

// Adds one value to Tables: to the row of the device's table whose time stamp
// equals MeasDateTime exactly, else to a new row at the end (a new table at the
// end for a new device). The comment counts only for a new row; the device type
// only for a new table.
void AddExportRecord(TExportTableArray& Tables, quint16 SerialNum, TDeviceType DevType,
                     const QString& Comment, quint8 ChannelNum, TDateTime MeasDateTime, float Value,
                     float MinAlert, float MaxAlert, const QString& QuantityName,
                     const QString& MeasUnitName);
// The same for ExportTables.
void AddExportRecord(quint16 SerialNum, TDeviceType DevType, const QString& Comment, quint8 ChannelNum,
                     TDateTime MeasDateTime, float Value, float MinAlert, float MaxAlert,
                     const QString& QuantityName, const QString& MeasUnitName);
