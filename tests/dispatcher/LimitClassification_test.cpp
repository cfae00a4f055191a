#include "core/Device.h"
#include "dispatcher/DeviceReader.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

int classify(float Low, float High, float Value)
{
    TMeasureChannel ch(1, QStringLiteral("К1"));
    ch.Enabled = true;
    ch.MinAlert = Low;
    ch.MaxAlert = High;
    ch.Value = Value;
    TDeviceReader::ClassifyChannelValue(ch);
    return ch.LimitState;
}

} // namespace

// A tenth of the range of 0..7 is 0.7, which no single holds: 0.7f lies just
// below it and 6.3f just above 7 - 0.7. The value is compared widened with the
// boundary, not with the boundary rounded to a single (which equals the value
// and would put both outside the near-limit bands).
TEST(ClassifyChannelValue, BoundaryThatNoSingleHoldsIsComparedWidened)
{
    EXPECT_EQ(classify(0, 7, 0.7f), 1);
    EXPECT_EQ(classify(0, 7, std::nextafter(0.7f, 1.f)), 0);
    EXPECT_EQ(classify(0, 7, 6.3f), 2);
    EXPECT_EQ(classify(0, 7, std::nextafter(6.3f, 0.f)), 0);
}

TEST(ClassifyChannelValue, NeighboursOfExactBoundaries)
{
    // Limits 0 and 100: the bands end exactly at 10 and 90.
    EXPECT_EQ(classify(0, 100, std::nextafter(10.f, 0.f)), 1);
    EXPECT_EQ(classify(0, 100, std::nextafter(90.f, 100.f)), 2);
    EXPECT_EQ(classify(0, 100, std::nextafter(0.f, -1.f)), 3);
    EXPECT_EQ(classify(0, 100, std::nextafter(100.f, 200.f)), 4);
    // Negative limits: the same tenth on both sides.
    EXPECT_EQ(classify(-50, 50, -40.f), 0);
    EXPECT_EQ(classify(-50, 50, std::nextafter(-40.f, -50.f)), 1);
    EXPECT_EQ(classify(-50, 50, 40.f), 0);
    EXPECT_EQ(classify(-50, 50, std::nextafter(40.f, 50.f)), 2);
    // Equal limits: no band; the limit itself is inside.
    EXPECT_EQ(classify(5, 5, 5.f), 0);
}
