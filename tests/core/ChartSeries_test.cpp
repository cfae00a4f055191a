#include "core/ChartSeries.h"
#include "support/RecordingChart.h"

#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

TEST(ChartSeries, PointsKeepTheirOwnColourAndRunningExtremes)
{
    TMemoryChartSeries s;
    EXPECT_EQ(s.Count(), 0);
    EXPECT_EQ(s.MinYValue(), 0);
    EXPECT_EQ(s.MaxXValue(), 0);

    EXPECT_EQ(s.AddXY(45000.5, 10, QColor(Qt::red)), 0);
    EXPECT_EQ(s.AddXY(45000.25, -3, QColor(Qt::blue)), 1);
    EXPECT_EQ(s.AddXY(45001.0, 7, s.Color()), 2);
    ASSERT_EQ(s.Count(), 3);
    EXPECT_EQ(s.MinXValue(), 45000.25);
    EXPECT_EQ(s.MaxXValue(), 45001.0);
    EXPECT_EQ(s.MinYValue(), -3);
    EXPECT_EQ(s.MaxYValue(), 10);
    EXPECT_EQ(s.XValue(1), 45000.25);
    EXPECT_EQ(s.YValues()[2], 7);
    EXPECT_EQ(s.PointColor(0), QColor(Qt::red));
    EXPECT_EQ(s.PointColor(2), QColor(0, 128, 0));

    // Recolouring the series leaves existing points alone.
    s.SetColor(QColor(Qt::yellow));
    EXPECT_EQ(s.PointColor(2), QColor(0, 128, 0));
    s.SetPointColor(2, QColor(Qt::yellow));
    EXPECT_EQ(s.PointColor(2), QColor(Qt::yellow));

    EXPECT_THROW(s.XValue(3), std::out_of_range);
    EXPECT_THROW(s.PointColor(-1), std::out_of_range);
    EXPECT_THROW(s.SetPointColor(3, QColor(Qt::red)), std::out_of_range);

    s.SetTitle(QStringLiteral("t"));
    s.Clear();
    EXPECT_EQ(s.Count(), 0);
    EXPECT_TRUE(s.XValues().empty());
    EXPECT_EQ(s.MinYValue(), 0);
    EXPECT_EQ(s.MaxYValue(), 0);
    EXPECT_EQ(s.Title(), QStringLiteral("t"));
    // The first point after clearing starts the extremes afresh.
    s.AddXY(1, 100, s.Color());
    EXPECT_EQ(s.MinYValue(), 100);
}

TEST(ChartSeries, MovesBetweenChartsAndLeavesItsChartWhenFreed)
{
    RecordingChart a;
    RecordingChart b;
    auto s = std::make_unique<TMemoryChartSeries>();
    s->SetTitle(QStringLiteral("L"));
    s->SetParentChart(&a);
    s->SetParentChart(&a); // once only
    EXPECT_EQ(a.series.size(), 1u);
    EXPECT_EQ(s->ParentChart(), &a);

    s->SetParentChart(&b);
    EXPECT_TRUE(a.series.empty());
    ASSERT_EQ(b.series.size(), 1u);
    EXPECT_EQ(b.series[0], s.get());

    const int before = b.changes;
    s->AddXY(1, 2, s->Color());
    s->SetActive(false);
    EXPECT_EQ(b.changes, before + 2);
    EXPECT_EQ(a.changes, 0);

    s.reset();
    EXPECT_TRUE(b.series.empty());
    EXPECT_EQ(b.log, QStringList({QStringLiteral("attach L"), QStringLiteral("detach L")}));
}
