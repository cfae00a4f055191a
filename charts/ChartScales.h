#pragma once

#include <array>

// The grid steps of the chart windows: the time axis shows 6 steps, the value
// axis 10, each step taken from a fixed table so grid lines fall on round values.
namespace ChartScales {

// Time-axis steps in seconds, coarse to fine.
inline constexpr std::array<double, 25> XScaleSteps = {
    63115200, 31557600, 15778800, 7889400, 5259600, 2592000, 864000, 432000, 172800,
    86400,    43200,    21600,    10800,   7200,    3600,    1800,   1200,   600,
    300,      120,      60,       30,      20,      10,      1};
// Value-axis steps, coarse to fine.
inline constexpr std::array<double, 24> YScaleSteps = {100000, 50000, 20000, 10000, 5000, 2000, 1000,  500,
                                                       200,    100,   50,    20,    10,   5,    2,     1,
                                                       0.5,    0.2,   0.1,   0.05,  0.02, 0.01, 0.005, 0.002};
inline constexpr int XScaleLast = 24;
inline constexpr int YScaleLast = 23;
inline constexpr double OneSecond = 1.0 / 86400;

// Halves to the even neighbour, as the chart geometry rounds.
double Round(double Value);
// The time step of an index in days.
double XStep(int Index);
// The finest index of which Count steps cover Span; 0 when none does.
int FitXScaleIndex(double Span);
int FitYScaleIndex(double Span);
// The finest value step not smaller than Step (0 when even the first is smaller).
int YScaleIndexNotBelow(double Step);

} // namespace ChartScales
