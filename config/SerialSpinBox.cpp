#include "config/SerialSpinBox.h"

#include "core/StringFunc.h"

QString TSerialSpinBox::textFromValue(int Value) const
{
    return Value < 0 ? QSpinBox::textFromValue(Value) : SerialToStr(quint32(Value));
}
