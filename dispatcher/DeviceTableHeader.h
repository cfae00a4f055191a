#pragma once

#include <QHeaderView>

// Space between a caption and the cell edge or a mark, in pixels.
constexpr int ColumnPadding = 6;

// The caption row of the device table: captions on the button face, the sort mark
// of SortColumn and the filter mark of FilterColumn after the caption. Presses are
// handed to the table's controller; the header itself neither sorts, selects nor
// resizes.
class TDeviceTableHeader : public QHeaderView
{
    Q_OBJECT

public:
    explicit TDeviceTableHeader(QWidget* Parent = nullptr);

Q_SIGNALS:
    // Every press, the second press of a double click included. Section is -1
    // beyond the last column.
    void SectionMouseDown(int Section, Qt::MouseButton Button);

protected:
    void paintSection(QPainter* Painter, const QRect& Rect, int LogicalIndex) const override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseDoubleClickEvent(QMouseEvent* Event) override;
};
