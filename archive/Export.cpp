#include "archive/Export.h"

#include "core/StringFunc.h"

#include <QHash>
#include <algorithm>
#include <bit>

TExportTableArray ExportTables;

namespace {

// Bit for bit, so every value keeps the text it is written with (-0 and 0 too).
bool sameBits(float A, float B)
{
    return std::bit_cast<quint32>(A) == std::bit_cast<quint32>(B);
}

} // namespace

std::size_t TExportTable::rowEnd(std::size_t Row) const
{
    return Row + 1 < FirstValue_.size() ? FirstValue_[Row + 1] : Values_.size();
}

template <typename Visit> void TExportTable::forEachValue(std::size_t Row, Visit&& Take) const
{
    for (std::size_t v = FirstValue_[Row]; v < rowEnd(Row); ++v)
        Take(Values_[v]);
    if (!Late_.empty()) {
        const auto [from, to] = Late_.equal_range(quint32(Row));
        for (auto it = from; it != to; ++it)
            Take(it->second);
    }
}

TChanExportRec TExportTable::record(const TValue& Value) const
{
    const TSettings& s = Settings_[Value.Settings];
    return {s.ChannelNum, Value.Value, s.MinAlert, s.MaxAlert, s.QuantityName, s.MeasUnitName};
}

std::size_t TExportTable::made(std::size_t Row) const
{
    if (InTimeOrder_)
        return Row;
    if (TimeOrder_.size() == Stamps_.size())
        return TimeOrder_[Row];
    // Earlier before later, equal stamps in the order made.
    const auto before = [this](quint32 A, quint32 B) {
        return Stamps_[A] < Stamps_[B] || (!(Stamps_[B] < Stamps_[A]) && A < B);
    };
    // The rows come in a few runs in time order, one per day file as a rule (the
    // order made so far, already sorted, is one more): merged pairwise, pass
    // after pass, so two runs cost one linear merge and the worst case n log n.
    for (auto r = quint32(TimeOrder_.size()); r < Stamps_.size(); ++r)
        TimeOrder_.push_back(r);
    const auto runEnd = [&](std::size_t From) {
        std::size_t end = From + 1;
        while (end < TimeOrder_.size() && !before(TimeOrder_[end], TimeOrder_[end - 1]))
            ++end;
        return end;
    };
    const auto at = [this](std::size_t I) { return TimeOrder_.begin() + std::ptrdiff_t(I); };
    for (bool merged = true; merged;) {
        merged = false;
        for (std::size_t from = 0; from < TimeOrder_.size();) {
            const std::size_t middle = runEnd(from);
            if (middle == TimeOrder_.size())
                break;
            const std::size_t end = runEnd(middle);
            std::inplace_merge(at(from), at(middle), at(end), before);
            merged = true;
            from = end;
        }
    }
    return TimeOrder_[Row];
}

const QString& TExportTable::commentOf(std::size_t Made) const
{
    static const QString none;
    const auto next =
        std::upper_bound(Comments_.begin(), Comments_.end(), quint32(Made),
                         [](quint32 R, const std::pair<quint32, QString>& C) { return R < C.first; });
    return next == Comments_.begin() ? none : (next - 1)->second;
}

void TExportTable::GetRow(std::size_t Row, TExportMeasRec& Rec) const
{
    const std::size_t row = made(Row);
    Rec.MeasDateTime = Stamps_[row];
    Rec.ChanRecs.clear();
    forEachValue(row, [&](const TValue& V) { Rec.ChanRecs.push_back(record(V)); });
    // Compared with the row before in time, which need not be the one made before.
    const QString& comment = commentOf(row);
    if (Row == 0 || comment != commentOf(made(Row - 1)))
        Rec.Comment = comment;
    else
        Rec.Comment.clear();
}

TExportMeasRec TExportTable::GetRow(std::size_t Row) const
{
    TExportMeasRec rec;
    GetRow(Row, rec);
    return rec;
}

std::vector<quint8> TExportTable::ChannelOrder() const
{
    std::array<bool, 256> seen{};
    std::size_t channels = 0;
    for (const TSettings& s : Settings_) {
        channels += seen[s.ChannelNum] ? 0 : 1;
        seen[s.ChannelNum] = true;
    }
    seen.fill(false);
    std::vector<quint8> order;
    const auto take = [&](const TValue& V) {
        const quint8 channel = Settings_[V.Settings].ChannelNum;
        if (!seen[channel]) {
            seen[channel] = true;
            order.push_back(channel);
        }
    };
    // Every channel shows within the first rows as a rule; the scan ends there.
    for (std::size_t row = 0; row < Stamps_.size() && order.size() < channels; ++row)
        forEachValue(made(row), take);
    return order;
}

