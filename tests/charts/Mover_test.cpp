#include "charts/Mover.h"

#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

// The preview page of a portrait page with the chart's image in its print area.
class MoverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        parent.resize(305, 263);
        control = new QWidget(&parent);
        place({76, 67, 229, 196});
        mover.SetControl(control);
        mover.SetBounds({57, 4, 248, 259});
        parent.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    }

    void place(const TPrintRect& R) { control->setGeometry(R.ToQRect()); }
    TPrintRect rect() const { return TPrintRect::FromQRect(control->geometry()); }
    void hover(QPoint P) { QTest::mouseMove(control, P); }

    QWidget parent;
    QWidget* control = nullptr;
    TMover mover;
};

} // namespace

TEST_F(MoverTest, DragMovesOnlyTheFocusRectUntilTheRelease)
{
    hover({50, 50});
    QTest::mousePress(control, Qt::LeftButton, Qt::NoModifier, {50, 50});
    EXPECT_EQ(mover.Mode(), TMover::TMode::Move);
    QTest::mouseMove(control, {60, 45});
    QTest::mouseMove(control, {50 - 5, 50 - 20});
    EXPECT_EQ(mover.FocusRect(), (TPrintRect{71, 47, 224, 176}));
    EXPECT_EQ(rect(), (TPrintRect{76, 67, 229, 196})) << "the control stays during the drag";
    QTest::mouseRelease(control, Qt::LeftButton, Qt::NoModifier, {45, 30});
    EXPECT_EQ(rect(), (TPrintRect{71, 47, 224, 176}));
    EXPECT_EQ(mover.Mode(), TMover::TMode::Idle);
    EXPECT_EQ(mover.FocusRect(), TPrintRect{}) << "the focus rectangle is gone";
}

TEST_F(MoverTest, DragPastTheBoundsStopsFlushAndCountsFromTheLastChange)
{
    QTest::mousePress(control, Qt::LeftButton, Qt::NoModifier, {10, 10});
    QTest::mouseMove(control, {110, 10}); // 100 to the right: stops at the right bound
    EXPECT_EQ(mover.NewRect(), (TPrintRect{95, 67, 248, 196}));
    QTest::mouseMove(control, {150, 10}); // further out: nothing changes, the reference stays at 110
    QTest::mouseMove(control, {115, 10}); // back, but not past 110 yet
    EXPECT_EQ(mover.NewRect(), (TPrintRect{95, 67, 248, 196}));
    QTest::mouseMove(control, {105, 10}); // 5 left of the last change
    EXPECT_EQ(mover.NewRect(), (TPrintRect{90, 67, 243, 196}));
    QTest::mouseMove(control, {105, -200}); // up past the top bound
    EXPECT_EQ(mover.NewRect(), (TPrintRect{90, 4, 243, 133}));
    QTest::mouseRelease(control, Qt::LeftButton, Qt::NoModifier, {105, -200});
    EXPECT_EQ(rect(), (TPrintRect{90, 4, 243, 133}));
}

TEST_F(MoverTest, RectangleLargerThanTheBoundsEndsFlushWithBottomAndRight)
{
    place({57, 4, 300, 300});
    QTest::mousePress(control, Qt::LeftButton, Qt::NoModifier, {10, 10});
    QTest::mouseMove(control, {9, 9});
    QTest::mouseRelease(control, Qt::LeftButton, Qt::NoModifier, {9, 9});
    EXPECT_EQ(rect(), (TPrintRect{5, -37, 248, 259}));
}

TEST_F(MoverTest, OtherButtonsAndModifiersStartNothing)
{
    const TPrintRect before = rect();
    for (const auto& [button, keys] : {std::pair{Qt::RightButton, Qt::KeyboardModifiers(Qt::NoModifier)},
                                       std::pair{Qt::LeftButton, Qt::KeyboardModifiers(Qt::ControlModifier)},
                                       std::pair{Qt::LeftButton, Qt::KeyboardModifiers(Qt::ShiftModifier)},
                                       std::pair{Qt::LeftButton, Qt::KeyboardModifiers(Qt::AltModifier)}}) {
        QTest::mousePress(control, button, keys, {50, 50});
        EXPECT_EQ(mover.Mode(), TMover::TMode::Idle);
        QTest::mouseMove(control, {90, 90});
        QTest::mouseRelease(control, button, keys, {90, 90});
        EXPECT_EQ(rect(), before);
    }
}

