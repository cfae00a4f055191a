#include "archive/Export.h"

#include "core/StringFunc.h"

#include <algorithm>

TExportTableArray ExportTables;

void AddExportRecord(TExportTableArray& Tables, quint16 SerialNum, TDeviceType DevType,
                     const QString& Comment, quint8 ChannelNum, TDateTime MeasDateTime, float Value,
                     float MinAlert, float MaxAlert, const QString& QuantityName, const QString& MeasUnitName)
{
    TChanExportRec rec{ChannelNum, Value, MinAlert, MaxAlert, QuantityName, MeasUnitName};

    const auto table = std::find_if(Tables.begin(), Tables.end(),
                                    [&](const TExportTable& T) { return T.SerialNum == SerialNum; });
    if (table == Tables.end()) {
        QString typeName;
        GetDeviceTypeName(DevType, typeName);
        TExportTable& added = Tables.emplace_back();
        added.Title = typeName + QStringLiteral(", серийный № ") + SerialToStr(SerialNum);
        added.SerialNum = SerialNum;
        added.LastComment = Comment;
        added.MeasRecs.push_back(TExportMeasRec{MeasDateTime, {std::move(rec)}, Comment});
        return;
    }

    // Matched over every row, not just the last, so the values of one stamp
    // meet in one row even when they do not arrive together.
    auto& rows = table->MeasRecs;
    const auto row = std::find_if(rows.begin(), rows.end(),
                                  [&](const TExportMeasRec& R) { return R.MeasDateTime == MeasDateTime; });
    if (row != rows.end()) {
        row->ChanRecs.push_back(std::move(rec));
        return;
    }
    TExportMeasRec& added = rows.emplace_back();
    added.MeasDateTime = MeasDateTime;
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
