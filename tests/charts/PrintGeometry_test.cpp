#include "charts/PrintGeometry.h"

#include <gtest/gtest.h>

using namespace PrintGeometry;

namespace {
const TPrintRect Outer{0, 0, 305, 263}; // the preview area as the form has it
}

TEST(PrintGeometry, SmallChartsAreEnlargedForThePreview)
{
    int w = 50, h = 50;
    EnsureMinPreviewSize(w, h);
    EXPECT_EQ(w, 101);
    EXPECT_EQ(h, 101);
    w = 80, h = 100;
    EnsureMinPreviewSize(w, h);
    EXPECT_EQ(w, 101);
    EXPECT_EQ(h, 126);
    w = 100, h = 75;
    EnsureMinPreviewSize(w, h);
    EXPECT_EQ(w, 100);
    EXPECT_EQ(h, 75);
    // A chart squeezed to nothing still gives a finite size.
    w = 0, h = 0;
    EnsureMinPreviewSize(w, h);
    EXPECT_GE(w, 100);
    EXPECT_GE(h, 75);
}

TEST(PrintGeometry, PortraitPageAndNormalImageOfTheWorkedExample)
{
    const TPageLayout layout = LayoutPage(Outer, QSize(3000, 4000));
    EXPECT_EQ(layout.Page, (TPrintRect{57, 4, 248, 259}));
    EXPECT_EQ(layout.PrintArea, (TPrintRect{76, 30, 229, 233}));
    EXPECT_EQ(PlacePlotImage(layout.PrintArea, false, 529, 445), (TPrintRect{76, 67, 229, 196}));
    // The Qt rectangle covers the same pixels: right() is the last one inside.
    const QRect q = layout.Page.ToQRect();
    EXPECT_EQ(q.left(), 57);
    EXPECT_EQ(q.right(), 247);
    EXPECT_EQ(q.width(), 191);
    EXPECT_EQ(TPrintRect::FromQRect(q), layout.Page);
}

TEST(PrintGeometry, LandscapePageFillsTheWidth)
{
    const TPageLayout layout = LayoutPage(Outer, QSize(4000, 3000));
    // 297 wide gives Round(222.75) = 223 high, centred in 255 at (255 - 223) div 2 = 16.
    EXPECT_EQ(layout.Page, (TPrintRect{4, 20, 301, 243}));
    EXPECT_EQ(layout.PrintArea, (TPrintRect{34, 42, 271, 221}));
}

TEST(PrintGeometry, FitModeTakesThePrintAreaAndItsAspect)
{
    const TPrintRect area{76, 30, 229, 233};
    EXPECT_EQ(PlacePlotImage(area, true, 600, 400), area);
    int w = 600, h = 400;
    ScaleByAspect(w, h, 153.0 / 203.0);
    EXPECT_EQ(w, 600);
    EXPECT_EQ(h, 796);
    // A tall chart keeps its height.
    w = 300, h = 500;
    ScaleByAspect(w, h, 2.0);
    EXPECT_EQ(w, 1000);
    EXPECT_EQ(h, 500);
}

TEST(PrintGeometry, RoundingIsHalfToEven)
{
    EXPECT_EQ(Round(2.5), 2);
    EXPECT_EQ(Round(3.5), 4);
    EXPECT_EQ(Round(-2.5), -2);
    // Margin of a tenth of 25 pixels is Round(2.5) = 2, never below 1.
    EXPECT_EQ(ScaledMargin(25, 0.1), 2);
    EXPECT_EQ(ScaledMargin(4, 0.1), 1);
}

TEST(PrintGeometry, TwoPercentRuleForANewChartShape)
{
    EXPECT_FALSE(AspectChanged(609, 400, 600, 400)); // 1.5 %
    EXPECT_TRUE(AspectChanged(618, 400, 600, 400));  // 3 %
    EXPECT_TRUE(AspectChanged(600, 412, 600, 400));
    EXPECT_FALSE(AspectChanged(1200, 800, 600, 400)); // same shape, other size
}

TEST(PrintGeometry, PrintTargetKeepsThePlaceOnThePage)
{
    const QSize page(3000, 4000);
    const TPrintRect shape{57, 4, 248, 259};
    // 3000 * 153 / 191 = 2403.1, 4000 * 129 / 255 = 2023.5, offsets 298.4 and 988.2.
    EXPECT_EQ(PrintTarget(page, shape, {76, 67, 229, 196}), (TPrintRect{298, 988, 2701, 3012}));
    // The whole preview page is the whole printer page.
    EXPECT_EQ(PrintTarget(page, shape, shape), (TPrintRect{0, 0, 3000, 4000}));
    // An image dragged into the margin prints in the margin.
    EXPECT_EQ(PrintTarget(page, shape, {57, 4, 76, 30}).Left, 0);
    EXPECT_EQ(PrintTarget(page, shape, {57, 4, 76, 30}).Top, 0);
}
