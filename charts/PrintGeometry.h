#pragma once

#include "charts/PrintRect.h"

#include <QSize>

// The page preview's arithmetic: plain functions so the dialog only converts
// their results into widget geometry. Round is to the nearest integer with
// halves to even; truncation is toward zero.
namespace PrintGeometry {

int Round(double Value);

// Small charts are enlarged to at least 100 x 75 keeping roughly their shape.
void EnsureMinPreviewSize(int& Width, int& Height);
// The longer side stays; the other follows Aspect (width / height).
void ScaleByAspect(int& Width, int& Height, double Aspect);
// The largest rectangle of Aspect centred in a Width x Height area at (0, 0).
TPrintRect FitRectToAspect(int Width, int Height, double Aspect);
int ScaledMargin(int Length, double Factor);

struct TPageLayout
{
    TPrintRect Page;      // the printer page in the preview area's parent coordinates
    TPrintRect PrintArea; // the page less a tenth on each side
};
// Outer is the preview area's rectangle; PageSize the printer page in device pixels.
TPageLayout LayoutPage(const TPrintRect& Outer, const QSize& PageSize);
// The chart's image on the page: the whole print area when fitting, else the
// chart's aspect as large as fits, centred.
TPrintRect PlacePlotImage(const TPrintRect& PrintArea, bool FitToPage, int ChartWidth, int ChartHeight);
// Whether a chart of a new size needs a new layout after a previous print
// (shapes differing by more than 2 %).
bool AspectChanged(int ChartWidth, int ChartHeight, int PreviousWidth, int PreviousHeight);
// Where the image's place on the preview page lands on the printer page.
TPrintRect PrintTarget(const QSize& PageSize, const TPrintRect& Shape, const TPrintRect& Image);

} // namespace PrintGeometry
