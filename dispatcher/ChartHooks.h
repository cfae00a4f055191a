#pragma once

#include "dispatcher/DispatcherHooks.h"
#include "dispatcher/GraphicWindows.h"

// Polling hooks whose chart work (axis ranges, overflow marks) goes to the
// chart windows; Hooks answers the rest.
template <class Hooks = TDispatcherHooks> class TChartHooks : public Hooks
{
public:
    explicit TChartHooks(IGraphicWindows& Windows) : Windows_(Windows) {}

    bool GetChartAxisRange(const TGraphLine& Line, TChartAxis Axis, double& Min, double& Max) const override
    {
        return Windows_.GetChartAxisRange(Line, Axis, Min, Max);
    }
    void SetChartAxisRange(const TGraphLine& Line, TChartAxis Axis, double Min, double Max) override
    {
        Windows_.SetChartAxisRange(Line, Axis, Min, Max);
    }
    void MarkChartOverflow(const TGraphLine& Line, bool OverMin, bool OverMax) override
    {
        Windows_.MarkChartOverflow(Line, OverMin, OverMax);
    }

private:
    IGraphicWindows& Windows_;
};
