#include "charts/PlotWidget.h"

#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <random>

namespace {

constexpr double T0 = 45000.5; // a day at noon

// A shown chart of a fixed size with title and legend hidden, as the chart
// windows use it.
class PlotWidgetTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        plot.resize(600, 400);
        plot.SetTitleVisible(false);
        plot.SetLegendVisible(false);
        plot.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&plot));
    }

    void addLine(TMemoryChartSeries& Series, int Points, double Y0, double Slope)
    {
        Series.SetParentChart(&plot);
        for (int i = 0; i < Points; ++i)
            Series.AddXY(T0 + i / 86400.0, Y0 + Slope * i, Series.Color());
    }

    void drag(Qt::MouseButton Button, QPoint From, QPoint To)
    {
        QTest::mousePress(&plot, Button, Qt::NoModifier, From);
        QTest::mouseMove(&plot, (From + To) / 2);
        QTest::mouseMove(&plot, To);
        QTest::mouseRelease(&plot, Button, Qt::NoModifier, To);
    }

    TPlotWidget plot;
};

} // namespace

TEST_F(PlotWidgetTest, SeriesAttachDetachAndClearThroughTheSeries)
{
    TMemoryChartSeries a;
    a.SetTitle(QStringLiteral("К1"));
    auto b = std::make_unique<TMemoryChartSeries>();
    a.SetParentChart(&plot);
    b->SetParentChart(&plot);
    ASSERT_EQ(plot.SeriesCount(), 2);
    EXPECT_EQ(&plot.Series(0), &a);
    EXPECT_EQ(&plot.Series(1), b.get());
    EXPECT_THROW(plot.Series(2), std::out_of_range);

    a.SetParentChart(nullptr);
    ASSERT_EQ(plot.SeriesCount(), 1);
    EXPECT_EQ(&plot.Series(0), b.get());
    a.SetParentChart(&plot); // back at the end of the order
    EXPECT_EQ(&plot.Series(1), &a);
    b.reset(); // a freed series leaves the chart
    ASSERT_EQ(plot.SeriesCount(), 1);

    addLine(a, 10, 0, 1);
    EXPECT_DOUBLE_EQ(plot.LeftAxis().Maximum(), 9);
    a.Clear();
    EXPECT_EQ(plot.SeriesCount(), 1);

    // A chart freed before its series lets them go.
    TMemoryChartSeries c;
    {
        TPlotWidget other;
        c.SetParentChart(&other);
        EXPECT_EQ(c.ParentChart(), &other);
    }
    EXPECT_EQ(c.ParentChart(), nullptr);
}

TEST_F(PlotWidgetTest, AutomaticRangesFollowShownSeriesUntilARangeIsSet)
{
    TMemoryChartSeries a;
    TMemoryChartSeries hidden;
    addLine(a, 61, 5, 0.5);
    EXPECT_DOUBLE_EQ(plot.BottomAxis().Minimum(), T0);
    EXPECT_DOUBLE_EQ(plot.BottomAxis().Maximum(), T0 + 60 / 86400.0);
    EXPECT_DOUBLE_EQ(plot.TopAxis().Maximum(), T0 + 60 / 86400.0);
    EXPECT_DOUBLE_EQ(plot.LeftAxis().Minimum(), 5);
    EXPECT_DOUBLE_EQ(plot.LeftAxis().Maximum(), 35);

    hidden.SetActive(false);
    addLine(hidden, 5, 1000, 1);
    EXPECT_DOUBLE_EQ(plot.LeftAxis().Maximum(), 35);
    hidden.SetActive(true);
    EXPECT_DOUBLE_EQ(plot.LeftAxis().Maximum(), 1004);
    hidden.SetActive(false);

    plot.LeftAxis().SetMinMax(10, -10);
    EXPECT_FALSE(plot.LeftAxis().Automatic());
    a.AddXY(T0 + 100 / 86400.0, 500, Qt::red);
    EXPECT_DOUBLE_EQ(plot.LeftAxis().Minimum(), -10);
    EXPECT_DOUBLE_EQ(plot.LeftAxis().Maximum(), 10);
    EXPECT_DOUBLE_EQ(plot.BottomAxis().Maximum(), T0 + 100 / 86400.0); // still automatic
    plot.LeftAxis().SetAutomatic(true);
    EXPECT_DOUBLE_EQ(plot.LeftAxis().Maximum(), 500);
}

