#include "charts/PlotAxis.h"

#include "core/DateTime.h"

#include <QDateTime>
#include <QLocale>
#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr double SecondDays = 1.0 / 86400.0;
constexpr int MaxTicks = 2000;

// Round time steps in seconds, fine to coarse.
constexpr std::array<double, 27> TimeSteps = {
    1,    2,    5,     10,    15,    20,    30,     60,     120,    300,     600,     900,      1200,    1800,
    3600, 7200, 10800, 21600, 43200, 86400, 172800, 432000, 864000, 2592000, 7889400, 15778800, 31557600};

// The smallest of 1, 2, 5 times a power of ten not below Raw.
double niceStep(double Raw)
{
    const double power = std::pow(10.0, std::floor(std::log10(Raw)));
    for (const double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= Raw * (1 - 1e-9))
            return m * power;
    return 10 * power;
}

} // namespace

TPlotAxis::TPlotAxis(TPlace Place) : Place_(Place), DateTime_(Place != TPlace::Left) {}

void TPlotAxis::SetMinMax(double Min, double Max)
{
    if (Min > Max)
        std::swap(Min, Max);
    if (!Automatic_ && Min == Min_ && Max == Max_)
        return;
    Min_ = Min;
    Max_ = Max;
    Automatic_ = false;
    changed();
}

void TPlotAxis::SetAutomatic(bool Automatic)
{
    if (Automatic_ == Automatic)
        return;
    Automatic_ = Automatic;
    changed();
}

void TPlotAxis::ApplyAutomaticRange(double Min, double Max)
{
    if (!Automatic_ || (Min == Min_ && Max == Max_))
        return;
    Min_ = Min;
    Max_ = Max;
    changed();
}

void TPlotAxis::SetVisible(bool Visible)
{
    Visible_ = Visible;
    changed();
}

void TPlotAxis::SetTitle(const QString& Title)
{
    Title_ = Title;
    changed();
}

void TPlotAxis::SetGridColor(const QColor& Color)
{
    GridColor_ = Color;
    changed();
}

void TPlotAxis::SetGridVisible(bool Visible)
{
    GridVisible_ = Visible;
    changed();
}

void TPlotAxis::SetDateTime(bool DateTime)
{
    DateTime_ = DateTime;
    changed();
}

void TPlotAxis::SetDateTimeFormat(const QString& Format)
{
    DateTimeFormat_ = Format;
    changed();
}

void TPlotAxis::SetIncrement(double Increment)
{
    // Set again at every scroll of the time axis: the same step needs no new layout.
    const double step = std::max(0.0, Increment);
    if (step == Increment_)
        return;
    Increment_ = step;
    changed();
}

void TPlotAxis::SetLabelFormatter(std::function<QString(double)> Formatter)
{
    Formatter_ = std::move(Formatter);
    changed();
}

QString TPlotAxis::FormatLabel(double Value) const
{
    if (Formatter_)
        return Formatter_(Value);
    if (DateTime_)
        return TDateTimeToDateTime(Value).toString(DateTimeFormat_);
    // "#,##0.###": grouped thousands, at most three decimals, no trailing zeros.
    const QLocale locale;
    QString text = locale.toString(Value, 'f', 3);
    const QString point = locale.decimalPoint();
    if (text.contains(point)) {
        while (text.endsWith(locale.zeroDigit()))
            text.chop(1);
        if (text.endsWith(point))
            text.chop(point.size());
    }
    if (text == locale.negativeSign() + locale.zeroDigit())
        text = locale.zeroDigit();
    return text;
}

void TPlotAxis::SetPixelSpan(int Start, int End)
{
    Start_ = Start;
    End_ = std::max(End, Start + 1);
}

double TPlotAxis::CalcPosValueF(double Value) const
{
    const double span = Max_ - Min_;
    const double length = End_ - Start_;
    if (span <= 0)
        return Horizontal() ? Start_ : End_;
    const double t = (Value - Min_) / span * length;
    return Horizontal() ? Start_ + t : End_ - t;
}

int TPlotAxis::CalcPosValue(double Value) const
{
    const double pixel = CalcPosValueF(Value);
    return static_cast<int>(std::clamp(std::nearbyint(pixel), -1e9, 1e9));
}

double TPlotAxis::CalcPosPointF(double Pixel) const
{
    const double length = End_ - Start_;
    const double t = Horizontal() ? Pixel - Start_ : End_ - Pixel;
    return Min_ + t / length * (Max_ - Min_);
}

double TPlotAxis::CalcPosPoint(int Pixel) const
{
    return CalcPosPointF(Pixel);
}

double TPlotAxis::TickStep(int LabelExtent) const
{
    const double span = Max_ - Min_;
    if (!(span > 0) || !std::isfinite(span))
        return 0;
    const double length = End_ - Start_;
    const double fitting = std::max(1.0, length / std::max(1, LabelExtent));
    const double raw = span / fitting;
    if (Increment_ > 0) {
        double step = Increment_;
        while (step < raw)
            step *= 2;
        return step;
    }
    if (DateTime_) {
        for (const double seconds : TimeSteps)
            if (seconds * SecondDays >= raw)
                return seconds * SecondDays;
        return niceStep(raw / 365.25) * 365.25;
    }
    return niceStep(raw);
}

std::vector<double> TPlotAxis::TickValues(double Step) const
{
    std::vector<double> ticks;
    if (!(Step > 0) || !std::isfinite(Min_) || !std::isfinite(Max_))
        return ticks;
    // Slack of a hundred-thousandth of a step, so that a range ending on a step
    // keeps its end label although days / step is not exact in binary.
    constexpr double slack = 1e-5;
    const double first = std::ceil(Min_ / Step - slack);
    const double last = std::floor(Max_ / Step + slack);
    if (last - first > MaxTicks)
        return ticks;
    for (double k = first; k <= last; ++k)
        ticks.push_back(k * Step);
    return ticks;
}

void TPlotAxis::changed()
{
    if (OnChange_)
        OnChange_();
}
