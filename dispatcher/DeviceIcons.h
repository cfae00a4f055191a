#pragma once

#include <QPixmap>
#include <QSize>

class QPainter;
class QRect;

// The pictures of the device table, drawn by the application itself so that they
// stay sharp at any size: status (0 no link, 1 OK, 2 warning, 3 alarm; the fault
// column uses 0, 1 and 3 as well), signal level (0..4 bars), sort marks (0
// ascending, 1 descending) and the filter mark. The configuration and archive
// windows show the status and signal pictures too.
class TDeviceIcons
{
public:
    static constexpr int StatusCount = 4;
    static constexpr int SignalLevelCount = 5;
    // Edge of the square pictures at their natural size.
    static constexpr int PictureSize = 16;

    // A null pixmap for an index out of range. Pictures are made once per size
    // and kept for the run.
    static QPixmap StatusPicture(int Index);
    static QPixmap SignalLevelPicture(int Level, int Side = PictureSize);
    static QPixmap SortPicture(int Index);
    static QPixmap FilterPicture();

    // The same drawings straight into a rectangle of any size.
    static void PaintStatus(QPainter& Painter, const QRect& Rect, int Index);
    static void PaintSignalLevel(QPainter& Painter, const QRect& Rect, int Level);
    static void PaintSort(QPainter& Painter, const QRect& Rect, int Index);
    static void PaintFilter(QPainter& Painter, const QRect& Rect);

private:
    enum class TKind
    {
        Status,
        SignalLevel,
        Sort,
        Filter,
    };
    static QPixmap picture(TKind Kind, int Index, int Side);
};