TEST_F(PlotWidgetTest, LeftDragZoomsAndTheOppositeDragUndoes)
{
    TMemoryChartSeries a;
    addLine(a, 100, 0, 1);
    plot.LeftAxis().SetMinMax(-10, 110);
    QSignalSpy zoomed(&plot, &TPlotWidget::Zoomed);
    QSignalSpy undone(&plot, &TPlotWidget::ZoomUndone);

    const QRect r = plot.PlotRect();
    const QPoint from(r.left() + 100, r.top() + 50);
    const QPoint to(r.left() + 300, r.top() + 200);
    const double x0 = plot.BottomAxis().CalcPosPoint(from.x());
    const double x1 = plot.BottomAxis().CalcPosPoint(to.x());
    const double yTop = plot.LeftAxis().CalcPosPoint(from.y());
    const double yBottom = plot.LeftAxis().CalcPosPoint(to.y());
    drag(Qt::LeftButton, from, to);
    ASSERT_EQ(zoomed.count(), 1);
    EXPECT_TRUE(plot.IsZoomed());
    EXPECT_DOUBLE_EQ(plot.BottomAxis().Minimum(), x0);
    EXPECT_DOUBLE_EQ(plot.BottomAxis().Maximum(), x1);
    EXPECT_DOUBLE_EQ(plot.LeftAxis().Minimum(), yBottom);
    EXPECT_DOUBLE_EQ(plot.LeftAxis().Maximum(), yTop);
    EXPECT_FALSE(plot.BottomAxis().Automatic());

    // A second zoom narrows further; undo goes back past both.
    drag(Qt::LeftButton, r.topLeft() + QPoint(10, 10), r.center());
    EXPECT_EQ(zoomed.count(), 2);
    drag(Qt::LeftButton, r.center(), r.center() - QPoint(100, 0));
    ASSERT_EQ(undone.count(), 1);
    EXPECT_FALSE(plot.IsZoomed());
    EXPECT_TRUE(plot.BottomAxis().Automatic());
    EXPECT_DOUBLE_EQ(plot.BottomAxis().Minimum(), T0);
    EXPECT_DOUBLE_EQ(plot.BottomAxis().Maximum(), T0 + 99 / 86400.0);
    EXPECT_FALSE(plot.LeftAxis().Automatic());
    EXPECT_DOUBLE_EQ(plot.LeftAxis().Minimum(), -10);
    EXPECT_DOUBLE_EQ(plot.LeftAxis().Maximum(), 110);

    // A short drag is a click: nothing changes.
    drag(Qt::LeftButton, r.center(), r.center() + QPoint(3, 3));
    EXPECT_EQ(zoomed.count(), 2);
    EXPECT_EQ(undone.count(), 1);
    // The undo gesture without a zoom only notifies.
    drag(Qt::LeftButton, r.center(), r.center() - QPoint(50, 0));
    EXPECT_EQ(undone.count(), 2);
    EXPECT_DOUBLE_EQ(plot.LeftAxis().Maximum(), 110);
}

