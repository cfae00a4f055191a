#include "core/ChartSeries.h"

#include <algorithm>
#include <stdexcept>

TMemoryChartSeries::~TMemoryChartSeries()
{
    // A chart must never keep a pointer to a freed series.
    SetParentChart(nullptr);
}

void TMemoryChartSeries::SetTitle(const QString& Title)
{
    Title_ = Title;
    changed();
}

void TMemoryChartSeries::SetColor(const QColor& Color)
{
    Color_ = Color;
    changed();
}

void TMemoryChartSeries::SetActive(bool Active)
{
    if (Active_ == Active)
        return;
    Active_ = Active;
    changed();
}

void TMemoryChartSeries::SetPointer(const TSeriesPointer& Pointer)
{
    if (Pointer_ == Pointer)
        return;
    Pointer_ = Pointer;
    changed();
}

int TMemoryChartSeries::AddXY(double X, double Y, const QColor& Color)
{
    if (X_.empty()) {
        MinX_ = MaxX_ = X;
        MinY_ = MaxY_ = Y;
    } else {
        MinX_ = std::min(MinX_, X);
        MaxX_ = std::max(MaxX_, X);
        MinY_ = std::min(MinY_, Y);
        MaxY_ = std::max(MaxY_, Y);
    }
    X_.push_back(X);
    Y_.push_back(Y);
    Colors_.push_back(Color.rgba());
    changed();
    return Count() - 1;
}

std::size_t TMemoryChartSeries::checkedIndex(int Index) const
{
    if (Index < 0 || static_cast<std::size_t>(Index) >= X_.size())
        throw std::out_of_range("chart series point index out of range");
    return static_cast<std::size_t>(Index);
}

double TMemoryChartSeries::XValue(int Index) const
{
    return X_[checkedIndex(Index)];
}

double TMemoryChartSeries::YValue(int Index) const
{
    return Y_[checkedIndex(Index)];
}

QColor TMemoryChartSeries::PointColor(int Index) const
{
    return QColor::fromRgba(Colors_[checkedIndex(Index)]);
}

void TMemoryChartSeries::SetPointColor(int Index, const QColor& Color)
{
    Colors_[checkedIndex(Index)] = Color.rgba();
    changed();
}

void TMemoryChartSeries::Clear()
{
    X_.clear();
    Y_.clear();
    Colors_.clear();
    MinX_ = MaxX_ = MinY_ = MaxY_ = 0;
    changed();
}

void TMemoryChartSeries::SetParentChart(IParentChart* Chart)
{
    if (Parent_ == Chart)
        return;
    IParentChart* old = Parent_;
    Parent_ = nullptr;
    if (old)
        old->SeriesDetached(*this);
    Parent_ = Chart;
    if (Parent_)
        Parent_->SeriesAttached(*this);
}

void TMemoryChartSeries::changed()
{
    if (Parent_)
        Parent_->SeriesChanged(*this);
}
