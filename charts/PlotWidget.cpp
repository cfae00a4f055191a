#include "charts/PlotWidget.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace {

constexpr int Margin = 6;
constexpr int TickLength = 4;
// A left drag shorter than this either way is a click, not a zoom.
constexpr int MinZoomPixels = 8;
// A run with more points than this draws its markers as merged row spans.
constexpr int SingleMarkerLimit = 8;
constexpr double MinuteDays = 60.0 / 86400.0;

} // namespace

TPlotWidget::TPlotWidget(QWidget* Parent) : QWidget(Parent), BackColor_(palette().color(QPalette::Button))
{
    Top_.SetVisible(false);
    for (TPlotAxis* axis : axes())
        axis->SetOnChange([this] { axisChanged(); });
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(120, 90);
}

TPlotWidget::~TPlotWidget()
{
    // The series outlive the chart; none may keep a pointer to it.
    const std::vector<IChartSeries*> attached = Series_;
    for (IChartSeries* series : attached)
        series->SetParentChart(nullptr);
}

void TPlotWidget::SeriesAttached(IChartSeries& Series)
{
    if (std::find(Series_.begin(), Series_.end(), &Series) == Series_.end())
        Series_.push_back(&Series);
    LayoutValid_ = false;
    updateAutomaticRanges();
    requestRepaint();
}

void TPlotWidget::SeriesDetached(IChartSeries& Series)
{
    Series_.erase(std::remove(Series_.begin(), Series_.end(), &Series), Series_.end());
    LayoutValid_ = false;
    updateAutomaticRanges();
    requestRepaint();
}

void TPlotWidget::SeriesChanged(IChartSeries&)
{
    // Called for every appended point: the extremes are running values, so
    // this stays a few comparisons, and the repaint is one pending request.
    updateAutomaticRanges();
    requestRepaint();
}

IChartSeries& TPlotWidget::Series(int Index) const
{
    if (Index < 0 || Index >= SeriesCount())
        throw std::out_of_range("chart series index out of range");
    return *Series_[static_cast<std::size_t>(Index)];
}

const TPlotAxis& TPlotWidget::BottomAxis() const
{
    ensureLayout();
    return Bottom_;
}

const TPlotAxis& TPlotWidget::TopAxis() const
{
    ensureLayout();
    return Top_;
}

const TPlotAxis& TPlotWidget::LeftAxis() const
{
    ensureLayout();
    return Left_;
}

TPlotAxis& TPlotWidget::BottomAxis()
{
    ensureLayout();
    return Bottom_;
}

TPlotAxis& TPlotWidget::TopAxis()
{
    ensureLayout();
    return Top_;
}

TPlotAxis& TPlotWidget::LeftAxis()
{
    ensureLayout();
    return Left_;
}

void TPlotWidget::SetTitle(const QString& Title)
{
    Title_ = Title;
    axisChanged();
}

void TPlotWidget::SetTitleVisible(bool Visible)
{
    TitleVisible_ = Visible;
    axisChanged();
}

void TPlotWidget::SetLegendVisible(bool Visible)
{
    LegendVisible_ = Visible;
    axisChanged();
}

void TPlotWidget::SetBackColor(const QColor& Color)
{
    BackColor_ = Color;
    requestRepaint();
}

void TPlotWidget::SetBackWallColor(const QColor& Color)
{
    BackWallColor_ = Color;
    requestRepaint();
}

void TPlotWidget::SetGetAxisLabel(std::function<void(const TPlotAxis&, double, QString&)> Hook)
{
    GetAxisLabel_ = std::move(Hook);
    axisChanged();
}

QRect TPlotWidget::PlotRect() const
{
    ensureLayout();
    return Layout_.Plot;
}

void TPlotWidget::ensureLayout() const
{
    // Layout is a cache of what size, fonts, ranges and titles give; the
    // const accessors refresh it like the paint would.
    auto* self = const_cast<TPlotWidget*>(this);
    // Label hooks called by the layout may ask for the axes again.
    if (LayoutValid_ || Rendering_ || InLayout_)
        return;
    self->InLayout_ = true;
    self->Layout_ = self->layoutFor(size(), fontMetrics());
    self->InLayout_ = false;
    self->LayoutValid_ = true;
}

