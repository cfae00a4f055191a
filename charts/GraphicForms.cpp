#include "charts/GraphicForms.h"

#include "charts/Graphic.h"
#include "charts/PlotWidget.h"
#include "core/Device.h"

TGraphicForms::TGraphicForms(QWidget* Owner) : Owner_(Owner) {}

TFormGraphic* TGraphicForms::FindOrCreateGraphicForm(const QString& QuantityName, const QString& MeasUnitName)
{
    for (const QPointer<TFormGraphic>& form : GraphicForms_) {
        if (form && form->QuantityName == QuantityName && form->MeasUnitName == MeasUnitName)
            return form;
    }
    // Parented to the owner, which frees it; kept (hidden when closed) for the run.
    auto* form = new TFormGraphic(Owner_);
    GraphicForms_.emplace_back(form);
    form->QuantityName = QuantityName;
    form->MeasUnitName = MeasUnitName;
    form->setWindowTitle(QStringLiteral("График \"") + QuantityName + QLatin1Char('"'));
    form->Chart().LeftAxis().SetTitle(QuantityName + QStringLiteral(", ") + MeasUnitName);
    form->Chart().BottomAxis().SetTitle(QStringLiteral("Время"));
    return form;
}

IParentChart* TGraphicForms::GraphicChart(TFormGraphic* Form)
{
    return Form ? &Form->Chart() : nullptr;
}

void TGraphicForms::ShowAllGraphicForms()
{
    for (const QPointer<TFormGraphic>& form : GraphicForms_) {
        if (!form)
            continue;
        // Closing first writes the settings that the show reads back.
        if (form->isVisible())
            form->close();
        form->show();
        form->SetDefaultLineColors();
    }
}

void TGraphicForms::ReshowOpenGraphicForms()
{
    for (const QPointer<TFormGraphic>& form : GraphicForms_) {
        if (form && form->isVisible() && form->LineCount() != form->Chart().SeriesCount()) {
            form->close();
            form->show();
            form->SetDefaultLineColors();
        }
    }
}

void TGraphicForms::CloseAllGraphicForms()
{
    // Hidden windows too: tracking moves their axes, and the section must hold
    // the state they end with. A window never shown read no section, so writing
    // one would replace the stored settings with defaults.
    for (const QPointer<TFormGraphic>& form : GraphicForms_) {
        if (form && form->isVisible())
            form->close();
        else if (form && form->EverShown())
            form->FormClose();
    }
}

TFormGraphic* TGraphicForms::formOfChart(const IParentChart* Chart) const
{
    if (!Chart)
        return nullptr;
    for (const QPointer<TFormGraphic>& form : GraphicForms_) {
        if (form && static_cast<const IParentChart*>(&form->Chart()) == Chart)
            return form;
    }
    return nullptr;
}

bool TGraphicForms::GetChartAxisRange(const TGraphLine& Line, TChartAxis Axis, double& Min, double& Max) const
{
    const TFormGraphic* form = formOfChart(Line.Series->ParentChart());
    if (!form)
        return false;
    const TPlotAxis& axis =
        Axis == TChartAxis::Bottom ? form->Chart().BottomAxis() : form->Chart().LeftAxis();
    Min = axis.Minimum();
    Max = axis.Maximum();
    return true;
}

void TGraphicForms::SetChartAxisRange(const TGraphLine& Line, TChartAxis Axis, double Min, double Max)
{
    TFormGraphic* form = formOfChart(Line.Series->ParentChart());
    if (!form)
        return;
    TPlotAxis& axis = Axis == TChartAxis::Bottom ? form->Chart().BottomAxis() : form->Chart().LeftAxis();
    axis.SetMinMax(Min, Max);
}

void TGraphicForms::MarkChartOverflow(const TGraphLine& Line, bool OverMin, bool OverMax)
{
    for (const QPointer<TFormGraphic>& form : GraphicForms_) {
        if (form && form == Line.GraphForm) {
            form->MarkOverflow(OverMin, OverMax);
            return;
        }
    }
}
