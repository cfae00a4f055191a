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

    std::size_t RowCount() const { return Stamps_.size(); }
    TDateTime RowStamp(std::size_t Row) const { return Stamps_[Row]; }
    // Row put together in Rec, whose storage is reused.
    void GetRow(std::size_t Row, TExportMeasRec& Rec) const;
    TExportMeasRec GetRow(std::size_t Row) const;
    // The channel numbers in the order in which they first appear (rows in
    // order, a row's records in order).
    std::vector<quint8> ChannelOrder() const;

    // The first row stamped Stamp (compared with ==), or -1.
    std::ptrdiff_t FindRow(TDateTime Stamp);
    // A new last row holding Rec; Comment is the row's comment.
    void AppendRow(TDateTime Stamp, const QString& Comment, const TChanExportRec& Rec);
    // Rec after the records Row holds.
    void AddToRow(std::size_t Row, const TChanExportRec& Rec);

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
    // Take(value) for the values of Row in their order: those stored with it,
    // then those added late.
    template <typename Visit> void forEachValue(std::size_t Row, Visit&& Take) const;

    // In blocks, so a table that grows never holds two copies of itself.
    std::deque<TDateTime> Stamps_;
    std::deque<quint32> FirstValue_; // of each row, into Values_
    std::deque<TValue> Values_;
    // Values added to a row after later rows were made, by row in the order added.
    std::multimap<quint32, TValue> Late_;
    // The rows that carry a comment, in row order.
    std::vector<std::pair<quint32, QString>> Comments_;
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
// equals MeasDateTime exactly, else to a new row at the end (a new table at the
// end for a new device). The comment counts only for a new row; the device type
// only for a new table. Gives the device's table.
const TExportTable& AddExportRecord(TExportTableArray& Tables, quint16 SerialNum, TDeviceType DevType,
                                    const QString& Comment, quint8 ChannelNum, TDateTime MeasDateTime,
                                    float Value, float MinAlert, float MaxAlert, const QString& QuantityName,
                                    const QString& MeasUnitName);
// The same for ExportTables.
const TExportTable& AddExportRecord(quint16 SerialNum, TDeviceType DevType, const QString& Comment,
                                    quint8 ChannelNum, TDateTime MeasDateTime, float Value, float MinAlert,
                                    float MaxAlert, const QString& QuantityName, const QString& MeasUnitName);
