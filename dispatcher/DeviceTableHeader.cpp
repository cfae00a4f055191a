#include "dispatcher/DeviceTableHeader.h"

#include "dispatcher/DeviceIcons.h"
#include "dispatcher/DeviceTable.h"
#include "dispatcher/DispatcherState.h"

#include <QMouseEvent>
#include <QPainter>

TDeviceTableHeader::TDeviceTableHeader(QWidget* Parent) : QHeaderView(Qt::Horizontal, Parent)
{
    setSectionsClickable(false);
    setSectionsMovable(false);
    setHighlightSections(false);
    setSectionResizeMode(QHeaderView::Fixed);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void TDeviceTableHeader::paintSection(QPainter* Painter, const QRect& Rect, int LogicalIndex) const
{
    if (!Rect.isValid())
        return;
    Painter->save();
    Painter->fillRect(Rect, palette().color(QPalette::Button));
    // Cell edges as the grid draws them between fixed cells.
    Painter->setPen(palette().color(QPalette::Mid));
    Painter->drawLine(Rect.topRight(), Rect.bottomRight());
    Painter->drawLine(Rect.bottomLeft(), Rect.bottomRight());

    const QString caption =
        model() ? model()->headerData(LogicalIndex, Qt::Horizontal).toString() : QString();
    const QSize textSize = MeasureText(caption, font());
    Painter->setFont(font());
    Painter->setPen(Qt::black);
    const int textTop = Rect.top() + (Rect.height() - textSize.height()) / 2;
    Painter->drawText(QRect(Rect.left() + ColumnPadding, textTop, Rect.width(), textSize.height()),
                      Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, caption);

    const int markLeft = Rect.left() + textSize.width() + 2 * ColumnPadding;
    if (LogicalIndex == FilterColumn) {
        const QPixmap filter = TDeviceIcons::FilterPicture();
        const QSize size = filter.deviceIndependentSize().toSize();
        Painter->drawPixmap(QRect(QPoint(markLeft, Rect.top() + Rect.height() - size.height()), size),
                            filter);
    }
    if (SortColumn >= 1 && SortColumn <= 6 && SortColumn == LogicalIndex &&
        (SortDirection == 1 || SortDirection == 2)) {
        const QSize size = TDeviceIcons::SortPicture(0).deviceIndependentSize().toSize();
        Painter->drawPixmap(QRect(QPoint(markLeft, Rect.top()), size),
                            TDeviceIcons::SortPicture(SortDirection == 1 ? 0 : 1));
    }
    Painter->restore();
}

void TDeviceTableHeader::mousePressEvent(QMouseEvent* Event)
{
    Q_EMIT SectionMouseDown(logicalIndexAt(Event->position().toPoint()), Event->button());
    Event->accept();
}

void TDeviceTableHeader::mouseDoubleClickEvent(QMouseEvent* Event)
{
    // The second press of a double click comes only as this event; it sorts
    // again as a second click would.
    mousePressEvent(Event);
}
