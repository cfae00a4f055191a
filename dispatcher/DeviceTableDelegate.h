#pragma once

#include <QRect>
#include <QStyledItemDelegate>

// Draws the cells of the device table: the white number cell with the row's
// selection box, the status and fault pictures and the signal bars over what the
// item view draws itself (background, selection and the cell texts).
class TDeviceTableDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* Painter, const QStyleOptionViewItem& Option,
               const QModelIndex& Index) const override;

    // Where the pictures of a cell go (Cell is the rectangle the view paints).
    static QRect PictureRect(const QRect& Cell, const QSize& Picture);
    static QRect SignalRect(const QRect& Cell);
    // The selection box of a number cell, in the given style.
    static QRect CheckBoxRect(const QRect& Cell, const QStyle* Style, const QWidget* Widget);

private:
    void paintNumberCell(QPainter* Painter, const QStyleOptionViewItem& Option,
                         const QModelIndex& Index) const;
};