void TPlotWidget::applySpans(const QRect& Plot)
{
    Bottom_.SetPixelSpan(Plot.left(), Plot.right());
    Top_.SetPixelSpan(Plot.left(), Plot.right());
    Left_.SetPixelSpan(Plot.top(), Plot.bottom());
}

QString TPlotWidget::labelText(const TPlotAxis& Axis, double Value) const
{
    QString text = Axis.FormatLabel(Value);
    if (GetAxisLabel_)
        GetAxisLabel_(Axis, Value, text);
    return text;
}

int TPlotWidget::labelExtent(const TPlotAxis& Axis, const QFontMetrics& Metrics) const
{
    if (!Axis.Horizontal())
        return Metrics.height() * 2;
    const int widest = std::max(Metrics.horizontalAdvance(labelText(Axis, Axis.Minimum())),
                                Metrics.horizontalAdvance(labelText(Axis, Axis.Maximum())));
    return widest + Metrics.averageCharWidth() * 3;
}

TPlotWidget::TLayout TPlotWidget::layoutFor(const QSize& Size, const QFontMetrics& Metrics)
{
    TLayout layout;
    const int lineHeight = Metrics.height();
    int top = Margin;
    if (TitleVisible_ && !Title_.isEmpty()) {
        layout.Title = QRect(0, top, Size.width(), lineHeight);
        top += lineHeight + 4;
    }
    if (Top_.Visible()) {
        top += lineHeight + TickLength + 2;
        if (!Top_.Title().isEmpty())
            top += lineHeight + 2;
    } else {
        top += lineHeight / 2; // room for the half of the top value label
    }
    int bottom = Size.height() - Margin;
    if (Bottom_.Visible()) {
        bottom -= lineHeight + TickLength + 2;
        if (!Bottom_.Title().isEmpty())
            bottom -= lineHeight + 2;
    } else {
        bottom -= lineHeight / 2;
    }
    bottom = std::max(bottom, top + 1);

    int right = Size.width() - Margin;
    if (LegendVisible_ && !Series_.empty()) {
        int widest = 0;
        int shown = 0;
        for (const IChartSeries* series : Series_) {
            if (!series->Active())
                continue;
            widest = std::max(widest, Metrics.horizontalAdvance(series->Title()));
            ++shown;
        }
        if (shown > 0) {
            const int width = widest + 28;
            layout.Legend = QRect(right - width, top, width, shown * lineHeight + 8);
            right -= width + Margin;
        }
    }

    // The value labels' width decides the left edge; the step depends only on
    // the height, which is known by now.
    Left_.SetPixelSpan(top, bottom - 1);
    layout.LeftStep = Left_.Visible() ? Left_.TickStep(labelExtent(Left_, Metrics)) : 0;
    int labelWidth = 0;
    for (const double value : Left_.TickValues(layout.LeftStep))
        labelWidth = std::max(labelWidth, Metrics.horizontalAdvance(labelText(Left_, value)));
    int left = Margin;
    if (Left_.Visible()) {
        left += labelWidth + TickLength + 3;
        if (!Left_.Title().isEmpty())
            left += lineHeight + 4;
    }
    // The first and last time labels are centred on the plot's edges.
    for (const TPlotAxis* axis : {&Bottom_, &Top_}) {
        if (!axis->Visible())
            continue;
        left = std::max(left, Margin + Metrics.horizontalAdvance(labelText(*axis, axis->Minimum())) / 2);
        right = std::min(right, Size.width() - Margin -
                                    Metrics.horizontalAdvance(labelText(*axis, axis->Maximum())) / 2);
    }
    right = std::max(right, left + 2);

    layout.Plot = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
    applySpans(layout.Plot);
    layout.BottomStep = Bottom_.Visible() ? Bottom_.TickStep(labelExtent(Bottom_, Metrics)) : 0;
    layout.TopStep = Top_.Visible() ? Top_.TickStep(labelExtent(Top_, Metrics)) : 0;
    layout.LeftGrid = gridStep(Left_, layout.LeftStep);
    layout.BottomGrid = gridStep(Bottom_, layout.BottomStep);
    layout.TopGrid = gridStep(Top_, layout.TopStep);
    return layout;
}

