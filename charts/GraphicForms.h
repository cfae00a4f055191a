#pragma once

#include "dispatcher/GraphicWindows.h"

#include <QPointer>
#include <vector>

class QWidget;
class TFormGraphic;

// The chart windows of the run, in creation order. The windows are children of
// the owner (the main window), which frees them at the end of the run.
class TGraphicForms : public IGraphicWindows
{
public:
    explicit TGraphicForms(QWidget* Owner);

    TFormGraphic* FindOrCreateGraphicForm(const QString& QuantityName, const QString& MeasUnitName) override;
    IParentChart* GraphicChart(TFormGraphic* Form) override;
    void ShowAllGraphicForms() override;
    void ReshowOpenGraphicForms() override;
    void CloseAllGraphicForms() override;

    bool GetChartAxisRange(const TGraphLine& Line, TChartAxis Axis, double& Min, double& Max) const override;
    void SetChartAxisRange(const TGraphLine& Line, TChartAxis Axis, double Min, double Max) override;
    void MarkChartOverflow(const TGraphLine& Line, bool OverMin, bool OverMax) override;

    const std::vector<QPointer<TFormGraphic>>& GraphicForms() const { return GraphicForms_; }

private:
    TFormGraphic* formOfChart(const IParentChart* Chart) const;

    QWidget* Owner_;
    std::vector<QPointer<TFormGraphic>> GraphicForms_;
};
