#pragma once

#include <QPicture>
#include <QWidget>

// Shows a picture stretched to the widget's size (the chart on the preview page).
class TPictureImage : public QWidget
{
    Q_OBJECT

public:
    explicit TPictureImage(QWidget* Parent = nullptr);

    void SetPicture(const QPicture& Picture);
    const QPicture& Picture() const { return Picture_; }
    // The picture's own size, as it was rendered.
    QSize PictureSize() const { return Picture_.boundingRect().size(); }

    // Draws Picture stretched into Target of the painter's device, whatever its resolution.
    static void DrawStretched(QPainter& Painter, const QPicture& Picture, const QRect& Target);

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    QPicture Picture_;
};