double TPlotWidget::gridStep(const TPlotAxis& Axis, double LabelStep)
{
    constexpr double MinGridPixels = 4;
    const double span = Axis.Maximum() - Axis.Minimum();
    const double wanted = Axis.Increment();
    if (LabelStep <= 0 || wanted <= 0 || wanted >= LabelStep || !(span > 0))
        return LabelStep;
    const double pixels = wanted / span * (Axis.PixelEnd() - Axis.PixelStart());
    return pixels >= MinGridPixels ? wanted : LabelStep;
}

double TPlotWidget::GridStep(const TPlotAxis& Axis) const
{
    ensureLayout();
    return &Axis == &Left_ ? Layout_.LeftGrid : &Axis == &Top_ ? Layout_.TopGrid : Layout_.BottomGrid;
}

double TPlotWidget::LabelStep(const TPlotAxis& Axis) const
{
    ensureLayout();
    return &Axis == &Left_ ? Layout_.LeftStep : &Axis == &Top_ ? Layout_.TopStep : Layout_.BottomStep;
}

void TPlotWidget::updateAutomaticRanges()
{
    double minX = std::numeric_limits<double>::infinity();
    double maxX = -minX;
    double minY = minX;
    double maxY = -minX;
    for (const IChartSeries* series : Series_) {
        if (!series->Active() || series->Count() == 0)
            continue;
        minX = std::min(minX, series->MinXValue());
        maxX = std::max(maxX, series->MaxXValue());
        minY = std::min(minY, series->MinYValue());
        maxY = std::max(maxY, series->MaxYValue());
    }
    if (minX > maxX)
        return; // nothing to fit: the axes keep their ranges
    if (minX == maxX) {
        minX -= MinuteDays;
        maxX += MinuteDays;
    }
    if (minY == maxY) {
        minY -= 1;
        maxY += 1;
    }
    Bottom_.ApplyAutomaticRange(minX, maxX);
    Top_.ApplyAutomaticRange(minX, maxX);
    Left_.ApplyAutomaticRange(minY, maxY);
}

void TPlotWidget::axisChanged()
{
    // An axis turned automatic takes the series extremes at once; the guard
    // stops the change that this makes from coming round again.
    if (!InAxisChange_) {
        InAxisChange_ = true;
        updateAutomaticRanges();
        InAxisChange_ = false;
    }
    LayoutValid_ = false;
    requestRepaint();
}

void TPlotWidget::requestRepaint()
{
    if (RepaintPending_)
        return;
    RepaintPending_ = true;
    update();
}

void TPlotWidget::ZoomRect(const QRect& Rect)
{
    const QRect r = Rect.normalized().intersected(PlotRect());
    if (r.isEmpty())
        return;
    const double x0 = Bottom_.CalcPosPoint(r.left());
    const double x1 = Bottom_.CalcPosPoint(r.right());
    const double t0 = Top_.CalcPosPoint(r.left());
    const double t1 = Top_.CalcPosPoint(r.right());
    const double y0 = Left_.CalcPosPoint(r.bottom());
    const double y1 = Left_.CalcPosPoint(r.top());
    if (!Zoomed_) {
        // Undo goes back to what was there before the first zoom.
        const auto all = axes();
        for (std::size_t i = 0; i < all.size(); ++i)
            Saved_[i] = {all[i]->Minimum(), all[i]->Maximum(), all[i]->Automatic()};
    }
    Bottom_.SetMinMax(x0, x1);
    Top_.SetMinMax(t0, t1);
    Left_.SetMinMax(y0, y1);
    Zoomed_ = true;
    Q_EMIT Zoomed();
}

void TPlotWidget::UndoZoom()
{
    if (Zoomed_) {
        const auto all = axes();
        for (std::size_t i = 0; i < all.size(); ++i) {
            all[i]->SetMinMax(Saved_[i].Min, Saved_[i].Max);
            all[i]->SetAutomatic(Saved_[i].Automatic);
        }
        updateAutomaticRanges();
        Zoomed_ = false;
    }
    Q_EMIT ZoomUndone();
}

