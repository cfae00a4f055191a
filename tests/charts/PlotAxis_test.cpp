#include "charts/PlotAxis.h"
#include "core/DateTime.h"

#include <QDateTime>
#include <cmath>
#include <gtest/gtest.h>

namespace {

TPlotAxis axisWith(TPlotAxis::TPlace Place, double Min, double Max, int Start, int End)
{
    TPlotAxis axis(Place);
    axis.SetMinMax(Min, Max);
    axis.SetPixelSpan(Start, End);
    return axis;
}

} // namespace

TEST(PlotAxis, PixelsAndValuesRoundTrip)
{
    const TPlotAxis bottom = axisWith(TPlotAxis::TPlace::Bottom, 45000.25, 45000.75, 40, 639);
    const TPlotAxis left = axisWith(TPlotAxis::TPlace::Left, -3.5, 12.25, 10, 309);
    for (int p = 40; p <= 639; ++p)
        EXPECT_EQ(bottom.CalcPosValue(bottom.CalcPosPoint(p)), p);
    for (int p = 10; p <= 309; ++p)
        EXPECT_EQ(left.CalcPosValue(left.CalcPosPoint(p)), p);
    // Ends of the range sit on the ends of the span; values grow upwards.
    EXPECT_EQ(bottom.CalcPosValue(45000.25), 40);
    EXPECT_EQ(bottom.CalcPosValue(45000.75), 639);
    EXPECT_EQ(left.CalcPosValue(-3.5), 309);
    EXPECT_EQ(left.CalcPosValue(12.25), 10);
    for (const double v : {-3.5, 0.0, 1.2345, 7.0, 12.25})
        EXPECT_NEAR(left.CalcPosPointF(left.CalcPosValueF(v)), v, 1e-12);
    // A value off the range maps off the span, linearly.
    EXPECT_EQ(left.CalcPosValue(12.25 + 15.75), 10 - 299);
}

TEST(PlotAxis, SetMinMaxSwapsAndEndsAutomaticScaling)
{
    TPlotAxis axis(TPlotAxis::TPlace::Left);
    int changes = 0;
    axis.SetOnChange([&] { ++changes; });
    EXPECT_TRUE(axis.Automatic());
    axis.ApplyAutomaticRange(2, 8);
    EXPECT_EQ(axis.Minimum(), 2);
    EXPECT_EQ(axis.Maximum(), 8);
    axis.SetMinMax(5, -5);
    EXPECT_FALSE(axis.Automatic());
    EXPECT_EQ(axis.Minimum(), -5);
    EXPECT_EQ(axis.Maximum(), 5);
    // Explicit ranges ignore the series.
    axis.ApplyAutomaticRange(0, 100);
    EXPECT_EQ(axis.Maximum(), 5);
    axis.SetAutomatic(true);
    axis.ApplyAutomaticRange(0, 100);
    EXPECT_EQ(axis.Maximum(), 100);
    EXPECT_EQ(changes, 4);
}

TEST(PlotAxis, TickStepsAreRoundAndFitTheLabels)
{
    // 12 minutes over 600 pixels with 100-pixel labels: at most 6 labels, so
    // the 2-minute step.
    const TPlotAxis time = axisWith(TPlotAxis::TPlace::Bottom, 45000.5, 45000.5 + 12.0 / 1440, 0, 600);
    const double step = time.TickStep(100);
    EXPECT_NEAR(step * 86400, 120, 1e-6);
    const auto ticks = time.TickValues(step);
    ASSERT_EQ(ticks.size(), 7u);
    for (const double t : ticks)
        EXPECT_NEAR(std::remainder(t * 86400, 120), 0, 1e-3);

    const TPlotAxis values = axisWith(TPlotAxis::TPlace::Left, -0.37, 0.81, 0, 300);
    EXPECT_DOUBLE_EQ(values.TickStep(30), 0.2); // 10 labels fit: 0.118 -> 0.2
    const auto v = values.TickValues(0.2);
    ASSERT_EQ(v.size(), 6u);
    EXPECT_NEAR(v.front(), -0.2, 1e-12);
    EXPECT_NEAR(v.back(), 0.8, 1e-12);

    // A wanted step that would crowd the labels is widened by doubling.
    TPlotAxis wanted = axisWith(TPlotAxis::TPlace::Left, 0, 100, 0, 100);
    wanted.SetIncrement(1);
    EXPECT_DOUBLE_EQ(wanted.TickStep(20), 32); // 100 / 5 = 20 per label
    wanted.SetIncrement(50);
    EXPECT_DOUBLE_EQ(wanted.TickStep(20), 50);
}

TEST(PlotAxis, LabelTexts)
{
    TPlotAxis values(TPlotAxis::TPlace::Left);
    EXPECT_EQ(values.FormatLabel(1234.5), QStringLiteral("1,234.5"));
    EXPECT_EQ(values.FormatLabel(0.12349), QStringLiteral("0.123"));
    EXPECT_EQ(values.FormatLabel(-0.0001), QStringLiteral("0"));
    EXPECT_EQ(values.FormatLabel(-20), QStringLiteral("-20"));

    TPlotAxis time(TPlotAxis::TPlace::Bottom);
    const TDateTime when = DateTimeToTDateTime(QDateTime(QDate(2024, 3, 1), QTime(13, 5, 7)));
    EXPECT_EQ(time.FormatLabel(when), QStringLiteral("01.03.2024 13:05:07"));
    time.SetDateTimeFormat(QStringLiteral("hh:mm"));
    EXPECT_EQ(time.FormatLabel(when), QStringLiteral("13:05"));
    time.SetLabelFormatter([](double v) { return QStringLiteral("t%1").arg(v); });
    EXPECT_EQ(time.FormatLabel(2), QStringLiteral("t2"));
}
