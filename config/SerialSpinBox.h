#pragma once

#include <QSpinBox>

// A spin box for serial numbers: the number shows as five digits with leading
// zeros, as serial numbers are shown everywhere else.
class TSerialSpinBox : public QSpinBox
{
    Q_OBJECT

public:
    using QSpinBox::QSpinBox;

protected:
    QString textFromValue(int Value) const override;
};
