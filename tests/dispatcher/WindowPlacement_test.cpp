#include "dispatcher/WindowPlacement.h"

#include <gtest/gtest.h>

namespace {

const QRect Primary(0, 0, 1920, 1040);
const QRect Right(1920, 0, 1280, 1024);

TEST(WindowPlacement, AFrameMeetingAScreenStaysAndOneOffEveryScreenGoesToThePrimary)
{
    // On the second monitor; one pixel in on the primary.
    for (const QRect& frame : {QRect(2500, 100, 800, 600), QRect(-799, -599, 800, 600)})
        EXPECT_EQ(VisibleWindowPosition(frame, {Primary, Right}, Primary), frame.topLeft());
    // The second monitor unplugged; the frame just past the edge.
    EXPECT_EQ(VisibleWindowPosition(QRect(2500, 100, 800, 600), {Primary}, Primary), QPoint(560, 220));
    EXPECT_EQ(VisibleWindowPosition(QRect(-800, 0, 800, 600), {Primary}, Primary), QPoint(560, 220));
    // Larger than the primary: its top-left corner on the screen.
    EXPECT_EQ(VisibleWindowPosition(QRect(5000, 5000, 2500, 1200), {Primary}, Primary), QPoint(0, 0));
    // The primary need not start at the origin.
    const QRect shifted(1280, 100, 1920, 1040);
    EXPECT_EQ(VisibleWindowPosition(QRect(0, 0, 800, 600), {shifted}, shifted), QPoint(1840, 320));
}

} // namespace
