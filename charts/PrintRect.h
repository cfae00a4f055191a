#pragma once

#include <QRect>

// A rectangle with exclusive right and bottom edges, as the print geometry
// computes it (width = Right - Left). QRect's right() is one less, so the
// print arithmetic stays in this type and converts only at the widgets.
struct TPrintRect
{
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    TPrintRect Moved(int Dx, int Dy) const { return {Left + Dx, Top + Dy, Right + Dx, Bottom + Dy}; }
    QRect ToQRect() const { return QRect(Left, Top, Width(), Height()); }
    static TPrintRect FromQRect(const QRect& R)
    {
        return {R.x(), R.y(), R.x() + R.width(), R.y() + R.height()};
    }
    friend bool operator==(const TPrintRect&, const TPrintRect&) = default;
};