TEST_F(PlotWidgetTest, RightDragScrollsAndMouseIsReported)
{
    TMemoryChartSeries a;
    addLine(a, 100, 0, 1);
    plot.BottomAxis().SetMinMax(T0, T0 + 60 / 86400.0);
    plot.LeftAxis().SetMinMax(0, 100);
    QSignalSpy scrolled(&plot, &TPlotWidget::Scrolled);
    QSignalSpy zoomed(&plot, &TPlotWidget::Zoomed);
    QSignalSpy moves(&plot, &TPlotWidget::ChartMouseMove);
    QSignalSpy ups(&plot, &TPlotWidget::ChartMouseUp);

    const QRect r = plot.PlotRect();
    const double perX = (60 / 86400.0) / (r.width() - 1);
    const double perY = 100.0 / (r.height() - 1);
    drag(Qt::RightButton, r.center(), r.center() + QPoint(50, -20));
    EXPECT_GE(scrolled.count(), 1);
    EXPECT_EQ(zoomed.count(), 0);
    // Curves follow the mouse: right shows earlier times, up shows lower values.
    EXPECT_NEAR(plot.BottomAxis().Minimum(), T0 - 50 * perX, perX * 1e-3);
    EXPECT_NEAR(plot.BottomAxis().Maximum() - plot.BottomAxis().Minimum(), 60 / 86400.0, perX * 1e-3);
    EXPECT_NEAR(plot.LeftAxis().Minimum(), -20 * perY, 1e-9);
    EXPECT_NEAR(plot.LeftAxis().Maximum(), 100 - 20 * perY, 1e-9);
    EXPECT_FALSE(plot.IsZoomed());

    ASSERT_GE(moves.count(), 2);
    EXPECT_EQ(moves.last().at(0).toPoint(), r.center() + QPoint(50, -20));
    ASSERT_EQ(ups.count(), 1);
    EXPECT_EQ(ups.last().at(0).value<Qt::MouseButton>(), Qt::RightButton);
}

TEST_F(PlotWidgetTest, MarkersPointColoursAndBackgroundInTheImage)
{
    plot.SetBackColor(QColor(200, 200, 0));
    TMemoryChartSeries a;
    TSeriesPointer pointer;
    pointer.Visible = true;
    pointer.Width = 4;
    pointer.Height = 4;
    pointer.PenColor = Qt::black;
    a.SetPointer(pointer);
    a.SetParentChart(&plot);
    a.AddXY(1, 5, QColor(255, 0, 0));
    a.AddXY(2, 5, QColor(0, 0, 255));
    a.AddXY(3, 5, QColor(0, 160, 0));
    plot.BottomAxis().SetMinMax(0, 4);
    plot.LeftAxis().SetMinMax(0, 10);

    const QImage image = plot.grab().toImage();
    const int y = plot.LeftAxis().CalcPosValue(5);
    auto at = [&](int X, int Y) { return image.pixelColor(X, Y); };
    const int x1 = plot.BottomAxis().CalcPosValue(1);
    const int x2 = plot.BottomAxis().CalcPosValue(2);
    const int x3 = plot.BottomAxis().CalcPosValue(3);
    // Inside each marker its point's colour, on its edge the pointer pen.
    EXPECT_EQ(at(x1 + 2, y - 2), QColor(255, 0, 0));
    EXPECT_EQ(at(x2 + 2, y - 2), QColor(0, 0, 255));
    EXPECT_EQ(at(x3 - 2, y + 2), QColor(0, 160, 0));
    EXPECT_EQ(at(x1 - 4, y - 1), QColor(Qt::black));
    // The segment into a point takes that point's colour.
    EXPECT_EQ(at((x1 + x2) / 2, y), QColor(0, 0, 255));
    EXPECT_EQ(at((x2 + x3) / 2, y), QColor(0, 160, 0));
    // The plot wall is white away from the line; the margin has the back colour.
    EXPECT_EQ(at((x1 + x2) / 2, y - 30), QColor(Qt::white));
    EXPECT_EQ(at(1, 1), QColor(200, 200, 0));

    // Hidden series and markers switched off leave no trace.
    pointer.Visible = false;
    a.SetPointer(pointer);
    EXPECT_EQ(plot.grab().toImage().pixelColor(x1 + 2, y - 2), QColor(Qt::white));
    a.SetActive(false);
    EXPECT_EQ(plot.grab().toImage().pixelColor((x1 + x2) / 2, y), QColor(Qt::white));
}

