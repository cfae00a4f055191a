#include "dispatcher/DeviceTableModel.h"

#include "core/StringFunc.h"
#include "dispatcher/DeviceTable.h"

#include <algorithm>

namespace {

const QString NoLinkText = QStringLiteral("--");

} // namespace

TDeviceTableModel::TDeviceTableModel(TDevArray& Rows, QObject* Parent)
    : QAbstractTableModel(Parent), Rows_(Rows)
{
}

int TDeviceTableModel::rowCount(const QModelIndex& Parent) const
{
    return Parent.isValid() ? 0 : static_cast<int>(Shown_.size());
}

int TDeviceTableModel::columnCount(const QModelIndex& Parent) const
{
    return Parent.isValid() ? 0 : DeviceTableColumnCount;
}

TTableDevice* TDeviceTableModel::TableDevice(int Row) const
{
    if (Row < 0 || Row >= static_cast<int>(Shown_.size()))
        return nullptr;
    const TRowSnapshot& shown = Shown_[static_cast<std::size_t>(Row)];
    // A row deleted or moved since the last reload must not be handed out: the
    // pointer may be dangling until the caller reloads.
    if (shown.Position >= Rows_.size() || Rows_[shown.Position].get() != shown.Row)
        return nullptr;
    return shown.Row;
}

QVariant TDeviceTableModel::data(const QModelIndex& Index, int Role) const
{
    if (!checkIndex(Index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const int column = Index.column();
    switch (Role) {
    case Qt::DisplayRole:
        return Shown_[static_cast<std::size_t>(Index.row())].Texts[static_cast<std::size_t>(column)];
    case TableDeviceRole:
        return QVariant::fromValue(TableDevice(Index.row()));
    case Qt::CheckStateRole:
        if (column == 0) {
            // The selection box follows the record at once: a click toggles it
            // without reloading the table.
            const TTableDevice* row = TableDevice(Index.row());
            const bool selected =
                row ? row->Selected : Shown_[static_cast<std::size_t>(Index.row())].Selected;
            return selected ? Qt::Checked : Qt::Unchecked;
        }
        return {};
    default:
        return {};
    }
}

QVariant TDeviceTableModel::headerData(int Section, Qt::Orientation Orientation, int Role) const
{
    if (Orientation == Qt::Horizontal && Role == Qt::DisplayRole && Section >= 0 &&
        Section < DeviceTableColumnCount)
        return ColumnCaptions.at(Section);
    return QAbstractTableModel::headerData(Section, Orientation, Role);
}

Qt::ItemFlags TDeviceTableModel::flags(const QModelIndex& Index) const
{
    if (!Index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

TDeviceTableModel::TRowSnapshot TDeviceTableModel::snapshot(TTableDevice& Row, std::size_t Position,
                                                            int Number)
{
    TRowSnapshot s;
    s.Row = &Row;
    s.Position = Position;
    s.Selected = Row.Selected;
    s.Status = Row.Status;
    const TDevice& device = *Row.Device;
    s.FaultRegister = device.FaultRegister;
    s.SignalAtDevice = device.SignalAtDevice;
    s.SignalAtPC = device.SignalAtPC;

    s.Texts[0] = QString::number(Number);
    s.Texts[3] = SerialToStr(device.SerialNum);
    if (Row.Status == dsNoLink) {
        s.Texts[4] = s.Texts[5] = s.Texts[6] = s.Texts[7] = NoLinkText;
    } else {
        GetDeviceTypeName(device.DeviceType, s.Texts[4]);
        s.Texts[7] = device.Comment;
    }
    return s;
}

bool TDeviceTableModel::cellChanged(const TRowSnapshot& Old, const TRowSnapshot& New, int Column)
{
    if (Old.Row != New.Row)
        return true;
    const auto c = static_cast<std::size_t>(Column);
    if (Old.Texts[c] != New.Texts[c])
        return true;
    switch (Column) {
    case 0:
        return Old.Selected != New.Selected;
    case 1:
        return Old.Status != New.Status;
    case 2:
        return Old.Status != New.Status || Old.FaultRegister != New.FaultRegister;
    case 5:
        return Old.Status != New.Status || Old.SignalAtDevice != New.SignalAtDevice;
    case 6:
        return Old.Status != New.Status || Old.SignalAtPC != New.SignalAtPC;
    default:
        return false;
    }
}

void TDeviceTableModel::ReloadStringgrid()
{
    std::vector<TRowSnapshot> next;
    next.reserve(Rows_.size());
    for (std::size_t i = 0; i < Rows_.size(); ++i) {
        TTableDevice& row = *Rows_[i];
        if (!row.Hidden)
            next.push_back(snapshot(row, i, static_cast<int>(next.size()) + 1));
    }

    const int oldCount = static_cast<int>(Shown_.size());
    const int newCount = static_cast<int>(next.size());
    if (newCount < oldCount) {
        beginRemoveRows(QModelIndex(), newCount, oldCount - 1);
        Shown_.resize(static_cast<std::size_t>(newCount));
        endRemoveRows();
    }

    const int common = std::min(oldCount, newCount);
    for (int r = 0; r < common; ++r) {
        auto& shown = Shown_[static_cast<std::size_t>(r)];
        auto& fresh = next[static_cast<std::size_t>(r)];
        int first = -1;
        int last = -1;
        for (int c = 0; c < DeviceTableColumnCount; ++c) {
            if (cellChanged(shown, fresh, c)) {
                if (first < 0)
                    first = c;
                last = c;
            }
        }
        shown = std::move(fresh);
        if (first >= 0)
            Q_EMIT dataChanged(index(r, first), index(r, last));
    }

    if (newCount > oldCount) {
        beginInsertRows(QModelIndex(), oldCount, newCount - 1);
        Shown_.insert(Shown_.end(), std::make_move_iterator(next.begin() + oldCount),
                      std::make_move_iterator(next.end()));
        endInsertRows();
    }
}