TEST_F(MoverTest, HoverCursorShowsTheEdgeThatResizes)
{
    control->setCursor(Qt::PointingHandCursor);
    hover({148, 50}); // 5 left of the right edge
    EXPECT_EQ(control->cursor().shape(), Qt::SizeHorCursor);
    hover({50, 126}); // 3 above the bottom edge
    EXPECT_EQ(control->cursor().shape(), Qt::SizeVerCursor);
    hover({150, 127}); // the corner resizes by width
    EXPECT_EQ(control->cursor().shape(), Qt::SizeHorCursor);
    hover({50, 50});
    EXPECT_EQ(control->cursor().shape(), Qt::PointingHandCursor);
    hover({144, 50}); // 9 from the edge: no resize
    EXPECT_EQ(control->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(MoverTest, ResizeByWidthKeepsTheAspectAndTheMinimum)
{
    hover({150, 50});
    QTest::mousePress(control, Qt::LeftButton, Qt::NoModifier, {150, 50});
    EXPECT_EQ(mover.Mode(), TMover::TMode::ResizeWidth);
    QTest::mouseMove(control, {170, 50}); // +20 stops at the right bound: 172 wide, Round(145.02) high
    EXPECT_EQ(mover.NewRect(), (TPrintRect{76, 67, 248, 212}));
    QTest::mouseMove(control, {10, 50}); // far left: exactly 18 wide
    EXPECT_EQ(mover.NewRect(), (TPrintRect{76, 67, 94, 82}));
    QTest::mouseRelease(control, Qt::LeftButton, Qt::NoModifier, {10, 50});
    EXPECT_EQ(rect(), (TPrintRect{76, 67, 94, 82}));
    EXPECT_EQ(control->cursor().shape(), Qt::SizeHorCursor)
        << "the hover cursor is not changed during a drag";
}

TEST_F(MoverTest, ShrinkingBelowTheMinimumHeightIsRefused)
{
    place({60, 100, 160, 150}); // aspect 2: 18 wide would be 9 high
    hover({97, 20});
    QTest::mousePress(control, Qt::LeftButton, Qt::NoModifier, {97, 20});
    QTest::mouseMove(control, {0, 20});
    EXPECT_EQ(mover.NewRect(), (TPrintRect{60, 100, 160, 150}));
    QTest::mouseRelease(control, Qt::LeftButton, Qt::NoModifier, {0, 20});
    EXPECT_EQ(rect(), (TPrintRect{60, 100, 160, 150}));
}

TEST_F(MoverTest, WideningStopsTheHeightAtTheBottomBound)
{
    place({60, 200, 160, 250}); // aspect 2, bottom bound 259
    hover({97, 20});
    QTest::mousePress(control, Qt::LeftButton, Qt::NoModifier, {97, 20});
    QTest::mouseMove(control, {197, 20});
    EXPECT_EQ(mover.NewRect(), (TPrintRect{60, 200, 178, 259})); // 59 high, Round(2 * 59) = 118 wide
    QTest::mouseRelease(control, Qt::LeftButton, Qt::NoModifier, {197, 20});
    EXPECT_EQ(rect(), (TPrintRect{60, 200, 178, 259}));
}

TEST_F(MoverTest, ResizeByHeightFromTheBottomEdge)
{
    place({60, 100, 160, 150}); // aspect 2
    hover({50, 47});
    QTest::mousePress(control, Qt::LeftButton, Qt::NoModifier, {50, 47});
    EXPECT_EQ(mover.Mode(), TMover::TMode::ResizeHeight);
    QTest::mouseMove(control, {50, 57}); // 10 lower: 60 high, 120 wide
    EXPECT_EQ(mover.NewRect(), (TPrintRect{60, 100, 180, 160}));
    QTest::mouseMove(control, {50, 0}); // far up: 14 high, 28 wide
    EXPECT_EQ(mover.NewRect(), (TPrintRect{60, 100, 88, 114}));
    QTest::mouseMove(control, {50, 500}); // far down: the right bound limits first
    EXPECT_EQ(mover.NewRect(), (TPrintRect{60, 100, 248, 194}));
    QTest::mouseRelease(control, Qt::LeftButton, Qt::NoModifier, {50, 500});
    EXPECT_EQ(rect(), (TPrintRect{60, 100, 248, 194}));
}

TEST_F(MoverTest, HidingTheWindowMidDragLeavesNoFocusRectangle)
{
    QTest::mousePress(control, Qt::LeftButton, Qt::NoModifier, {10, 10});
    QTest::mouseMove(control, {30, 30});
    parent.hide();
    EXPECT_EQ(mover.Mode(), TMover::TMode::Idle);
    EXPECT_EQ(rect(), (TPrintRect{76, 67, 229, 196}));
}