TEST_F(PlotWidgetTest, AMillionPointsKeepTheirSpikesAndAppendsRepaintOnce)
{
    int paints = 0;
    plot.SetAfterDraw([&](QPainter&) { ++paints; });
    TMemoryChartSeries a;
    a.SetParentChart(&plot);
    a.SetColor(QColor(255, 0, 0));
    constexpr int N = 1000000;
    for (int i = 0; i < N; ++i)
        a.AddXY(i, i == 654321 ? 100 : std::sin(i * 0.001), a.Color());
    QCoreApplication::processEvents();
    // A million appends to a shown series are one pending repaint.
    EXPECT_LE(paints, 2);
    EXPECT_GE(paints, 1);

    plot.LeftAxis().SetMinMax(-10, 110);
    const QImage image = plot.grab().toImage();
    const int x = plot.BottomAxis().CalcPosValue(654321);

    const int top = plot.LeftAxis().CalcPosValue(100);
    // Within a pixel either way: the raster engine decides line ends by
    // pixel centres.
    bool found = false;
    for (int dx = -1; dx <= 1; ++dx)
        for (int dy = -1; dy <= 1; ++dy)
            found = found || image.pixelColor(x + dx, top + dy) == QColor(255, 0, 0);
    EXPECT_NE(image.pixelColor(x, top - 3), QColor(255, 0, 0)) << "and no higher";
    EXPECT_TRUE(found) << "the one-point spike is drawn";
    EXPECT_EQ(image.pixelColor(x - 7, top), QColor(Qt::white));
}

TEST_F(PlotWidgetTest, RenderToPictureAtAGivenSize)
{
    TMemoryChartSeries a;
    addLine(a, 50, 0, 1);
    int hooks = 0;
    QRect hookPlot;
    plot.SetAfterDraw([&](QPainter& Painter) {
        ++hooks;
        hookPlot = QRect(plot.BottomAxis().PixelStart(), plot.LeftAxis().PixelStart(),
                         plot.BottomAxis().PixelEnd() - plot.BottomAxis().PixelStart() + 1,
                         plot.LeftAxis().PixelEnd() - plot.LeftAxis().PixelStart() + 1);
        Painter.fillRect(hookPlot.adjusted(10, 10, -10, -10), QColor(0, 200, 200));
    });
    const QPicture picture = plot.RenderToPicture(QSize(1000, 300));
    EXPECT_EQ(picture.boundingRect(), QRect(0, 0, 1000, 300));
    EXPECT_EQ(hooks, 1);
    // The hook saw the picture's geometry, not the widget's.
    EXPECT_GT(hookPlot.width(), 800);
    EXPECT_LT(hookPlot.height(), 300);

    QImage image(1000, 300, QImage::Format_RGB32);
    image.fill(Qt::black);
    {
        QPainter painter(&image);
        painter.drawPicture(0, 0, picture);
    }
    EXPECT_EQ(image.pixelColor(hookPlot.center()), QColor(0, 200, 200));
    EXPECT_EQ(image.pixelColor(hookPlot.left() + 5, hookPlot.top() + 5), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(1, 1), plot.BackColor());
    // The widget's own geometry is back afterwards.
    EXPECT_LT(plot.PlotRect().right(), 600);
    EXPECT_EQ(plot.BottomAxis().PixelEnd(), plot.PlotRect().right());
}

