#pragma once

#include "charts/PlotAxis.h"
#include "charts/PlotDecimation.h"
#include "core/ChartSeries.h"

#include <QPicture>
#include <QWidget>
#include <array>
#include <functional>
#include <vector>

class QPainter;

// The 2-D chart of the chart windows: line series over a date-time bottom
// axis and a value axis (plus a top axis that usually mirrors the bottom one).
// Series are not owned; they attach themselves through IParentChart and are
// drawn in attach order. Lines are drawn decimated to the extremes of each
// pixel column, so a redraw costs one pass over the points and appending a
// point costs a flag and a coalesced repaint request.
//
// Mouse: a left drag to the right zooms into the dragged rectangle, a left
// drag to the left undoes the zooms (back to the ranges before the first one);
// a right drag scrolls all axes.
class TPlotWidget : public QWidget, public IParentChart
{
    Q_OBJECT

public:
    explicit TPlotWidget(QWidget* Parent = nullptr);
    ~TPlotWidget() override;
    TPlotWidget(const TPlotWidget&) = delete;
    TPlotWidget& operator=(const TPlotWidget&) = delete;

    void SeriesAttached(IChartSeries& Series) override;
    void SeriesDetached(IChartSeries& Series) override;
    void SeriesChanged(IChartSeries& Series) override;
    int SeriesCount() const { return static_cast<int>(Series_.size()); }
    IChartSeries& Series(int Index) const;

    // The axes, laid out for the present size, so their conversions are
    // those of the next paint.
    const TPlotAxis& BottomAxis() const;
    const TPlotAxis& TopAxis() const;
    const TPlotAxis& LeftAxis() const;
    TPlotAxis& BottomAxis();
    TPlotAxis& TopAxis();
    TPlotAxis& LeftAxis();

    QString Title() const { return Title_; }
    void SetTitle(const QString& Title);
    bool TitleVisible() const { return TitleVisible_; }
    void SetTitleVisible(bool Visible);
    bool LegendVisible() const { return LegendVisible_; }
    void SetLegendVisible(bool Visible);
    // The colour around the plot and the colour of the plot area itself.
    QColor BackColor() const { return BackColor_; }
    void SetBackColor(const QColor& Color);
    QColor BackWallColor() const { return BackWallColor_; }
    void SetBackWallColor(const QColor& Color);

    // The plot area in widget pixels (inside the axes).
    QRect PlotRect() const;

    // Runs after every paint (screen or picture) with the painter used; the
    // axes convert in that paint's geometry meanwhile.
    void SetAfterDraw(std::function<void(QPainter&)> AfterDraw) { AfterDraw_ = std::move(AfterDraw); }
    // May change the text of every axis label before it is drawn.
    void SetGetAxisLabel(std::function<void(const TPlotAxis&, double, QString&)> Hook);

    bool IsZoomed() const { return Zoomed_; }
    // Zooms the axes into a rectangle of widget pixels (as the left drag does).
    void ZoomRect(const QRect& Rect);
    // Back to the ranges before the first zoom (if zoomed); always notifies.
    void UndoZoom();
    // Moves the view by a pixel offset, as a right drag does.
    void ScrollBy(const QPoint& Delta);

    // The distance of the grid lines and of the labels of an axis in the present
    // layout. The grid keeps the axis's wanted step (Increment) while its lines
    // stay a few pixels apart, even where the labels need a wider step.
    double GridStep(const TPlotAxis& Axis) const;
    double LabelStep(const TPlotAxis& Axis) const;

    // The whole chart drawn at the given pixel size (for printing).
    QPicture RenderToPicture(const QSize& Size);
    void Render(QPainter& Painter, const QSize& Size);

Q_SIGNALS:
    void Zoomed();
    void ZoomUndone();
    void Scrolled();
    void ChartMouseDown(Qt::MouseButton Button, const QPoint& Pos);
    void ChartMouseMove(const QPoint& Pos);
    void ChartMouseUp(Qt::MouseButton Button, const QPoint& Pos);

protected:
    void paintEvent(QPaintEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;

private:
    struct TAxisState
    {
        double Min = 0;
        double Max = 0;
        bool Automatic = true;
    };
    struct TLayout
    {
        QRect Plot;
        QRect Title;
        QRect Legend;
        double LeftStep = 0;
        double BottomStep = 0;
        double TopStep = 0;
        double LeftGrid = 0;
        double BottomGrid = 0;
        double TopGrid = 0;
    };

    TLayout layoutFor(const QSize& Size, const QFontMetrics& Metrics);
    void ensureLayout() const;
    void applySpans(const QRect& Plot);
    void paintChart(QPainter& Painter, const QSize& Size, const TLayout& Layout);
    void paintSeries(QPainter& Painter, const IChartSeries& Series, const QRect& Plot);
    void paintMarkers(QPainter& Painter, const IChartSeries& Series, const TPlotMapping& Map,
                      const QRect& Plot);
    void paintAxis(QPainter& Painter, const TPlotAxis& Axis, double Step, const QRect& Plot);
    void paintLegend(QPainter& Painter, const QRect& Rect);
    QString labelText(const TPlotAxis& Axis, double Value) const;
    int labelExtent(const TPlotAxis& Axis, const QFontMetrics& Metrics) const;
    static double gridStep(const TPlotAxis& Axis, double LabelStep);
    void updateAutomaticRanges();
    void axisChanged();
    void requestRepaint();
    std::array<TPlotAxis*, 3> axes() { return {&Bottom_, &Top_, &Left_}; }

    std::vector<IChartSeries*> Series_;
    TPlotAxis Bottom_{TPlotAxis::TPlace::Bottom};
    TPlotAxis Top_{TPlotAxis::TPlace::Top};
    TPlotAxis Left_{TPlotAxis::TPlace::Left};
    QString Title_;
    bool TitleVisible_ = true;
    bool LegendVisible_ = true;
    QColor BackColor_;
    QColor BackWallColor_ = Qt::white;
    std::function<void(QPainter&)> AfterDraw_;
    std::function<void(const TPlotAxis&, double, QString&)> GetAxisLabel_;

    bool LayoutValid_ = false;
    TLayout Layout_;
    bool RepaintPending_ = false;
    bool Rendering_ = false;
    bool InAxisChange_ = false;
    bool InLayout_ = false;
    std::vector<TPlotRun> Runs_;
    std::vector<QPointF> Polyline_;
    struct TMarker
    {
        QRect Rect;
        QRgb Color;
    };
    std::vector<quint8> MarkerRows_;
    std::vector<TMarker> Markers_;

    bool Zoomed_ = false;
    std::array<TAxisState, 3> Saved_;
    Qt::MouseButton DragButton_ = Qt::NoButton;
    QPoint DragStart_;
    QPoint DragNow_;
};
