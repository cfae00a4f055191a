#include "config/LedIndicator.h"

#include <QPainter>
#include <QRadialGradient>

TLedIndicator::TLedIndicator(QWidget* Parent) : QWidget(Parent)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void TLedIndicator::SetActive(bool Active)
{
    if (Active_ == Active)
        return;
    Active_ = Active;
    update();
}

void TLedIndicator::SetColorOn(const QColor& Color)
{
    ColorOn_ = Color;
    update();
}

void TLedIndicator::SetColorOff(const QColor& Color)
{
    ColorOff_ = Color;
    update();
}

void TLedIndicator::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int side = qMin(width(), height()) - 2;
    const QRectF r((width() - side) / 2.0, (height() - side) / 2.0, side, side);
    const QColor c = CurrentColor();
    QRadialGradient g(r.center() - QPointF(side / 5.0, side / 5.0), side * 0.7);
    g.setColorAt(0, c.lighter(170));
    g.setColorAt(1, c);
    p.setPen(QPen(c.darker(180), 1));
    p.setBrush(g);
    p.drawEllipse(r);
}