quint32 TExportTable::settingsOf(const TChanExportRec& Rec)
{
    const auto same = [&Rec](const TSettings& S) {
        return S.ChannelNum == Rec.ChannelNum && sameBits(S.MinAlert, Rec.MinAlert) &&
               sameBits(S.MaxAlert, Rec.MaxAlert) && S.QuantityName == Rec.QuantityName &&
               S.MeasUnitName == Rec.MeasUnitName;
    };
    qint64& last = LastSettings_[Rec.ChannelNum];
    if (last >= 0 && same(Settings_[std::size_t(last)]))
        return quint32(last);
    const std::size_t hash =
        qHashMulti(0, Rec.ChannelNum, std::bit_cast<quint32>(Rec.MinAlert),
                   std::bit_cast<quint32>(Rec.MaxAlert), Rec.QuantityName, Rec.MeasUnitName);
    const auto [from, to] = SettingsByHash_.equal_range(hash);
    for (auto it = from; it != to; ++it) {
        if (same(Settings_[it->second])) {
            last = it->second;
            return it->second;
        }
    }
    const auto index = quint32(Settings_.size());
    Settings_.push_back({Rec.ChannelNum, Rec.MinAlert, Rec.MaxAlert, Rec.QuantityName, Rec.MeasUnitName});
    SettingsByHash_.emplace(hash, index);
    last = index;
    return index;
}

void TExportTable::AppendRow(TDateTime Stamp, const QString& Comment, const TChanExportRec& Rec)
{
    const TValue value{Rec.Value, settingsOf(Rec)};
    // A change to an empty comment counts too: in time order this row may
    // follow another row than the one made before it.
    if (Comments_.empty() || Comments_.back().second != Comment)
        Comments_.emplace_back(quint32(Stamps_.size()), Comment);
    if (!Stamps_.empty() && !(Stamps_.back() < Stamp))
        InTimeOrder_ = false;
    Stamps_.push_back(Stamp);
    FirstValue_.push_back(quint32(Values_.size()));
    Values_.push_back(value);
}

bool TExportTable::AddToStamp(TDateTime Stamp, const TChanExportRec& Rec)
{
    const std::ptrdiff_t found = RowIndex_.Find(Stamps_, Stamp);
    if (found < 0)
        return false;
    const auto row = std::size_t(found);
    const TValue value{Rec.Value, settingsOf(Rec)};
    // The last row made has its values at the end of the array; an earlier
    // row's cannot grow there.
    if (row + 1 == Stamps_.size())
        Values_.push_back(value);
    else
        Late_.emplace(quint32(row), value);
    return true;
}

const TExportTable& AddExportRecord(TExportTableArray& Tables, quint16 SerialNum, TDeviceType DevType,
                                    const QString& Comment, quint8 ChannelNum, TDateTime MeasDateTime,
                                    float Value, float MinAlert, float MaxAlert, const QString& QuantityName,
                                    const QString& MeasUnitName)
{
    const TChanExportRec rec{ChannelNum, Value, MinAlert, MaxAlert, QuantityName, MeasUnitName};

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
        added.AppendRow(MeasDateTime, Comment, rec);
        return added;
    }

    // Matched over every row, not just the last, so the values of one stamp
    // meet in one row even when they do not arrive together. Stamps are unique
    // within a table, so the index finds the row a scan from the first would.
    if (table->AddToStamp(MeasDateTime, rec))
        return *table;
    table->AppendRow(MeasDateTime, Comment, rec);
    table->LastComment = Comment;
    return *table;
}

const TExportTable& AddExportRecord(quint16 SerialNum, TDeviceType DevType, const QString& Comment,
                                    quint8 ChannelNum, TDateTime MeasDateTime, float Value, float MinAlert,
                                    float MaxAlert, const QString& QuantityName, const QString& MeasUnitName)
{
    return AddExportRecord(ExportTables, SerialNum, DevType, Comment, ChannelNum, MeasDateTime, Value,
                           MinAlert, MaxAlert, QuantityName, MeasUnitName);
}