void TPlotWidget::ScrollBy(const QPoint& Delta)
{
    if (Delta.isNull())
        return;
    ensureLayout();
    auto shift = [](TPlotAxis& Axis, double Pixels) {
        const double perPixel = (Axis.Maximum() - Axis.Minimum()) / (Axis.PixelEnd() - Axis.PixelStart());
        const double by = Pixels * perPixel;
        Axis.SetMinMax(Axis.Minimum() + by, Axis.Maximum() + by);
    };
    // The curves follow the mouse: dragging right shows earlier times.
    shift(Bottom_, -Delta.x());
    shift(Top_, -Delta.x());
    shift(Left_, Delta.y());
    Q_EMIT Scrolled();
}

QPicture TPlotWidget::RenderToPicture(const QSize& Size)
{
    QPicture picture;
    {
        QPainter painter(&picture);
        Render(painter, Size);
    }
    picture.setBoundingRect(QRect(QPoint(0, 0), Size));
    return picture;
}

void TPlotWidget::Render(QPainter& Painter, const QSize& Size)
{
    Painter.save();
    Painter.setFont(font());
    Rendering_ = true;
    const TLayout layout = layoutFor(Size, Painter.fontMetrics());
    paintChart(Painter, Size, layout);
    Rendering_ = false;
    LayoutValid_ = false; // the axes hold the picture's spans now
    Painter.restore();
}

