#include "dispatcher/DeviceTableDelegate.h"

#include "core/DeviceFunc.h"
#include "dispatcher/DeviceIcons.h"
#include "dispatcher/DeviceTable.h"
#include "dispatcher/DeviceTableModel.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <cmath>

namespace {

// Halves to the even neighbour, as the placement of the pictures always did.
int roundHalfEven(double Value)
{
    return static_cast<int>(std::nearbyint(Value));
}

} // namespace

QRect TDeviceTableDelegate::PictureRect(const QRect& Cell, const QSize& Picture)
{
    return QRect(Cell.left() + roundHalfEven((Cell.width() - Picture.width()) / 2.0),
                 Cell.top() + roundHalfEven((Cell.height() - Picture.height()) / 2.0), Picture.width(),
                 Picture.height());
}

QRect TDeviceTableDelegate::SignalRect(const QRect& Cell)
{
    const int side = Cell.height();
    return QRect(Cell.left() + roundHalfEven((Cell.width() - side) / 2.0), Cell.top(), side, side);
}

QRect TDeviceTableDelegate::CheckBoxRect(const QRect& Cell, const QStyle* Style, const QWidget* Widget)
{
    const int cx = Style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, Widget);
    const int cy = Style->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, Widget);
    // Right-aligned, 4 pixels inside the cell; the number stays on the left.
    return QRect(Cell.left() + Cell.width() - 4 - cx, Cell.top() + (Cell.height() - cy) / 2, cx, cy);
}

void TDeviceTableDelegate::paint(QPainter* Painter, const QStyleOptionViewItem& Option,
                                 const QModelIndex& Index) const
{
    if (Index.column() == 0) {
        paintNumberCell(Painter, Option, Index);
        return;
    }
    QStyleOptionViewItem plain = Option;
    plain.state &= ~QStyle::State_HasFocus;
    QStyledItemDelegate::paint(Painter, plain, Index);

    const auto* row = Index.data(TDeviceTableModel::TableDeviceRole).value<TTableDevice*>();
    if (!row)
        return;
    const QRect& cell = Option.rect;
    const TDevice& device = *row->Device;
    const bool linked = row->Status != dsNoLink;
    const QSize pictureSize(TDeviceIcons::PictureSize, TDeviceIcons::PictureSize);
    switch (Index.column()) {
    case 1:
        if (row->Status < TDeviceIcons::StatusCount)
            Painter->drawPixmap(PictureRect(cell, pictureSize), TDeviceIcons::StatusPicture(row->Status));
        break;
    case 2: {
        const int picture = !linked ? dsNoLink : (device.FaultRegister != 0 ? dsAlarm : dsOk);
        Painter->drawPixmap(PictureRect(cell, pictureSize), TDeviceIcons::StatusPicture(picture));
        break;
    }
    case 5:
    case 6:
        if (linked) {
            const quint8 rssi = Index.column() == 5 ? device.SignalAtDevice : device.SignalAtPC;
            const QRect target = SignalRect(cell);
            Painter->drawPixmap(target,
                                TDeviceIcons::SignalLevelPicture(RssiToSignalLevel(rssi), target.height()));
        }
        break;
    default:
        break;
    }
}

void TDeviceTableDelegate::paintNumberCell(QPainter* Painter, const QStyleOptionViewItem& Option,
                                           const QModelIndex& Index) const
{
    const QRect& cell = Option.rect;
    const QWidget* widget = Option.widget;
    const QStyle* style = widget ? widget->style() : QApplication::style();
    Painter->save();
    Painter->fillRect(cell, Qt::white);

    const auto* row = Index.data(TDeviceTableModel::TableDeviceRole).value<TTableDevice*>();
    QStyleOptionButton box;
    if (widget)
        box.initFrom(widget);
    box.rect = CheckBoxRect(cell, style, widget);
    box.state = QStyle::State_Enabled | (row && row->Selected ? QStyle::State_On : QStyle::State_Off);
    box.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver);
    style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, Painter, widget);

    const QString number = Index.data(Qt::DisplayRole).toString();
    const QSize textSize = MeasureText(number, Option.font);
    Painter->setFont(Option.font);
    Painter->setPen(Qt::black);
    const int textTop = cell.top() + (cell.height() - textSize.height()) / 2;
    Painter->drawText(QRect(cell.left() + 2, textTop, box.rect.left() - cell.left() - 2, textSize.height()),
                      Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, number);
    Painter->restore();
}
