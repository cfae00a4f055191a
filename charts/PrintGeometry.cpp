#include "charts/PrintGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace PrintGeometry {

int Round(double Value)
{
    return static_cast<int>(std::nearbyint(Value));
}

void EnsureMinPreviewSize(int& Width, int& Height)
{
    if (Width >= 100 && Height >= 75)
        return;
    // A chart squeezed to nothing counts as one pixel, so the factor stays finite.
    Width = std::max(Width, 1);
    Height = std::max(Height, 1);
    const double f = std::max(75.0 / Height, 100.0 / Width);
    Width = static_cast<int>(std::trunc(Width * f)) + 1;
    Height = static_cast<int>(std::trunc(Height * f)) + 1;
}

void ScaleByAspect(int& Width, int& Height, double Aspect)
{
    if (Width > Height)
        Height = Round(Width / Aspect);
    else
        Width = Round(Height * Aspect);
}

TPrintRect FitRectToAspect(int Width, int Height, double Aspect)
{
    TPrintRect r;
    const int h = Round(Width / Aspect);
    if (Height < h) {
        r.Top = 0;
        r.Bottom = Height;
        const int w = Round(Height * Aspect);
        r.Left = (Width - w) / 2;
        r.Right = r.Left + w;
    } else {
        r.Left = 0;
        r.Right = Width;
        r.Top = (Height - h) / 2;
        r.Bottom = r.Top + h;
    }
    return r;
}

int ScaledMargin(int Length, double Factor)
{
    return std::max(Round(Length * Factor), 1);
}

TPageLayout LayoutPage(const TPrintRect& Outer, const QSize& PageSize)
{
    const double aspect = static_cast<double>(PageSize.width()) / PageSize.height();
    TPageLayout layout;
    layout.Page =
        FitRectToAspect(Outer.Width() - 8, Outer.Height() - 8, aspect).Moved(Outer.Left + 4, Outer.Top + 4);
    const int mx = ScaledMargin(layout.Page.Width(), 0.1);
    const int my = ScaledMargin(layout.Page.Height(), 0.1);
    layout.PrintArea = {layout.Page.Left + mx, layout.Page.Top + my, layout.Page.Right - mx,
                        layout.Page.Bottom - my};
    return layout;
}

TPrintRect PlacePlotImage(const TPrintRect& PrintArea, bool FitToPage, int ChartWidth, int ChartHeight)
{
    if (FitToPage)
        return PrintArea;
    return FitRectToAspect(PrintArea.Width(), PrintArea.Height(),
                           static_cast<double>(ChartWidth) / ChartHeight)
        .Moved(PrintArea.Left, PrintArea.Top);
}

bool AspectChanged(int ChartWidth, int ChartHeight, int PreviousWidth, int PreviousHeight)
{
    // The product is a 32-bit integer, as the sizes were always kept.
    const auto product = static_cast<std::int32_t>(static_cast<std::int64_t>(ChartWidth) * PreviousHeight);
    const double q = (static_cast<double>(product) / ChartHeight) / PreviousWidth;
    return std::abs(q - 1) > 0.02;
}

TPrintRect PrintTarget(const QSize& PageSize, const TPrintRect& Shape, const TPrintRect& Image)
{
    const double pw = PageSize.width();
    const double ph = PageSize.height();
    const TPrintRect size{0, 0, Round(pw * (static_cast<double>(Image.Width()) / Shape.Width())),
                          Round(ph * (static_cast<double>(Image.Height()) / Shape.Height()))};
    return size.Moved(Round(pw * (static_cast<double>(Image.Left - Shape.Left) / Shape.Width())),
                      Round(ph * (static_cast<double>(Image.Top - Shape.Top) / Shape.Height())));
}

} // namespace PrintGeometry
