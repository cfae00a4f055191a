#pragma once

#include "archive/ExportRowIndex.h"
#include "core/DateTime.h"
#include "core/Device.h"

#include <QString>
#include <QtGlobal>
#include <array>
#include <cstddef>
#include <deque>
#include <map>
#include <type_traits>
#include <unordered_map>
#include <utility>
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

// One device. A month of values runs to tens of millions, so the rows are not
// kept as records: the stamps, the values and the settings they carry stand in
// arrays of their own (about 14 bytes a value where a row holds both channels),
// and a row is put together again when it is read.
//
// Rows are read in time order (equal stamps in the order made), though a later
// day file (a "_2" part, or one written after the clock was set back) may add
// rows earlier than those made before: such a table is read through an index of
// its rows in time order, made once the rows are read.
class TExportTable
{
public:
    // Device type name + ", серийный № " + five-digit serial number.
    QString Title;
    quint16 SerialNum = 0;
    QString LastComment;

    TExportTable() = default;
    // Moved, not copied, when the array of tables grows; a deque's move may
    // allocate, so the array would copy tables whose move is not noexcept.
    TExportTable(TExportTable&&) noexcept = default;
    TExportTable& operator=(TExportTable&&) noexcept = default;
    TExportTable(const TExportTable&) = default;
    TExportTable& operator=(const TExportTable&) = default;

    // Rows are numbered in time order.
    std::size_t RowCount() const { return Stamps_.size(); }
    TDateTime RowStamp(std::size_t Row) const { return Stamps_[made(Row)]; }
    // Row put together in Rec, whose storage is reused. Its comment is the one in
    // force at its stamp where that differs from the one of the row before.
    void GetRow(std::size_t Row, TExportMeasRec& Rec) const;
    TExportMeasRec GetRow(std::size_t Row) const;
    // The channel numbers in the order in which they first appear (rows in
    // order, a row's records in order).
    std::vector<quint8> ChannelOrder() const;

    // Rec after the records of the first row stamped Stamp (compared with ==);
    // false when there is none.
    bool AddToStamp(TDateTime Stamp, const TChanExportRec& Rec);
    // A new row holding Rec; Comment is the device comment in force at Stamp.
    void AppendRow(TDateTime Stamp, const QString& Comment, const TChanExportRec& Rec);

private:
    struct TSettings
    {
        quint8 ChannelNum;
        float MinAlert;
        float MaxAlert;
        QString QuantityName;
        QString MeasUnitName;
    };
    struct TValue
    {
        float Value;
        quint32 Settings; // into Settings_
    };

    quint32 settingsOf(const TChanExportRec& Rec);
    TChanExportRec record(const TValue& Value) const;
    std::size_t rowEnd(std::size_t Row) const;
    // The Row-th row in time order, numbered in the order made.
    std::size_t made(std::size_t Row) const;
    // The device comment in force at a row numbered in the order made.
    const QString& commentOf(std::size_t Made) const;
    // Take(value) for the values of Row in their order: those stored with it,
    // then those added late.
    template <typename Visit> void forEachValue(std::size_t Row, Visit&& Take) const;

    // In blocks, so a table that grows never holds two copies of itself.
    std::deque<TDateTime> Stamps_;
    std::deque<quint32> FirstValue_; // of each row, into Values_
    std::deque<TValue> Values_;
    // Values added to a row after later rows were made, by row in the order added.
    std::multimap<quint32, TValue> Late_;
    // The rows, in the order made, at which the device comment in force changed;
    // the first row is always among them.
    std::vector<std::pair<quint32, QString>> Comments_;
    // Every row so far stamped later than the one made before it.
    bool InTimeOrder_ = true;
    // Otherwise the rows in time order (their numbers in the order made), made
    // when rows are read and brought up to date when rows were added since.
    mutable std::vector<quint32> TimeOrder_;
    // The settings met so far, found by their hash; most values carry those of
    // their channel's previous value.
    std::vector<TSettings> Settings_;
    std::unordered_multimap<std::size_t, quint32> SettingsByHash_;
    std::array<qint64, 256> LastSettings_ = filledLast();
    TExportRowIndex RowIndex_;

    static std::array<qint64, 256> filledLast()
    {
        std::array<qint64, 256> a;
        a.fill(-1);
        return a;
    }
};

using TExportTableArray = std::vector<TExportTable>;
// A device met late grows the array: its tables must move, not be copied.
static_assert(std::is_nothrow_move_constructible_v<TExportTable>);

// The tables of the last viewer run, devices in the order they first appeared.
extern TExportTableArray ExportTables;

// Adds one value to Tables: to the row of the device's table whose time stamp
// equals MeasDateTime exactly, else to a new row (a new table at the end for a
// new device). The comment counts only for a new row; the device type
// only for a new table. Gives the device's table.
const TExportTable& AddExportRecord(TExportTableArray& Tables, quint16 SerialNum, TDeviceType DevType,
                                    const QString& Comment, quint8 ChannelNum, TDateTime MeasDateTime,
                                    float Value, float MinAlert, float MaxAlert, const QString& QuantityName,
                                    const QString& MeasUnitName);
// The same for ExportTables.
const TExportTable& AddExportRecord(quint16 SerialNum, TDeviceType DevType, const QString& Comment,
                                    quint8 ChannelNum, TDateTime MeasDateTime, float Value, float MinAlert,
                                    float MaxAlert, const QString& QuantityName, const QString& MeasUnitName);
