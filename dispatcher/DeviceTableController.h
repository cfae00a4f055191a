#pragma once

#include "dispatcher/DeviceTable.h"
#include "dispatcher/DeviceTableModel.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <array>

class QComboBox;
class QTableView;
class TColumnFilterDelegate;
class TDeviceTableHeader;

// Gives the main window's table view the device table's look and behaviour:
// cell drawing, the caption row with sort and filter marks, column widths and row
// heights, sorting by a left click on a caption, the column filter list on a
// right click, the selection boxes, the cell hints and the double click that
// opens a device. It works on the view and the filter list the window's form
// already holds (it replaces the view's horizontal header and takes the list out
// of its layout), so the form stays a plain QTableView and QComboBox.
class TDeviceTableController : public QObject
{
    Q_OBJECT

public:
    // View shows Model; FilterList is the column filter list, a sibling of the
    // view (or of one of its ancestors). Both must outlive the controller, which
    // is a child of View. Resets the sort and filter columns.
    TDeviceTableController(QTableView* View, QComboBox* FilterList, TDeviceTableModel* Model);

    // Widths of the eight columns for captions in Font: the number column fits its
    // caption, the picture columns leave room for a sort mark, the comment column
    // is three times its caption.
    static std::array<int, DeviceTableColumnCount> ColumnWidths(const QFont& Font);
    // A signal level in dBm as the hints show it: at most two decimals, a comma.
    static QString FormatDbm(double Dbm);

    int DefaultRowHeight() const { return DefaultRowHeight_; }
    // The caption row: an eighth taller than a data row.
    int HeaderRowHeight() const { return DefaultRowHeight_ + DefaultRowHeight_ / 8; }
    TDeviceTableHeader* Header() const { return Header_; }

    // The hint text of the cell the mouse went over last; empty where that cell
    // has none. Cells are counted as the operator sees the grid: row 0 is the
    // caption row, data rows from 1; -1 for a point outside every cell.
    const QString& HintText() const { return HintText_; }
    int HintCol() const { return HintCol_; }
    int HintRow() const { return HintRow_; }

Q_SIGNALS:
    // A double click on a data row; the main window opens the device window.
    void DeviceDoubleClicked(TTableDevice* Row);

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    struct TCell
    {
        int Col = -1;
        int Row = -1;
    };

    TCell cellAt(const QPoint& ViewportPos) const;
    TTableDevice* rowRecord(int GridRow) const;
    void applyLayout();
    void reload();

    void headerMouseDown(int Column, Qt::MouseButton Button);
    void cellMouseDown(const TCell& Cell);
    void mouseMove(const TCell& Cell);
    void showHint(const QPoint& GlobalPos, const TCell& Cell);

    void openColumnFilter(int Column);
    void columnFilterSelect(int Index);
    void columnFilterExit();

    QTableView* View_;
    QPointer<QComboBox> FilterList_;
    TDeviceTableModel* Model_;
    TDeviceTableHeader* Header_ = nullptr;
    // Only compared with an event's target: events still arrive while the view is
    // being destroyed, when calling into it is no longer allowed.
    const QObject* Viewport_ = nullptr;
    const QObject* HeaderViewport_ = nullptr;
    TColumnFilterDelegate* FilterDelegate_ = nullptr;
    int DefaultRowHeight_ = 0;
    int HintCol_ = 0;
    int HintRow_ = 0;
    QString HintText_;
};
