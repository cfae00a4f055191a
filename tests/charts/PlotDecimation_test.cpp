#include "charts/PlotDecimation.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <map>
#include <random>

namespace {

struct TColumnExtremes
{
    double Top = std::numeric_limits<double>::infinity();
    double Bottom = -std::numeric_limits<double>::infinity();
};

TPlotMapping mapping()
{
    // x 0..1000 over columns 50..849, y -10..10 over rows 300..20.
    TPlotMapping map;
    map.Left = 50;
    map.Right = 849;
    map.XScale = 800.0 / 1000.0;
    map.XOffset = 50;
    map.YScale = -280.0 / 20.0;
    map.YOffset = 160;
    return map;
}

// Every point accounted for once, in order, each run one column and colour,
// and the extremes of every column the same as a plain pass finds.
void checkAgainstBruteForce(const std::vector<double>& X, const std::vector<double>& Y,
                            const std::vector<QRgb>& C, const TPlotMapping& Map)
{
    std::vector<TPlotRun> runs;
    DecimateSeries(X, Y, C, Map, runs);

    std::map<int, TColumnExtremes> brute;
    std::vector<int> columnOf(X.size());
    for (std::size_t i = 0; i < X.size(); ++i) {
        const int column = PlotColumn(Map.XOffset + X[i] * Map.XScale, Map);
        columnOf[i] = column;
        const double py = Map.YOffset + Y[i] * Map.YScale;
        TColumnExtremes& e = brute[column];
        e.Top = std::min(e.Top, py);
        e.Bottom = std::max(e.Bottom, py);
    }

    std::map<int, TColumnExtremes> decimated;
    int next = 0;
    for (const TPlotRun& run : runs) {
        ASSERT_EQ(run.Begin, next);
        ASSERT_LT(run.Begin, run.End);
        next = run.End;
        for (int i = run.Begin; i < run.End; ++i) {
            ASSERT_EQ(columnOf[std::size_t(i)], run.Column);
            ASSERT_EQ(C[std::size_t(i)], run.Color);
        }
        EXPECT_DOUBLE_EQ(run.YFirst, Map.YOffset + Y[std::size_t(run.Begin)] * Map.YScale);
        EXPECT_DOUBLE_EQ(run.YLast, Map.YOffset + Y[std::size_t(run.End - 1)] * Map.YScale);
        TColumnExtremes& e = decimated[run.Column];
        e.Top = std::min(e.Top, run.YTop);
        e.Bottom = std::max(e.Bottom, run.YBottom);
    }
    EXPECT_EQ(next, int(X.size()));
    ASSERT_EQ(decimated.size(), brute.size());
    for (const auto& [column, e] : brute) {
        EXPECT_EQ(decimated[column].Top, e.Top) << "column " << column;
        EXPECT_EQ(decimated[column].Bottom, e.Bottom) << "column " << column;
    }
}

} // namespace

TEST(PlotDecimation, KeepsTheExtremesOfEveryColumnOfRandomData)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> value(-12, 12);
    const TPlotMapping map = mapping();

    // Increasing times reaching beyond both ends of the plot, one colour with
    // a few points of another.
    std::vector<double> x(200000);
    std::vector<double> y(x.size());
    std::vector<QRgb> c(x.size(), qRgb(255, 0, 0));
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] = -300 + 1600.0 * double(i) / double(x.size());
        y[i] = value(random);
        if (random() % 1000 == 0)
            c[i] = qRgb(0, 0, 255);
    }
    checkAgainstBruteForce(x, y, c, map);

    std::vector<TPlotRun> runs;
    DecimateSeries(x, y, c, map, runs);
    // About one run per column (plus the colour changes): a few thousand
    // pieces to draw for 200 000 points.
    EXPECT_LT(runs.size(), 800u + 2 * 400u + 4);

    // Times in no order: runs break at every column change, extremes stay.
    std::shuffle(x.begin(), x.begin() + 5000, random);
    x.resize(5000);
    y.resize(5000);
    c.resize(5000);
    checkAgainstBruteForce(x, y, c, map);
}

TEST(PlotDecimation, GapsAndFarPointsKeepTheirPlaces)
{
    const TPlotMapping map = mapping();
    // Two points far to the left, a gap of many columns, points far right.
    const std::vector<double> x = {-1e9, -5e8, 100, 100.3, 900, 2e9};
    const std::vector<double> y = {0, 1, 2, -2, 5, 0};
    const std::vector<QRgb> c(x.size(), qRgb(0, 0, 0));
    std::vector<TPlotRun> runs;
    DecimateSeries(x, y, c, map, runs);
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[0].Column, map.Left - 2);
    EXPECT_EQ(runs[0].End, 2);
    // The far points are pulled in, yet stay far beyond the plot.
    EXPECT_LT(runs[0].XLast, map.Left - 1000);
    EXPECT_EQ(runs[1].Column, 130);
    EXPECT_DOUBLE_EQ(runs[1].YTop, 160 - 28.0);
    EXPECT_DOUBLE_EQ(runs[1].YBottom, 160 + 28.0);
    EXPECT_EQ(runs[2].Column, 770);
    EXPECT_EQ(runs[3].Column, map.Right + 2);

    // NaN points are left out without breaking the line.
    const std::vector<double> xn = {100, std::nan(""), 100.5};
    const std::vector<double> yn = {1, 1, std::nan("")};
    DecimateSeries(xn, yn, std::vector<QRgb>(3, 0), map, runs);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].End - runs[0].Begin, 1);
}
