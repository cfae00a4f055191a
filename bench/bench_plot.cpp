// The plot widget: redrawing a million points at a usual chart size, next to
// a plain QPainter polyline of the same points and to filling the image,
// measured in the same run; and appending points to a shown series, next to
// appending to a series on no chart; and a day of chart points of ten devices
// (20 lines, one point a second each) with its peak memory, next to bare x/y
// arrays of the same points.
//
// Usage: bench_plot [points]  (default 1000000)

#include "BenchUtil.h"
#include "charts/PlotWidget.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <vector>

namespace {

const QSize ChartSize(700, 450);

// The median of Runs timings of Work, in milliseconds.
double medianMs(int Runs, const std::function<void()>& Work)
{
    std::vector<double> ms;
    for (int i = 0; i < Runs; ++i) {
        const auto start = BenchClock::now();
        Work();
        ms.push_back(MsSince(start));
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

void fillSeries(TMemoryChartSeries& Series, int Points)
{
    std::mt19937 random(1);
    std::normal_distribution<double> noise(0, 0.3);
    for (int i = 0; i < Points; ++i)
        Series.AddXY(45000.0 + i / 86400.0, 20 + 5 * std::sin(i * 1e-4) + noise(random), Series.Color());
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int points = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 1000000;

    TPlotWidget plot;
    plot.resize(ChartSize);
    plot.SetTitleVisible(false);
    plot.SetLegendVisible(false);
    TMemoryChartSeries series;
    series.SetColor(Qt::red);
    series.SetParentChart(&plot);
    fillSeries(series, points);
    QImage image(ChartSize, QImage::Format_RGB32);

    const double fill = medianMs(50, [&] {
        QPainter painter(&image);
        painter.fillRect(image.rect(), Qt::white);
    });
    const double redraw = medianMs(20, [&] {
        QPainter painter(&image);
        plot.Render(painter, ChartSize);
    });
    TSeriesPointer pointer;
    pointer.Visible = true;
    pointer.Width = pointer.Height = 2;
    series.SetPointer(pointer);
    const double redrawMarkers = medianMs(20, [&] {
        QPainter painter(&image);
        plot.Render(painter, ChartSize);
    });
    series.SetPointer(TSeriesPointer());

    // The same points as one plain polyline in the same pixel mapping.
    const QRect r = plot.PlotRect();
    std::vector<QPointF> line(std::size_t(series.Count()));
    const auto xs = series.XValues();
    const auto ys = series.YValues();
    for (std::size_t i = 0; i < line.size(); ++i)
        line[i] = QPointF(plot.BottomAxis().CalcPosValueF(xs[i]), plot.LeftAxis().CalcPosValueF(ys[i]));
    const double polyline = medianMs(3, [&] {
        QPainter painter(&image);
        painter.setClipRect(r);
        painter.setPen(QPen(Qt::red, 0));
        painter.drawPolyline(line.data(), int(line.size()));
    });

    std::printf("plot %dx%d, %d points\n", ChartSize.width(), ChartSize.height(), points);
    std::printf("  fill the image                 %9.3f ms\n", fill);
    std::printf("  plain drawPolyline, all points %9.3f ms\n", polyline);
    std::printf("  chart redraw (decimated)       %9.3f ms  = %.1f x fill, %.3f x polyline\n", redraw,
                redraw / fill, redraw / polyline);
    std::printf("  chart redraw with markers      %9.3f ms  = %.1f x fill, %.3f x polyline\n", redrawMarkers,
                redrawMarkers / fill, redrawMarkers / polyline);

    // Appends: a shown chart with a million points already, against a series
    // on no chart.
    plot.show();
    QCoreApplication::processEvents();
    constexpr int Appends = 200000;
    TMemoryChartSeries loose;
    const auto looseStart = BenchClock::now();
    for (int i = 0; i < Appends; ++i)
        loose.AddXY(46000.0 + i / 86400.0, i % 100, Qt::red);
    const double looseMs = MsSince(looseStart);
    const auto shownStart = BenchClock::now();
    for (int i = 0; i < Appends; ++i)
        series.AddXY(46000.0 + i / 86400.0, i % 100, Qt::red);
    const double shownMs = MsSince(shownStart);
    const auto paintStart = BenchClock::now();
    QCoreApplication::processEvents();
    const double paintMs = MsSince(paintStart);
    std::printf("append %d points: on no chart %.3f us/point, to the shown chart %.3f us/point "
                "(%.2f x); then one repaint of %d points %.3f ms\n",
                Appends, looseMs * 1000 / Appends, shownMs * 1000 / Appends, shownMs / looseMs,
                series.Count(), paintMs);

    // A day of the chart points that polling adds: 20 lines of 86 400 points.
    constexpr int Lines = 20;
    constexpr int DayPoints = 86400;
    constexpr double Total = double(Lines) * DayPoints;
    double bareMs = 0;
    double bareMb = 0;
    {
        ResetPeak();
        const double before = StatusMb("VmHWM");
        const auto start = BenchClock::now();
        std::vector<std::vector<double>> xs(Lines), ys(Lines);
        for (int i = 0; i < DayPoints; ++i) {
            for (int l = 0; l < Lines; ++l) {
                xs[l].push_back(46000.0 + i / 86400.0);
                ys[l].push_back(l + (i % 100) / 10.0);
            }
        }
        bareMs = MsSince(start);
        bareMb = PeakAboveMb(before);
    }
    ResetPeak();
    const double before = StatusMb("VmHWM");
    TPlotWidget dayPlot;
    dayPlot.resize(ChartSize);
    dayPlot.show();
    std::vector<std::unique_ptr<TMemoryChartSeries>> day;
    for (int l = 0; l < Lines; ++l) {
        day.push_back(std::make_unique<TMemoryChartSeries>());
        day.back()->SetParentChart(&dayPlot);
    }
    const auto dayStart = BenchClock::now();
    for (int i = 0; i < DayPoints; ++i) {
        for (int l = 0; l < Lines; ++l)
            day[std::size_t(l)]->AddXY(46000.0 + i / 86400.0, l + (i % 100) / 10.0, Qt::green);
    }
    QCoreApplication::processEvents();
    const double dayMs = MsSince(dayStart);
    const double dayMb = PeakAboveMb(before);
    std::printf("a day of chart points (%d lines x %d): %.0f ms, peak %.0f MB above the start "
                "(%.1f bytes/point); bare x/y arrays %.0f ms, %.0f MB (%.2f x time, %.2f x memory)\n",
                Lines, DayPoints, dayMs, dayMb, dayMb * 1048576 / Total, bareMs, bareMb, dayMs / bareMs,
                bareMb > 0 ? dayMb / bareMb : 0.0);
    return 0;
}
