#include "dispatcher/MenuIcons.h"

#include <QCoreApplication>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

constexpr int Size = 24;

QPixmap blank()
{
    QPixmap pm(Size, Size);
    pm.fill(Qt::transparent);
    return pm;
}

void triangle(QPainter& p, const QColor& fill)
{
    QPainterPath path;
    path.moveTo(7, 4);
    path.lineTo(20, 12);
    path.lineTo(7, 20);
    path.closeSubpath();
    p.fillPath(path, fill);
    p.setPen(QPen(fill.darker(140), 1));
    p.drawPath(path);
}

QPixmap draw(int index)
{
    QPixmap pm = blank();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(40, 60, 90);
    switch (index) {
    case TMenuIcons::StartPolling:
        triangle(p, QColor(30, 150, 60));
        break;
    case TMenuIcons::StartPollingDim:
        triangle(p, QColor(170, 205, 175));
        break;
    case TMenuIcons::StopPolling:
        p.setPen(QPen(QColor(150, 30, 30), 1));
        p.setBrush(QColor(205, 45, 45));
        p.drawRoundedRect(QRectF(5.5, 5.5, 13, 13), 2, 2);
        break;
    case TMenuIcons::Journal:
        p.setPen(QPen(ink, 1.2));
        p.setBrush(QColor(250, 245, 220));
        p.drawRect(QRectF(5.5, 3.5, 13, 17));
        for (int y = 8; y <= 17; y += 3)
            p.drawLine(QPointF(8, y), QPointF(16, y));
        p.setBrush(QColor(230, 160, 20));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(17, 17), 3.5, 3.5);
        break;
    case TMenuIcons::Archive:
        p.setPen(QPen(ink, 1.2));
        p.setBrush(QColor(205, 170, 110));
        p.drawRect(QRectF(3.5, 9.5, 17, 11));
        p.setBrush(QColor(225, 195, 140));
        p.drawRect(QRectF(2.5, 5.5, 19, 4));
        p.drawLine(QPointF(9, 13.5), QPointF(15, 13.5));
        break;
    case TMenuIcons::DebugLog:
        p.setPen(QPen(ink, 1.2));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 3.5, 15, 17));
        p.setFont(QFont(QStringLiteral("Monospace"), 6));
        p.drawText(QRectF(5, 5, 14, 14), Qt::AlignCenter, QStringLiteral("01\n10"));
        break;
    case TMenuIcons::Exit:
        p.setPen(QPen(ink, 1.6));
        p.drawRect(QRectF(4.5, 4.5, 10, 15));
        p.setPen(QPen(QColor(190, 40, 40), 2));
        p.drawLine(QPointF(10, 12), QPointF(20, 12));
        p.drawLine(QPointF(17, 9), QPointF(20, 12));
        p.drawLine(QPointF(17, 15), QPointF(20, 12));
        break;
    case TMenuIcons::AddDevice:
    case TMenuIcons::DeleteDevice:
        p.setPen(QPen(ink, 1.2));
        p.setBrush(QColor(200, 215, 235));
        p.drawRect(QRectF(3.5, 7.5, 12, 12));
        p.setPen(QPen(index == TMenuIcons::AddDevice ? QColor(30, 150, 60) : QColor(200, 40, 40), 2.4));
        p.drawLine(QPointF(14, 6), QPointF(22, 6));
        if (index == TMenuIcons::AddDevice)
            p.drawLine(QPointF(18, 2), QPointF(18, 10));
        break;
    case TMenuIcons::Chart:
        p.setPen(QPen(ink, 1.2));
        p.drawLine(QPointF(4, 3), QPointF(4, 20));
        p.drawLine(QPointF(4, 20), QPointF(21, 20));
        p.setPen(QPen(QColor(0, 128, 0), 2));
        p.drawPolyline(
            QPolygonF({QPointF(5, 16), QPointF(9, 11), QPointF(13, 14), QPointF(17, 6), QPointF(21, 9)}));
        break;
    case TMenuIcons::Settings:
    case TMenuIcons::ServiceMode: {
        const QColor c = index == TMenuIcons::Settings ? QColor(90, 100, 115) : QColor(180, 110, 20);
        p.setPen(QPen(c, 3.2, Qt::SolidLine, Qt::FlatCap));
        for (int a = 0; a < 180; a += 45) {
            p.save();
            p.translate(12, 12);
            p.rotate(a);
            p.drawLine(QPointF(-9, 0), QPointF(9, 0));
            p.restore();
        }
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawEllipse(QPointF(12, 12), 6, 6);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(12, 12), 2.5, 2.5);
        break;
    }
    case TMenuIcons::HelpContents:
    case TMenuIcons::About:
        p.setPen(Qt::NoPen);
        p.setBrush(index == TMenuIcons::HelpContents ? QColor(40, 100, 190) : QColor(60, 140, 200));
        p.drawEllipse(QPointF(12, 12), 9, 9);
        p.setPen(Qt::white);
        p.setFont(QFont(QStringLiteral("Sans"), 10, QFont::Bold));
        p.drawText(QRectF(3, 3, 18, 18), Qt::AlignCenter,
                   index == TMenuIcons::HelpContents ? QStringLiteral("?") : QStringLiteral("i"));
        break;
    default:
        break;
    }
    return pm;
}

} // namespace

QIcon TMenuIcons::Icon(int Index)
{
    // Emptied with the application object: icons hold pixmaps.
    static QHash<int, QIcon> cache;
    static const bool registered = [] {
        qAddPostRoutine([] { cache.clear(); });
        return true;
    }();
    Q_UNUSED(registered);
    auto it = cache.find(Index);
    if (it == cache.end())
        it = cache.insert(Index, QIcon(draw(Index)));
    return *it;
}
