#pragma once

#include "dispatcher/DispatcherHooks.h"

#include <QString>

class IParentChart;
class TFormGraphic;
class TGraphLine;

// What the main window asks of the chart windows, which live in a library that
// builds on this one. The windows are made on demand, one per quantity and unit,
// and kept (hidden when closed) for the whole run.
class IGraphicWindows
{
public:
    virtual ~IGraphicWindows() = default;

    // The window of the pair (exact comparison), made hidden when there is none.
    virtual TFormGraphic* FindOrCreateGraphicForm(const QString& QuantityName,
                                                  const QString& MeasUnitName) = 0;
    // The chart of a window, the parent chart its lines are given.
    virtual IParentChart* GraphicChart(TFormGraphic* Form) = 0;
    // Every window in creation order: an open one is closed first (its settings
    // are written), then shown, then its lines get their default colours.
    virtual void ShowAllGraphicForms() = 0;
    // Every open window that lost lines (devices were deleted) is closed, shown
    // again and given the default line colours, so its line controls and colour
    // key match the lines it still has. Other windows are left as they are.
    virtual void ReshowOpenGraphicForms() = 0;
    // Every window that has been shown is closed (settings written), hidden ones
    // too; shutdown.
    virtual void CloseAllGraphicForms() = 0;

    // The axes of the chart that shows Line (false when none shows it) and the
    // overflow marks of Line's window.
    virtual bool GetChartAxisRange(const TGraphLine& Line, TChartAxis Axis, double& Min,
                                   double& Max) const = 0;
    virtual void SetChartAxisRange(const TGraphLine& Line, TChartAxis Axis, double Min, double Max) = 0;
    virtual void MarkChartOverflow(const TGraphLine& Line, bool OverMin, bool OverMax) = 0;
};
