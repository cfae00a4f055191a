#include "charts/ColorValue.h"

#include <QApplication>
#include <QPalette>

QColor ColorFromValue(int Value)
{
    if (Value < 0) {
        // System colours follow the desktop's palette; only the face colour has a use here.
        if ((Value & 0xFF) == (clBtnFace & 0xFF))
            return QApplication::palette().color(QPalette::Button);
        return QApplication::palette().color(QPalette::Window);
    }
    return QColor(Value & 0xFF, (Value >> 8) & 0xFF, (Value >> 16) & 0xFF);
}

int ColorToValue(const QColor& Color)
{
    return Color.red() | (Color.green() << 8) | (Color.blue() << 16);
}