TEST_F(PlotWidgetTest, TitleLegendAndAxisLabelHook)
{
    TMemoryChartSeries a;
    a.SetTitle(QStringLiteral("К1 с очень длинным названием"));
    addLine(a, 50, 0, 1);
    const QRect bare = plot.PlotRect();
    plot.SetTitle(QStringLiteral("Давление"));
    plot.SetTitleVisible(true);
    EXPECT_GT(plot.PlotRect().top(), bare.top());
    plot.SetLegendVisible(true);
    EXPECT_LT(plot.PlotRect().right(), bare.right());
    plot.SetTitleVisible(false);
    plot.SetLegendVisible(false);
    EXPECT_EQ(plot.PlotRect(), bare);

    int bottomLabels = 0;
    int leftLabels = 0;
    plot.SetGetAxisLabel([&](const TPlotAxis& Axis, double, QString& Text) {
        if (&Axis == &plot.BottomAxis()) {
            ++bottomLabels;
            Text = QStringLiteral("x");
        } else if (&Axis == &plot.LeftAxis()) {
            ++leftLabels;
        }
    });
    plot.grab();
    EXPECT_GT(bottomLabels, 2);
    EXPECT_GT(leftLabels, 2);
}

TEST_F(PlotWidgetTest, DecimatedLinesCoverTheSamePixelsAsEveryPointDrawn)
{
    // Dense noise with gaps of several columns and a stretch off the top.
    TMemoryChartSeries a;
    a.SetParentChart(&plot);
    const QColor red(255, 0, 0);
    std::mt19937 random(3);
    std::uniform_real_distribution<double> value(0, 10);
    double x = 0;
    for (int i = 0; i < 40000; ++i) {
        x += (i % 5000 == 4999) ? 40 : 0.05;
        a.AddXY(x, i % 7000 < 300 ? 14 : value(random), red);
    }
    plot.BottomAxis().SetMinMax(-20, x + 20);
    plot.LeftAxis().SetMinMax(-1, 12);
    const QRect r = plot.PlotRect();
    const QImage decimated = plot.grab().toImage();

    a.SetActive(false);
    QImage full = plot.grab().toImage();
    {
        QPainter painter(&full);
        painter.setClipRect(r);
        painter.setPen(QPen(red, 0));
        // Half a pixel on, so every point lands on its nearest pixel.
        std::vector<QPointF> line;
        for (int i = 0; i < a.Count(); ++i)
            line.emplace_back(plot.BottomAxis().CalcPosValueF(a.XValue(i)) + 0.5,
                              plot.LeftAxis().CalcPosValueF(a.YValue(i)) + 0.5);
        painter.drawPolyline(line.data(), int(line.size()));
    }
    // Column by column the red pixels reach the same top and bottom rows, give
    // or take the pixel by which the raster engine moves steep line ends into
    // a neighbouring column.
    auto extents = [&](const QImage& Image) {
        std::vector<std::pair<int, int>> e;
        for (int cx = r.left(); cx <= r.right(); ++cx) {
            int top = 100000;
            int bottom = -1;
            for (int cy = r.top(); cy <= r.bottom(); ++cy)
                if (Image.pixelColor(cx, cy) == red) {
                    top = std::min(top, cy);
                    bottom = cy;
                }
            e.emplace_back(top, bottom);
        }
        return e;
    };
    const auto fullExtents = extents(full);
    const auto ours = extents(decimated);
    auto near = [](const std::vector<std::pair<int, int>>& E, std::size_t I) {
        std::pair<int, int> n = E[I];
        for (const std::size_t j : {I - 1, I + 1})
            if (j < E.size()) {
                n.first = std::min(n.first, E[j].first);
                n.second = std::max(n.second, E[j].second);
            }
        return n;
    };
    int columns = 0;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        if (ours[i].second < 0 && fullExtents[i].second < 0)
            continue;
        ++columns;
        const auto aroundFull = near(fullExtents, i);
        const auto aroundOurs = near(ours, i);
        EXPECT_GE(ours[i].first, aroundFull.first - 1) << "column " << i;
        EXPECT_LE(ours[i].second, aroundFull.second + 1) << "column " << i;
        EXPECT_GE(fullExtents[i].first, aroundOurs.first - 1) << "column " << i;
        EXPECT_LE(fullExtents[i].second, aroundOurs.second + 1) << "column " << i;
    }
    EXPECT_GT(columns, r.width() / 2);
}
