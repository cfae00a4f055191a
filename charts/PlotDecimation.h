#pragma once

#include <QRgb>
#include <span>
#include <vector>

// Maps values to device pixels: x' = XOffset + x * XScale, y' = YOffset + y * YScale.
// Left and Right are the first and last pixel columns of the plot.
struct TPlotMapping
{
    double XOffset = 0;
    double XScale = 1;
    double YOffset = 0;
    double YScale = 1;
    int Left = 0;
    int Right = 0;
};

// Consecutive points of one colour that fall into one pixel column. Columns
// left of the plot share the bucket Left - 2 and those right of it Right + 2,
// so points far outside cost one run however many they are. Coordinates are
// device pixels; YTop is the smallest pixel row (the largest value).
struct TPlotRun
{
    int Column = 0;
    int Begin = 0; // first point index
    int End = 0;   // one past the last point index
    double XFirst = 0;
    double XLast = 0;
    double YFirst = 0;
    double YTop = 0;
    double YBottom = 0;
    double YLast = 0;
    QRgb Color = 0;
};

// The column of a pixel x position, with the two outside buckets.
int PlotColumn(double PixelX, const TPlotMapping& Map);

// Reduces a series to its runs: drawing first, top, bottom and last of every
// run as one polyline gives the same pixels as drawing every point, because
// a run's segments all stay inside its column between its extremes. Points
// with a NaN coordinate are skipped. Runs is cleared first.
void DecimateSeries(std::span<const double> X, std::span<const double> Y, std::span<const QRgb> Colors,
                    const TPlotMapping& Map, std::vector<TPlotRun>& Runs);
