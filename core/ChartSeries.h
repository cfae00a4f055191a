#pragma once

#include <QColor>
#include <QString>
#include <span>
#include <vector>

class IChartSeries;

// The chart a series is drawn in (the plot of a chart window). A series belongs
// to at most one chart; the series tells the chart when it joins, leaves or
// changes, so the chart keeps its series order and redraws.
class IParentChart
{
public:
    virtual ~IParentChart() = default;

    // The series now has this chart as parent: append it to the chart's order.
    virtual void SeriesAttached(IChartSeries& Series) = 0;
    // The series leaves this chart (another parent, none, or it is being freed).
    virtual void SeriesDetached(IChartSeries& Series) = 0;
    // Points, colours, title, markers or the shown flag changed.
    virtual void SeriesChanged(IChartSeries& Series) = 0;
};

enum class TPointerStyle : quint8
{
    Rectangle,
    Circle
};

// The point markers of a series.
struct TSeriesPointer
{
    bool Visible = false;
    TPointerStyle Style = TPointerStyle::Rectangle;
    int Width = 4;
    int Height = 4;
    QColor PenColor = QColor(0, 0, 0);

    bool operator==(const TSeriesPointer&) const = default;
};

// One line series of a chart: points in append order with x a date-time (days)
// and y the value, each point with its own colour. Indexes out of range throw
// std::out_of_range.
class IChartSeries
{
public:
    virtual ~IChartSeries() = default;

    virtual QString Title() const = 0;
    virtual void SetTitle(const QString& Title) = 0;
    // The series colour (new points and the legend take it).
    virtual QColor Color() const = 0;
    virtual void SetColor(const QColor& Color) = 0;
    // Shown in its chart.
    virtual bool Active() const = 0;
    virtual void SetActive(bool Active) = 0;
    virtual TSeriesPointer Pointer() const = 0;
    virtual void SetPointer(const TSeriesPointer& Pointer) = 0;

    // Appends a point and returns its index.
    virtual int AddXY(double X, double Y, const QColor& Color) = 0;
    virtual int Count() const = 0;
    virtual double XValue(int Index) const = 0;
    virtual double YValue(int Index) const = 0;
    // All x or y values in point order, for drawing without a call per point.
    virtual std::span<const double> XValues() const = 0;
    virtual std::span<const double> YValues() const = 0;
    virtual QColor PointColor(int Index) const = 0;
    // All point colours in point order (QColor::rgba() values).
    virtual std::span<const QRgb> PointColors() const = 0;
    virtual void SetPointColor(int Index, const QColor& Color) = 0;
    // Extremes over all points; 0 for an empty series.
    virtual double MinXValue() const = 0;
    virtual double MaxXValue() const = 0;
    virtual double MinYValue() const = 0;
    virtual double MaxYValue() const = 0;
    // Removes every point; title, colour and chart stay.
    virtual void Clear() = 0;

    virtual IParentChart* ParentChart() const = 0;
    // Leaves the present chart (if any) and joins Chart (if any); setting the
    // same chart again does nothing.
    virtual void SetParentChart(IParentChart* Chart) = 0;
};

// A series held in memory, with running extremes so that adding a point and
// asking for the extremes cost the same however long the series is.
class TMemoryChartSeries : public IChartSeries
{
public:
    TMemoryChartSeries() = default;
    ~TMemoryChartSeries() override;
    TMemoryChartSeries(const TMemoryChartSeries&) = delete;
    TMemoryChartSeries& operator=(const TMemoryChartSeries&) = delete;

    QString Title() const override { return Title_; }
    void SetTitle(const QString& Title) override;
    QColor Color() const override { return Color_; }
    void SetColor(const QColor& Color) override;
    bool Active() const override { return Active_; }
    void SetActive(bool Active) override;
    TSeriesPointer Pointer() const override { return Pointer_; }
    void SetPointer(const TSeriesPointer& Pointer) override;

    int AddXY(double X, double Y, const QColor& Color) override;
    int Count() const override { return static_cast<int>(X_.size()); }
    double XValue(int Index) const override;
    double YValue(int Index) const override;
    std::span<const double> XValues() const override { return X_; }
    std::span<const double> YValues() const override { return Y_; }
    QColor PointColor(int Index) const override;
    std::span<const QRgb> PointColors() const override { return Colors_; }
    void SetPointColor(int Index, const QColor& Color) override;
    double MinXValue() const override { return MinX_; }
    double MaxXValue() const override { return MaxX_; }
    double MinYValue() const override { return MinY_; }
    double MaxYValue() const override { return MaxY_; }
    void Clear() override;

    IParentChart* ParentChart() const override { return Parent_; }
    void SetParentChart(IParentChart* Chart) override;

private:
    void changed();
    std::size_t checkedIndex(int Index) const;

    QString Title_;
    QColor Color_ = QColor(0, 128, 0);
    bool Active_ = true;
    TSeriesPointer Pointer_;
    std::vector<double> X_;
    std::vector<double> Y_;
    std::vector<QRgb> Colors_;
    double MinX_ = 0;
    double MaxX_ = 0;
    double MinY_ = 0;
    double MaxY_ = 0;
    IParentChart* Parent_ = nullptr;
};
