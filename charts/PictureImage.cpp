#include "charts/PictureImage.h"

#include <QPainter>

TPictureImage::TPictureImage(QWidget* Parent) : QWidget(Parent) {}

void TPictureImage::SetPicture(const QPicture& Picture)
{
    Picture_ = Picture;
    update();
}

void TPictureImage::paintEvent(QPaintEvent*)
{
    const QRect source = Picture_.boundingRect();
    if (source.isEmpty())
        return;
    QPainter painter(this);
    painter.scale(static_cast<double>(width()) / source.width(),
                  static_cast<double>(height()) / source.height());
    painter.drawPicture(-source.topLeft(), Picture_);
}
