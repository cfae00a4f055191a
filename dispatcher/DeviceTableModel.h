#pragma once

#include "dispatcher/DispatcherState.h"

#include <QAbstractTableModel>
#include <QMetaType>
#include <array>
#include <vector>

// The device table as the view sees it: one row per row of the device list that
// is not hidden, in list order, with the cell texts of the eight columns. The
// model shows the state of its last ReloadStringgrid, which the main window calls
// after every change (after every polled device, too).
class TDeviceTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    // Qt::UserRole: the row's TTableDevice*, on every column; nullptr when the row
    // was freed or moved since the last reload.
    static constexpr int TableDeviceRole = Qt::UserRole;

    explicit TDeviceTableModel(TDevArray& Rows = DevArray, QObject* Parent = nullptr);

    int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& Parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
    QVariant headerData(int Section, Qt::Orientation Orientation, int Role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& Index) const override;

    // The device list the model shows.
    TDevArray& Rows() const { return Rows_; }

    // The record of a model row, or nullptr (see TableDeviceRole).
    TTableDevice* TableDevice(int Row) const;

    // Takes the visible rows anew. The view is never reset: rows are inserted or
    // removed at the end only when their number changes, and only cells whose text
    // or drawn state changed are reported, so selection and scrolling survive.
    void ReloadStringgrid();

private:
    // What one model row showed at the last reload; also what the cell drawing
    // depends on (status, fault and signal pictures, the selection box).
    struct TRowSnapshot
    {
        TTableDevice* Row = nullptr;
        std::size_t Position = 0; // index in the device list
        std::array<QString, 8> Texts;
        bool Selected = false;
        quint8 Status = 0;
        quint32 FaultRegister = 0;
        quint8 SignalAtDevice = 0;
        quint8 SignalAtPC = 0;
    };

    static TRowSnapshot snapshot(TTableDevice& Row, std::size_t Position, int Number);
    static bool cellChanged(const TRowSnapshot& Old, const TRowSnapshot& New, int Column);

    TDevArray& Rows_;
    std::vector<TRowSnapshot> Shown_;
};
