#include "dispatcher/DeviceTableController.h"

#include "core/DeviceFunc.h"
#include "dispatcher/ColumnFilter.h"
#include "dispatcher/ColumnFilterDelegate.h"
#include "dispatcher/DeviceIcons.h"
#include "dispatcher/DeviceTableDelegate.h"
#include "dispatcher/DeviceTableHeader.h"
#include "dispatcher/DeviceTableModel.h"
#include "dispatcher/DispatcherState.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QLayout>
#include <QMouseEvent>
#include <QTableView>
#include <QToolTip>

TDeviceTableController::TDeviceTableController(QTableView* View, QComboBox* FilterList,
                                               TDeviceTableModel* Model)
    : QObject(View), View_(View), FilterList_(FilterList), Model_(Model)
{
    SortColumn = -1;
    SortDirection = 0;
    FilterColumn = -1;

    if (View_->model() != Model_)
        View_->setModel(Model_);
    Header_ = new TDeviceTableHeader(View_);
    View_->setHorizontalHeader(Header_);
    View_->setItemDelegate(new TDeviceTableDelegate(View_));
    View_->setWordWrap(false);
    View_->setMouseTracking(true);
    View_->viewport()->setMouseTracking(true);
    View_->viewport()->installEventFilter(this);
    Header_->viewport()->setMouseTracking(true);
    Header_->viewport()->installEventFilter(this);
    Viewport_ = View_->viewport();
    HeaderViewport_ = Header_->viewport();
    connect(Header_, &TDeviceTableHeader::SectionMouseDown, this, &TDeviceTableController::headerMouseDown);
    applyLayout();

    if (FilterList_) {
        // The list floats over the caption row while the operator picks a filter,
        // so no layout may place it.
        if (QWidget* parent = FilterList_->parentWidget(); parent && parent->layout())
            parent->layout()->removeWidget(FilterList_);
        FilterList_->hide();
        FilterList_->setEditable(false);
        FilterDelegate_ = new TColumnFilterDelegate(FilterList_);
        FilterList_->setItemDelegate(FilterDelegate_);
        FilterList_->installEventFilter(this);
        connect(FilterList_, qOverload<int>(&QComboBox::activated), this,
                &TDeviceTableController::columnFilterSelect);
    }
}

std::array<int, DeviceTableColumnCount> TDeviceTableController::ColumnWidths(const QFont& Font)
{
    const int sortWidth = TDeviceIcons::SortPicture(0).deviceIndependentSize().toSize().width();
    std::array<int, DeviceTableColumnCount> widths{};
    for (int c = 0; c < DeviceTableColumnCount; ++c) {
        const int w = MeasureText(ColumnCaptions.at(c), Font).width();
        if (c == 0)
            widths[std::size_t(c)] = w + 2 * ColumnPadding;
        else if (c < DeviceTableColumnCount - 1)
            widths[std::size_t(c)] = w + sortWidth + 3 * ColumnPadding;
        else
            widths[std::size_t(c)] = (w + 3 * ColumnPadding) * 3;
    }
    return widths;
}

QString TDeviceTableController::FormatDbm(double Dbm)
{
    QString text = QString::number(Dbm, 'f', 2);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    text.replace(QLatin1Char('.'), QLatin1Char(','));
    return text;
}

void TDeviceTableController::applyLayout()
{
    QHeaderView* rows = View_->verticalHeader();
    // The row height the style gives the table's font is the grid's default row
    // height; rows never change it.
    DefaultRowHeight_ = rows->defaultSectionSize();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(DefaultRowHeight_);
    rows->hide();

    Header_->setFont(View_->font());
    Header_->setStretchLastSection(false);
    Header_->setFixedHeight(HeaderRowHeight());
    const auto widths = ColumnWidths(View_->font());
    for (int c = 0; c < DeviceTableColumnCount; ++c)
        Header_->resizeSection(c, widths[std::size_t(c)]);
}

void TDeviceTableController::reload()
{
    Model_->ReloadStringgrid();
    View_->viewport()->update();
    Header_->viewport()->update();
}

TDeviceTableController::TCell TDeviceTableController::cellAt(const QPoint& ViewportPos) const
{
    const QModelIndex index = View_->indexAt(ViewportPos);
    if (!index.isValid())
        return {};
    return {index.column(), index.row() + 1};
}

TTableDevice* TDeviceTableController::rowRecord(int GridRow) const
{
    return GridRow >= 1 ? Model_->TableDevice(GridRow - 1) : nullptr;
}

bool TDeviceTableController::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched == Viewport_) {
        switch (Event->type()) {
        case QEvent::MouseButtonPress:
            cellMouseDown(cellAt(static_cast<QMouseEvent*>(Event)->position().toPoint()));
            break;
        case QEvent::MouseButtonDblClick: {
            const TCell cell = cellAt(static_cast<QMouseEvent*>(Event)->position().toPoint());
            if (TTableDevice* row = rowRecord(cell.Row))
                Q_EMIT DeviceDoubleClicked(row);
            // The second press of a double click comes only as this event.
            cellMouseDown(cell);
            break;
        }
        case QEvent::MouseMove:
            mouseMove(cellAt(static_cast<QMouseEvent*>(Event)->position().toPoint()));
            break;
        case QEvent::ToolTip: {
            const auto* help = static_cast<QHelpEvent*>(Event);
            showHint(help->globalPos(), cellAt(help->pos()));
            return true;
        }
        default:
            break;
        }
    } else if (Watched == HeaderViewport_) {
        switch (Event->type()) {
        case QEvent::MouseMove:
            mouseMove({Header_->logicalIndexAt(static_cast<QMouseEvent*>(Event)->position().toPoint()), 0});
            break;
        case QEvent::ToolTip:
            mouseMove({Header_->logicalIndexAt(static_cast<QHelpEvent*>(Event)->pos()), 0});
            QToolTip::hideText();
            return true;
        default:
            break;
        }
    } else if (Watched == FilterList_ && Event->type() == QEvent::FocusOut) {
        // Its own drop-down takes the focus while it is open; that is no exit.
        const QWidget* now = QApplication::focusWidget();
        const bool intoDropDown = (now && FilterList_->isAncestorOf(now)) || FilterList_->view()->isVisible();
        if (static_cast<QFocusEvent*>(Event)->reason() != Qt::PopupFocusReason && !intoDropDown)
            columnFilterExit();
    }
    return QObject::eventFilter(Watched, Event);
}

