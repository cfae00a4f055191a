#include "tools/netsim/SimWaveform.h"

#include <QStringList>
#include <cmath>
#include <numbers>

float SimWaveform::ValueAt(qint64 Ms) const
{
    if (Kind_ == Kind::Constant || PeriodMs_ <= 0)
        return Base_;
    const double phase = double(Ms % PeriodMs_) / PeriodMs_;
    switch (Kind_) {
    case Kind::Sine:
        return float(Base_ + Amplitude_ * std::sin(2 * std::numbers::pi * phase));
    case Kind::Ramp:
        return float(Base_ + Amplitude_ * phase);
    case Kind::Square:
        return phase < 0.5 ? Base_ : Base_ + Amplitude_;
    case Kind::Constant:
        break;
    }
    return Base_;
}

bool SimWaveform::Parse(const QString& Text, SimWaveform& Wave, QString& ErrMsg)
{
    const QStringList parts = Text.trimmed().split(QLatin1Char(':'));
    const QString kind = parts[0].toLower();
    QList<double> nums;
    bool ok = true;
    for (int i = (parts.size() == 1 ? 0 : 1); i < parts.size() && ok; ++i)
        nums.append(parts[i].toDouble(&ok));
    if (!ok || nums.isEmpty()) {
        ErrMsg = QStringLiteral("bad waveform \"%1\"").arg(Text);
        return false;
    }
    if (parts.size() == 1 || kind == QLatin1String("const")) {
        Wave = Constant(float(nums[0]));
        return true;
    }
    if (nums.size() != 3 || nums[2] < 1) {
        ErrMsg = QStringLiteral("waveform \"%1\" needs three numbers and a positive period").arg(Text);
        return false;
    }
    const auto a = float(nums[0]);
    const auto b = float(nums[1]);
    const int period = int(nums[2]);
    if (kind == QLatin1String("sine"))
        Wave = Sine(a, b, period);
    else if (kind == QLatin1String("ramp"))
        Wave = Ramp(a, b, period);
    else if (kind == QLatin1String("square"))
        Wave = Square(a, b, period);
    else {
        ErrMsg = QStringLiteral("unknown waveform \"%1\"").arg(kind);
        return false;
    }
    return true;
}
