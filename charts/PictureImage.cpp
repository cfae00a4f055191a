#include "charts/PictureImage.h"

#include <QPainter>

TPictureImage::TPictureImage(QWidget* Parent) : QWidget(Parent) {}

void TPictureImage::SetPicture(const QPicture& Picture)
{
    Picture_ = Picture;
    update();
}

void TPictureImage::DrawStretched(QPainter& Painter, const QPicture& Picture, const QRect& Target)
{
    const QRect source = Picture.boundingRect();
    if (source.isEmpty() || Target.isEmpty())
        return;
    // A picture replays at its physical size: it scales itself by the device's
    // resolution over its own, so that factor is taken out of the stretch.
    const QPaintDevice* device = Painter.device();
    const double sx =
        static_cast<double>(Target.width()) / source.width() * Picture.logicalDpiX() / device->logicalDpiX();
    const double sy = static_cast<double>(Target.height()) / source.height() * Picture.logicalDpiY() /
                      device->logicalDpiY();
    Painter.save();
    Painter.translate(Target.topLeft());
    Painter.scale(sx, sy);
    Painter.drawPicture(-source.topLeft(), Picture);
    Painter.restore();
}

void TPictureImage::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    DrawStretched(painter, Picture_, rect());
}