void TDeviceTableController::headerMouseDown(int Column, Qt::MouseButton Button)
{
    // The caption row belongs to the table: pressing it leaves the filter list.
    View_->setFocus(Qt::MouseFocusReason);
    if (Button == Qt::LeftButton && Column >= 1 && Column <= 6) {
        if (SortColumn == Column && SortDirection == 1) {
            SortDeviceList(Model_->Rows(), Column, 2);
            SortDirection = 2;
        } else {
            SortDeviceList(Model_->Rows(), Column, 1);
            SortDirection = 1;
        }
        SortColumn = Column;
        reload();
    } else if (Button == Qt::RightButton && Column >= 1 && Column <= 4) {
        openColumnFilter(Column);
    }
}

void TDeviceTableController::cellMouseDown(const TCell& Cell)
{
    if (Cell.Col != 0)
        return;
    TTableDevice* row = rowRecord(Cell.Row);
    if (!row)
        return;
    row->Selected = !row->Selected;
    View_->viewport()->update(View_->visualRect(Model_->index(Cell.Row - 1, 0)));
}

void TDeviceTableController::mouseMove(const TCell& Cell)
{
    const bool hasHint = Cell.Row >= 1 && (Cell.Col == 1 || Cell.Col == 2 || Cell.Col == 5 || Cell.Col == 6);
    if (!hasHint) {
        HintCol_ = Cell.Col;
        HintRow_ = Cell.Row;
        QToolTip::hideText();
        HintText_.clear();
        return;
    }
    if (Cell.Col == HintCol_ && Cell.Row == HintRow_)
        return;
    HintCol_ = Cell.Col;
    HintRow_ = Cell.Row;
    QToolTip::hideText();

    const TTableDevice* row = rowRecord(Cell.Row);
    if (!row) {
        HintText_.clear();
        return;
    }
    const TDevice& device = *row->Device;
    switch (Cell.Col) {
    case 1:
        StatusToText(row->Status, HintText_);
        break;
    case 2: {
        QStringList lines;
        FillFaultFlagsList(device.FaultRegister, lines);
        HintText_.clear();
        for (const QString& line : lines)
            HintText_ += line + QLatin1Char('\n');
        break;
    }
    case 5:
        HintText_ = FormatDbm(RssiToDbm(device.SignalAtDevice));
        break;
    default:
        HintText_ = FormatDbm(RssiToDbm(device.SignalAtPC));
        break;
    }
}

void TDeviceTableController::showHint(const QPoint& GlobalPos, const TCell& Cell)
{
    mouseMove(Cell);
    if (HintText_.isEmpty() || Cell.Row < 1) {
        QToolTip::hideText();
        return;
    }
    // Lines end with a line break; the last one would show as an empty line.
    QString shown = HintText_;
    if (shown.endsWith(QLatin1Char('\n')))
        shown.chop(1);
    const QRect cell = View_->visualRect(Model_->index(Cell.Row - 1, Cell.Col));
    QToolTip::showText(GlobalPos, shown, View_->viewport(), cell);
}

void TDeviceTableController::openColumnFilter(int Column)
{
    if (!FilterList_)
        return;
    FilterList_->hide();
    QWidget* panel = FilterList_->parentWidget();
    const QRect inHeader(Header_->sectionViewportPosition(Column), 0, Header_->sectionSize(Column),
                         Header_->height());
    const QPoint topLeft = panel ? panel->mapFromGlobal(Header_->viewport()->mapToGlobal(inHeader.topLeft()))
                                 : Header_->viewport()->mapToGlobal(inHeader.topLeft());
    const int listHeight = DefaultRowHeight_;
    const int m = (inHeader.height() - listHeight) / 2;
    FilterList_->setGeometry(topLeft.x() + m, topLeft.y() + m + 2, inHeader.width() - 2 * m + 2, listHeight);

    FilterList_->clear();
    FilterList_->addItems(ColumnFilterItems(Model_->Rows(), Column));
    FilterList_->setCurrentIndex(FilterColumn == Column ? FilterList_->findText(FilterText) : -1);
    FilterDelegate_->SetColumn(Column);
    FilterList_->raise();
    FilterList_->show();
    FilterList_->setFocus(Qt::OtherFocusReason);
}

void TDeviceTableController::columnFilterSelect(int Index)
{
    if (!FilterList_ || Index < 0)
        return;
    const QString text = FilterList_->itemText(Index);
    FilterList_->hide();
    ApplyColumnFilter(Model_->Rows(), FilterDelegate_->Column(), text);
    reload();
}

void TDeviceTableController::columnFilterExit()
{
    if (FilterList_)
        FilterList_->hide();
    if (View_->selectionModel())
        View_->selectionModel()->clear();
}
