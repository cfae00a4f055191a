#include "dispatcher/ColumnFilterDelegate.h"

#include "dispatcher/DeviceTable.h"

#include <QPainter>

QColor TColumnFilterDelegate::ItemColor(const QString& Text) const
{
    if (Column_ != 1 || Text.isEmpty())
        return QColor(255, 255, 255);
    switch (TextToStatus(Text)) {
    case dsNoLink:
        return QColor(0, 0, 0);
    case dsOk:
        return QColor(0, 128, 0);
    case dsWarning:
        return QColor(255, 255, 0);
    default:
        return QColor(255, 0, 0);
    }
}

void TColumnFilterDelegate::paint(QPainter* Painter, const QStyleOptionViewItem& Option,
                                  const QModelIndex& Index) const
{
    const QString text = Index.data(Qt::DisplayRole).toString();
    const QColor background = ItemColor(text);
    Painter->save();
    Painter->fillRect(Option.rect, background);
    Painter->setFont(Option.font);
    Painter->setPen(ContrastTextColor(background));
    Painter->drawText(Option.rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    Painter->restore();
}

QSize TColumnFilterDelegate::sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const
{
    return QSize(MeasureText(Index.data(Qt::DisplayRole).toString(), Option.font).width(), ItemHeight);
}
