#include "charts/ChartScales.h"

#include <cmath>

namespace ChartScales {

double Round(double Value)
{
    return std::nearbyint(Value);
}

double XStep(int Index)
{
    return XScaleSteps[Index] * OneSecond;
}

int FitXScaleIndex(double Span)
{
    int index = XScaleLast;
    while (6.001 * XStep(index) < Span && index > 0)
        --index;
    return index;
}

int FitYScaleIndex(double Span)
{
    int index = YScaleLast;
    while (10.001 * YScaleSteps[index] < Span && index > 0)
        --index;
    return index;
}

int YScaleIndexNotBelow(double Step)
{
    for (int i = YScaleLast; i >= 0; --i) {
        if (YScaleSteps[i] >= Step)
            return i;
    }
    return 0;
}

} // namespace ChartScales
