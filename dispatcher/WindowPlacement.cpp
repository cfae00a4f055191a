#include "dispatcher/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

QPoint VisibleWindowPosition(const QRect& StoredFrame, const QList<QRect>& Screens, const QRect& Primary)
{
    for (const QRect& screen : Screens)
        if (screen.intersects(StoredFrame))
            return StoredFrame.topLeft();
    if (Primary.isEmpty())
        return StoredFrame.topLeft();
    const int x = Primary.left() + std::max(0, (Primary.width() - StoredFrame.width()) / 2);
    const int y = Primary.top() + std::max(0, (Primary.height() - StoredFrame.height()) / 2);
    return {x, y};
}

void KeepWindowOnScreen(QWidget& Window)
{
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary)
        return;
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    // The frame is not known before the first show; the client size stands in.
    const QRect frame(Window.pos(), Window.size());
    const QPoint pos = VisibleWindowPosition(frame, screens, primary->availableGeometry());
    if (pos != Window.pos())
        Window.move(pos);
}
