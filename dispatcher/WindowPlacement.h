#pragma once

#include <QList>
#include <QPoint>
#include <QRect>

class QWidget;

// Where a window goes whose frame was stored in an earlier run: the stored
// position when the frame meets at least one screen, else centred on the primary
// screen (its top-left corner kept inside when the window is larger), so a frame
// left on an unplugged second monitor or typed into the settings file by hand
// never leaves the window out of sight.
QPoint VisibleWindowPosition(const QRect& StoredFrame, const QList<QRect>& Screens, const QRect& Primary);

// The same for Window's present frame and the screens there are now; moves it
// when needed.
void KeepWindowOnScreen(QWidget& Window);
