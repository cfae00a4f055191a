#pragma once

#include <QAbstractItemDelegate>

// Items of the column filter list, 16 pixels high: white, except that the
// status column shows each status text on its status colour (black, green,
// yellow, red), always in the contrasting text colour. Selection and focus do
// not change an item's look.
class TColumnFilterDelegate : public QAbstractItemDelegate
{
    Q_OBJECT

public:
    static constexpr int ItemHeight = 16;

    using QAbstractItemDelegate::QAbstractItemDelegate;

    // The column the list filters (the list's Tag).
    void SetColumn(int Column) { Column_ = Column; }
    int Column() const { return Column_; }

    // The background of an item text in this column.
    QColor ItemColor(const QString& Text) const;

    void paint(QPainter* Painter, const QStyleOptionViewItem& Option,
               const QModelIndex& Index) const override;
    QSize sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;

private:
    int Column_ = -1;
};
