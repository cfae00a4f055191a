#include "archive/Export.h"

#include "core/StringFunc.h"

#include <algorithm>

TExportTableArray ExportTables;

void AddExportRecord(TExportTableArray& Tables, quint16 SerialNum, TDeviceType DevType,
                     const QString& Comment, quint8 ChannelNum, TDateTime MeasDateTime, float Value,
                     float MinAlert, float MaxAlert, const QString& QuantityName, const QString& MeasUnitName)
{
    TChanExportRec rec{ChannelNum, Value, MinAlert, MaxAlert, QuantityName, MeasUnitName};

    // One table per selected device: a handful, so a scan costs nothing here.
    const auto table = std::find_if(Tables.begin(), Tables.end(),
                                    [&](const TExportTable& T) { return T.SerialNum == SerialNum; });
    if (table == Tables.end()) {
        QString typeName;
        GetDeviceTypeName(DevType, typeName);
        TExportTable& added = Tables.emplace_back();
        added.Title = typeName + QStringLiteral(", серийный № ") + SerialToStr(SerialNum);
        added.SerialNum = SerialNum;
        added.LastComment = Comment;
        TExportMeasRec& first = added.MeasRecs.emplace_back();
        first.MeasDateTime = MeasDateTime;
        first.ChanRecs.reserve(2);
        first.ChanRecs.push_back(std::move(rec));
        first.Comment = Comment;
        return;
    }

    // Matched over every row, not just the last, so the values of one stamp
    // meet in one row even when they do not arrive together. Stamps are unique
    // within a table, so the index finds the row a scan from the first would.
    auto& rows = table->MeasRecs;
    const std::ptrdiff_t row = table->RowIndex.Find(rows, MeasDateTime);
    if (row >= 0) {
        rows[std::size_t(row)].ChanRecs.push_back(std::move(rec));
        return;
    }
    TExportMeasRec& added = rows.emplace_back();
    added.MeasDateTime = MeasDateTime;
    // A device has two channels: one allocation for both values of a stamp.
    added.ChanRecs.reserve(2);
    added.ChanRecs.push_back(std::move(rec));
    if (Comment != table->LastComment) {
        added.Comment = Comment;
        table->LastComment = Comment;
    }
}

void AddExportRecord(quint16 SerialNum, TDeviceType DevType, const QString& Comment, quint8 ChannelNum,
                     TDateTime MeasDateTime, float Value, float MinAlert, float MaxAlert,
                     const QString& QuantityName, const QString& MeasUnitName)
{
    AddExportRecord(ExportTables, SerialNum, DevType, Comment, ChannelNum, MeasDateTime, Value, MinAlert,
                    MaxAlert, QuantityName, MeasUnitName);
}