void TPlotWidget::paintEvent(QPaintEvent*)
{
    RepaintPending_ = false;
    ensureLayout();
    QPainter painter(this);
    paintChart(painter, size(), Layout_);
    if (DragButton_ == Qt::LeftButton && DragNow_ != DragStart_) {
        painter.setPen(QPen(palette().color(QPalette::WindowText), 0, Qt::DashLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRect(DragStart_, DragNow_).normalized());
    }
}

void TPlotWidget::resizeEvent(QResizeEvent* Event)
{
    LayoutValid_ = false;
    QWidget::resizeEvent(Event);
}

void TPlotWidget::showEvent(QShowEvent* Event)
{
    // Whatever was requested while hidden comes with the first paint.
    RepaintPending_ = false;
    QWidget::showEvent(Event);
}

void TPlotWidget::paintChart(QPainter& Painter, const QSize& Size, const TLayout& Layout)
{
    const QRect plot = Layout.Plot;
    Painter.fillRect(QRect(QPoint(0, 0), Size), BackColor_);
    Painter.fillRect(plot, BackWallColor_);

    auto grid = [&](const TPlotAxis& Axis, double Step) {
        if (!Axis.Visible() || !Axis.GridVisible())
            return;
        Painter.setPen(QPen(Axis.GridColor(), 0, Qt::DotLine));
        for (const double value : Axis.TickValues(Step)) {
            const int p = Axis.CalcPosValue(value);
            if (Axis.Horizontal() && p >= plot.left() && p <= plot.right())
                Painter.drawLine(p, plot.top(), p, plot.bottom());
            else if (!Axis.Horizontal() && p >= plot.top() && p <= plot.bottom())
                Painter.drawLine(plot.left(), p, plot.right(), p);
        }
    };
    grid(Left_, Layout.LeftGrid);
    grid(Bottom_, Layout.BottomGrid);
    grid(Top_, Layout.TopGrid);

    Painter.save();
    Painter.setClipRect(plot);
    for (const IChartSeries* series : Series_)
        if (series->Active() && series->Count() > 0)
            paintSeries(Painter, *series, plot);
    Painter.restore();

    Painter.setPen(QPen(QColor(0x40, 0x40, 0x40), 0));
    Painter.setBrush(Qt::NoBrush);
    Painter.drawRect(plot);
    paintAxis(Painter, Left_, Layout.LeftStep, plot);
    paintAxis(Painter, Bottom_, Layout.BottomStep, plot);
    paintAxis(Painter, Top_, Layout.TopStep, plot);

    if (!Layout.Title.isEmpty()) {
        Painter.setPen(palette().color(QPalette::WindowText));
        Painter.drawText(Layout.Title, Qt::AlignHCenter | Qt::AlignVCenter, Title_);
    }
    if (!Layout.Legend.isEmpty())
        paintLegend(Painter, Layout.Legend);

    if (AfterDraw_) {
        Painter.save();
        AfterDraw_(Painter);
        Painter.restore();
    }
}

void TPlotWidget::paintAxis(QPainter& Painter, const TPlotAxis& Axis, double Step, const QRect& Plot)
{
    if (!Axis.Visible())
        return;
    const QFontMetrics metrics = Painter.fontMetrics();
    const int lineHeight = metrics.height();
    Painter.setPen(palette().color(QPalette::WindowText));
    for (const double value : Axis.TickValues(Step)) {
        const int p = Axis.CalcPosValue(value);
        const QString text = labelText(Axis, value);
        const int width = metrics.horizontalAdvance(text);
        switch (Axis.Place()) {
        case TPlotAxis::TPlace::Left:
            if (p < Plot.top() || p > Plot.bottom())
                continue;
            Painter.drawLine(Plot.left() - TickLength, p, Plot.left() - 1, p);
            Painter.drawText(
                QRect(Plot.left() - TickLength - 3 - width, p - lineHeight / 2, width, lineHeight),
                Qt::AlignRight | Qt::AlignVCenter, text);
            break;
        case TPlotAxis::TPlace::Bottom:
            if (p < Plot.left() || p > Plot.right())
                continue;
            Painter.drawLine(p, Plot.bottom() + 1, p, Plot.bottom() + TickLength);
            Painter.drawText(QRect(p - width / 2, Plot.bottom() + TickLength + 2, width, lineHeight),
                             Qt::AlignCenter, text);
            break;
        case TPlotAxis::TPlace::Top:
            if (p < Plot.left() || p > Plot.right())
                continue;
            Painter.drawLine(p, Plot.top() - TickLength, p, Plot.top() - 1);
            Painter.drawText(
                QRect(p - width / 2, Plot.top() - TickLength - 2 - lineHeight, width, lineHeight),
                Qt::AlignCenter, text);
            break;
        }
    }
    if (Axis.Title().isEmpty())
        return;
    switch (Axis.Place()) {
    case TPlotAxis::TPlace::Left: {
        Painter.save();
        Painter.translate(Margin, Plot.center().y());
        Painter.rotate(-90);
        Painter.drawText(QRect(-Plot.height() / 2, 0, Plot.height(), lineHeight), Qt::AlignCenter,
                         Axis.Title());
        Painter.restore();
        break;
    }
    case TPlotAxis::TPlace::Bottom:
        Painter.drawText(
            QRect(Plot.left(), Plot.bottom() + TickLength + 2 + lineHeight, Plot.width(), lineHeight),
            Qt::AlignCenter, Axis.Title());
        break;
    case TPlotAxis::TPlace::Top:
        Painter.drawText(
            QRect(Plot.left(), Plot.top() - TickLength - 2 - 2 * lineHeight, Plot.width(), lineHeight),
            Qt::AlignCenter, Axis.Title());
        break;
    }
}

void TPlotWidget::paintLegend(QPainter& Painter, const QRect& Rect)
{
    const int lineHeight = Painter.fontMetrics().height();
    Painter.setPen(QPen(QColor(0x40, 0x40, 0x40), 0));
    Painter.setBrush(BackWallColor_);
    Painter.drawRect(Rect);
    int y = Rect.top() + 4;
    for (const IChartSeries* series : Series_) {
        if (!series->Active())
            continue;
        Painter.setPen(QPen(series->Color(), 2));
        Painter.drawLine(Rect.left() + 4, y + lineHeight / 2, Rect.left() + 20, y + lineHeight / 2);
        Painter.setPen(palette().color(QPalette::WindowText));
        Painter.drawText(QRect(Rect.left() + 24, y, Rect.width() - 26, lineHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, series->Title());
        y += lineHeight;
    }
}

void TPlotWidget::paintSeries(QPainter& Painter, const IChartSeries& Series, const QRect& Plot)
{
    const double xSpan = Bottom_.Maximum() - Bottom_.Minimum();
    const double ySpan = Left_.Maximum() - Left_.Minimum();
    if (!(xSpan > 0) || !(ySpan > 0))
        return;
    TPlotMapping map;
    map.XScale = (Bottom_.PixelEnd() - Bottom_.PixelStart()) / xSpan;
    map.XOffset = Bottom_.PixelStart() - Bottom_.Minimum() * map.XScale;
    map.YScale = -(Left_.PixelEnd() - Left_.PixelStart()) / ySpan;
    map.YOffset = Left_.PixelEnd() - Left_.Minimum() * map.YScale;
    map.Left = Plot.left();
    map.Right = Plot.right();
    // Aliased drawing puts a point on the pixel that holds it (floor). Shifted
    // by half a pixel, lines land on the nearest pixel like the grid lines,
    // and floor() gives the drawn columns and rows.
    map.XOffset += 0.5;
    map.YOffset += 0.5;
    DecimateSeries(Series.XValues(), Series.YValues(), Series.PointColors(), map, Runs_);

    // One polyline per stretch of one colour; the segment into a point takes
    // that point's colour.
    Polyline_.clear();
    QRgb color = Runs_.empty() ? 0 : Runs_.front().Color;
    auto flush = [&] {
        if (Polyline_.size() >= 2) {
            Painter.setPen(QPen(QColor::fromRgba(color), 0));
            Painter.drawPolyline(Polyline_.data(), static_cast<int>(Polyline_.size()));
        } else if (Polyline_.size() == 1) {
            Painter.setPen(QPen(QColor::fromRgba(color), 0));
            Painter.drawPoint(Polyline_.front());
        }
    };
    for (const TPlotRun& run : Runs_) {
        if (run.Color != color) {
            flush();
            const QPointF last = Polyline_.empty() ? QPointF() : Polyline_.back();
            const bool joined = !Polyline_.empty();
            Polyline_.clear();
            if (joined)
                Polyline_.push_back(last);
            color = run.Color;
        }
        Polyline_.emplace_back(run.XFirst, run.YFirst);
        if (run.End - run.Begin > 1) {
            Polyline_.emplace_back(run.Column + 0.5, run.YTop);
            Polyline_.emplace_back(run.Column + 0.5, run.YBottom);
            Polyline_.emplace_back(run.XLast, run.YLast);
        }
    }
    flush();

    if (Series.Pointer().Visible)
        paintMarkers(Painter, Series, map, Plot);
}

void TPlotWidget::paintMarkers(QPainter& Painter, const IChartSeries& Series, const TPlotMapping& Map,
                               const QRect& Plot)
{
    const TSeriesPointer pointer = Series.Pointer();
    const int w = std::max(1, pointer.Width);
    const int h = std::max(1, pointer.Height);
    const auto xs = Series.XValues();
    const auto ys = Series.YValues();
    // Rows are kept from h above the plot to h below it; others are hidden.
    const int rows = Plot.height() + 2 * h + 2;
    const int rowBase = Plot.top() - h - 1;
    Markers_.clear();
    for (const TPlotRun& run : Runs_) {
        if (run.Column < Plot.left() - w - 1 || run.Column > Plot.right() + w + 1)
            continue;
        if (run.End - run.Begin <= SingleMarkerLimit) {
            for (int i = run.Begin; i < run.End; ++i) {
                const double x = xs[std::size_t(i)];
                const double y = ys[std::size_t(i)];
                if (std::isnan(x) || std::isnan(y))
                    continue;
                const double py = std::floor(Map.YOffset + y * Map.YScale);
                if (py < rowBase || py >= rowBase + rows)
                    continue;
                const int px = int(std::floor(Map.XOffset + x * Map.XScale));
                Markers_.push_back({QRect(px - w, int(py) - h, 2 * w, 2 * h), run.Color});
            }
            continue;
        }
        // Many points in one column: the markers overlap, so mark their rows
        // and take each stretch of overlapping markers as one shape.
        MarkerRows_.assign(std::size_t(rows), 0);
        for (int i = run.Begin; i < run.End; ++i) {
            const double py = std::floor(Map.YOffset + ys[std::size_t(i)] * Map.YScale) - rowBase;
            if (py >= 0 && py < rows)
                MarkerRows_[std::size_t(py)] = 1;
        }
        int first = -1;
        int last = -1;
        auto span = [&] {
            if (first >= 0)
                Markers_.push_back(
                    {QRect(run.Column - w, rowBase + first - h, 2 * w, last - first + 2 * h), run.Color});
        };
        for (int row = 0; row < rows; ++row) {
            if (!MarkerRows_[std::size_t(row)])
                continue;
            if (first >= 0 && row - last > 2 * h) {
                span();
                first = -1;
            }
            if (first < 0)
                first = row;
            last = row;
        }
        span();
    }

    // Outlines first, then every inside: where markers crowd, their union
    // shows the point colours inside one outline instead of a black smear.
    const bool circle = pointer.Style == TPointerStyle::Circle;
    Painter.setPen(Qt::NoPen);
    Painter.setBrush(pointer.PenColor);
    for (const TMarker& m : Markers_) {
        const QRect outer(m.Rect.x(), m.Rect.y(), m.Rect.width() + 1, m.Rect.height() + 1);
        if (!circle)
            Painter.fillRect(outer, pointer.PenColor);
        else if (m.Rect.height() == 2 * h)
            Painter.drawEllipse(outer);
        else
            Painter.drawRoundedRect(outer, w, h);
    }
    for (const TMarker& m : Markers_) {
        const QRect inner(m.Rect.x() + 1, m.Rect.y() + 1, m.Rect.width() - 1, m.Rect.height() - 1);
        if (inner.isEmpty())
            continue;
        const QColor color = QColor::fromRgba(m.Color);
        if (!circle) {
            Painter.fillRect(inner, color);
            continue;
        }
        Painter.setBrush(color);
        if (m.Rect.height() == 2 * h)
            Painter.drawEllipse(inner);
        else
            Painter.drawRoundedRect(inner, w, h);
    }
}

void TPlotWidget::mousePressEvent(QMouseEvent* Event)
{
    const QPoint pos = Event->position().toPoint();
    const Qt::MouseButton button = Event->button();
    if (DragButton_ == Qt::NoButton && PlotRect().contains(pos) &&
        (button == Qt::LeftButton || button == Qt::RightButton)) {
        DragButton_ = button;
        DragStart_ = DragNow_ = pos;
    }
    Q_EMIT ChartMouseDown(button, pos);
}

void TPlotWidget::mouseMoveEvent(QMouseEvent* Event)
{
    const QPoint pos = Event->position().toPoint();
    if (DragButton_ == Qt::LeftButton) {
        DragNow_ = pos;
        update();
    } else if (DragButton_ == Qt::RightButton) {
        const QPoint delta = pos - DragNow_;
        DragNow_ = pos;
        ScrollBy(delta);
    }
    Q_EMIT ChartMouseMove(pos);
}

void TPlotWidget::mouseReleaseEvent(QMouseEvent* Event)
{
    const QPoint pos = Event->position().toPoint();
    const Qt::MouseButton button = Event->button();
    if (button == DragButton_) {
        DragButton_ = Qt::NoButton;
        if (button == Qt::LeftButton) {
            const int dx = pos.x() - DragStart_.x();
            const int dy = pos.y() - DragStart_.y();
            if (dx >= MinZoomPixels && std::abs(dy) >= MinZoomPixels)
                ZoomRect(QRect(QPoint(DragStart_.x(), std::min(DragStart_.y(), pos.y())),
                               QPoint(pos.x(), std::max(DragStart_.y(), pos.y()))));
            else if (dx <= -MinZoomPixels)
                UndoZoom();
            update();
        } else if (button == Qt::RightButton) {
            ScrollBy(pos - DragNow_);
        }
    }
    Q_EMIT ChartMouseUp(button, pos);
}
