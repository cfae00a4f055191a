#include "dispatcher/DeviceIcons.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>

namespace {

// The drawings are laid out on a 16 x 16 grid and scaled to the target.
constexpr double Grid = TDeviceIcons::PictureSize;

void toGrid(QPainter& Painter, const QRect& Rect)
{
    Painter.translate(Rect.topLeft());
    Painter.scale(Rect.width() / Grid, Rect.height() / Grid);
}

void disc(QPainter& Painter, const QColor& Fill, const QColor& Edge)
{
    Painter.setPen(QPen(Edge, 1.0));
    Painter.setBrush(Fill);
    Painter.drawEllipse(QPointF(8, 8), 7, 7);
}

QPen markPen(const QColor& Color, double Width)
{
    return QPen(Color, Width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

struct TBarColours
{
    QColor Fill;
    QColor Edge;
};

// Few bars in red, a middling level in amber, a good one in green.
TBarColours barColours(int Level)
{
    switch (Level) {
    case 1:
        return {QColor(215, 45, 35), QColor(150, 20, 15)};
    case 2:
        return {QColor(240, 150, 0), QColor(170, 100, 0)};
    default:
        return {QColor(40, 165, 45), QColor(20, 110, 25)};
    }
}

} // namespace

void TDeviceIcons::PaintStatus(QPainter& Painter, const QRect& Rect, int Index)
{
    if (Index < 0 || Index >= StatusCount || Rect.isEmpty())
        return;
    Painter.save();
    Painter.setRenderHint(QPainter::Antialiasing);
    toGrid(Painter, Rect);
    switch (Index) {
    case 0: // no link: grey disc with a dash, nothing is known
        disc(Painter, QColor(150, 150, 150), QColor(95, 95, 95));
        Painter.setPen(markPen(Qt::white, 2.2));
        Painter.drawLine(QPointF(4.8, 8), QPointF(11.2, 8));
        break;
    case 1: // OK: green disc with a tick
        disc(Painter, QColor(40, 160, 45), QColor(20, 105, 25));
        Painter.setPen(markPen(Qt::white, 2.0));
        Painter.setBrush(Qt::NoBrush);
        Painter.drawPolyline(QPolygonF({QPointF(4.6, 8.4), QPointF(7.0, 10.8), QPointF(11.4, 5.6)}));
        break;
    case 2: { // warning: amber triangle with an exclamation mark
        Painter.setPen(QPen(QColor(165, 110, 0), 1.0, Qt::SolidLine, Qt::SquareCap, Qt::RoundJoin));
        Painter.setBrush(QColor(255, 205, 0));
        Painter.drawPolygon(QPolygonF({QPointF(8, 1.0), QPointF(15.3, 14.6), QPointF(0.7, 14.6)}));
        Painter.setPen(markPen(Qt::black, 1.8));
        Painter.drawLine(QPointF(8, 5.6), QPointF(8, 9.6));
        Painter.setPen(Qt::NoPen);
        Painter.setBrush(Qt::black);
        Painter.drawEllipse(QPointF(8, 12.2), 1.05, 1.05);
        break;
    }
    default: // alarm: red disc with an exclamation mark
        disc(Painter, QColor(220, 30, 30), QColor(145, 10, 10));
        Painter.setPen(markPen(Qt::white, 2.1));
        Painter.drawLine(QPointF(8, 3.9), QPointF(8, 8.9));
        Painter.setPen(Qt::NoPen);
        Painter.setBrush(Qt::white);
        Painter.drawEllipse(QPointF(8, 11.9), 1.25, 1.25);
        break;
    }
    Painter.restore();
}

void TDeviceIcons::PaintSignalLevel(QPainter& Painter, const QRect& Rect, int Level)
{
    if (Level < 0 || Level >= SignalLevelCount || Rect.isEmpty())
        return;
    // Bars on whole pixels at every size: scaled rectangles would blur their edges.
    const int side = std::min(Rect.width(), Rect.height());
    // Room above the tallest bar so that it keeps clear of the grid lines.
    const int margin = side >= 24 ? side / 8 : 1;
    const int gap = std::max(1, side / 16);
    const int barWidth = std::max(1, (side - 2 * margin - 3 * gap) / 4);
    const int used = 4 * barWidth + 3 * gap;
    const int left = Rect.left() + (Rect.width() - used) / 2;
    const int bottom = Rect.top() + (Rect.height() + side) / 2 - margin; // exclusive
    const int fullHeight = side - 2 * margin;

    Painter.save();
    Painter.setRenderHint(QPainter::Antialiasing, false);
    const TBarColours on = barColours(Level);
    for (int bar = 0; bar < 4; ++bar) {
        const int height = std::max(2, fullHeight * (bar + 1) / 4);
        const QRect r(left + bar * (barWidth + gap), bottom - height, barWidth, height);
        const bool lit = bar < Level;
        if (r.width() > 3 && r.height() > 3) {
            Painter.fillRect(r, lit ? on.Edge : QColor(150, 150, 150));
            Painter.fillRect(r.adjusted(1, 1, -1, -1), lit ? on.Fill : QColor(228, 228, 228));
        } else {
            // Too narrow for an edge: plain bars, the unlit ones pale.
            Painter.fillRect(r, lit ? on.Fill : QColor(190, 190, 190));
        }
    }
    Painter.restore();
}

void TDeviceIcons::PaintSort(QPainter& Painter, const QRect& Rect, int Index)
{
    if (Index < 0 || Index > 1 || Rect.isEmpty())
        return;
    Painter.save();
    Painter.setRenderHint(QPainter::Antialiasing);
    toGrid(Painter, Rect);
    Painter.setPen(QPen(QColor(45, 45, 45), 0.8, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    Painter.setBrush(QColor(70, 70, 70));
    if (Index == 0)
        Painter.drawPolygon(QPolygonF({QPointF(8, 3.5), QPointF(13.5, 11.5), QPointF(2.5, 11.5)}));
    else
        Painter.drawPolygon(QPolygonF({QPointF(2.5, 4.5), QPointF(13.5, 4.5), QPointF(8, 12.5)}));
    Painter.restore();
}

void TDeviceIcons::PaintFilter(QPainter& Painter, const QRect& Rect)
{
    if (Rect.isEmpty())
        return;
    Painter.save();
    Painter.setRenderHint(QPainter::Antialiasing);
    toGrid(Painter, Rect);
    // A funnel.
    Painter.setPen(QPen(QColor(20, 60, 150), 0.9, Qt::SolidLine, Qt::SquareCap, Qt::RoundJoin));
    Painter.setBrush(QColor(50, 110, 220));
    Painter.drawPolygon(QPolygonF({QPointF(1.5, 2.5), QPointF(14.5, 2.5), QPointF(9.5, 8.5),
                                   QPointF(9.5, 14.0), QPointF(6.5, 12.0), QPointF(6.5, 8.5)}));
    Painter.restore();
}

namespace {
// Pixmaps must not outlive the application object: the cache is emptied when it goes.
QHash<quint64, QPixmap>& pictureCache()
{
    static QHash<quint64, QPixmap> cache;
    static const bool registered = [] {
        qAddPostRoutine([] { pictureCache().clear(); });
        return true;
    }();
    Q_UNUSED(registered);
    return cache;
}
} // namespace

QPixmap TDeviceIcons::picture(TKind Kind, int Index, int Side)
{
    QHash<quint64, QPixmap>& cache = pictureCache();
    const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    // Kind, index, size and the screen's pixel ratio (in hundredths) make the key.
    const quint64 key = (quint64(Kind) << 56) | (quint64(quint8(Index)) << 48) |
                        (quint64(quint16(qRound(ratio * 100))) << 32) | quint32(Side);
    const auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return *found;

    const int pixels = qMax(1, qRound(Side * ratio));
    QPixmap pixmap(pixels, pixels);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        const QRect all(0, 0, pixels, pixels);
        switch (Kind) {
        case TKind::Status:
            PaintStatus(painter, all, Index);
            break;
        case TKind::SignalLevel:
            PaintSignalLevel(painter, all, Index);
            break;
        case TKind::Sort:
            PaintSort(painter, all, Index);
            break;
        case TKind::Filter:
            PaintFilter(painter, all);
            break;
        }
    }
    pixmap.setDevicePixelRatio(ratio);
    cache.insert(key, pixmap);
    return pixmap;
}

QPixmap TDeviceIcons::StatusPicture(int Index)
{
    if (Index < 0 || Index >= StatusCount)
        return {};
    return picture(TKind::Status, Index, PictureSize);
}

QPixmap TDeviceIcons::SignalLevelPicture(int Level, int Side)
{
    if (Level < 0 || Level >= SignalLevelCount || Side <= 0)
        return {};
    return picture(TKind::SignalLevel, Level, Side);
}

QPixmap TDeviceIcons::SortPicture(int Index)
{
    if (Index < 0 || Index > 1)
        return {};
    return picture(TKind::Sort, Index, PictureSize);
}

QPixmap TDeviceIcons::FilterPicture()
{
    return picture(TKind::Filter, 0, PictureSize);
}
