#include "charts/PlotDecimation.h"

#include <algorithm>
#include <cmath>

namespace {

// Far outside points are pulled in to this distance from the plot: the raster
// engine copes badly with huge coordinates, and at this distance the slope of
// a visible segment changes by far less than a pixel.
constexpr double FarPixels = 1e5;

double clampFar(double Pixel, double Low, double High)
{
    return std::clamp(Pixel, Low - FarPixels, High + FarPixels);
}

} // namespace

int PlotColumn(double PixelX, const TPlotMapping& Map)
{
    if (PixelX < Map.Left - 1)
        return Map.Left - 2;
    if (PixelX >= Map.Right + 2)
        return Map.Right + 2;
    return static_cast<int>(std::floor(PixelX));
}

void DecimateSeries(std::span<const double> X, std::span<const double> Y, std::span<const QRgb> Colors,
                    const TPlotMapping& Map, std::vector<TPlotRun>& Runs)
{
    Runs.clear();
    const std::size_t n = std::min({X.size(), Y.size(), Colors.size()});
    // Vertical clamping bounds: anything beyond a screen's height either way.
    const double yLow = -FarPixels;
    const double yHigh = FarPixels;
    const double xLow = Map.Left;
    const double xHigh = Map.Right;
    TPlotRun run;
    bool open = false;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = X[i];
        const double y = Y[i];
        if (std::isnan(x) || std::isnan(y))
            continue;
        const double px = clampFar(Map.XOffset + x * Map.XScale, xLow, xHigh);
        const double py = std::clamp(Map.YOffset + y * Map.YScale, yLow, yHigh);
        const int column = PlotColumn(px, Map);
        const QRgb color = Colors[i];
        if (open && column == run.Column && color == run.Color) {
            run.End = static_cast<int>(i) + 1;
            run.XLast = px;
            run.YLast = py;
            if (py < run.YTop)
                run.YTop = py;
            if (py > run.YBottom)
                run.YBottom = py;
            continue;
        }
        if (open)
            Runs.push_back(run);
        run.Column = column;
        run.Begin = static_cast<int>(i);
        run.End = static_cast<int>(i) + 1;
        run.XFirst = run.XLast = px;
        run.YFirst = run.YTop = run.YBottom = run.YLast = py;
        run.Color = color;
        open = true;
    }
    if (open)
        Runs.push_back(run);
}
