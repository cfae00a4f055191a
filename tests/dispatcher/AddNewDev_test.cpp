#include "dispatcher/AddNewDev.h"
#include "support/QStringPrinter.h"

#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>

namespace {

class AddNewDevTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        owner.setGeometry(100, 80, 800, 500);
        owner.show();
    }

    // Opens the window as the add action does; Answer runs once it is on screen.
    std::optional<quint16> ask(const std::function<void()>& Answer)
    {
        QTimer::singleShot(0, &dialog, [this, Answer] {
            shownModal = dialog.isVisible() && dialog.isModal();
            Answer();
        });
        return dialog.AskSerialNum();
    }
    QSpinBox* spin() const { return dialog.SpinEditNewSN(); }
    void type(const char* Keys) { QTest::keyClicks(spin(), QString::fromLatin1(Keys)); }
    void press(Qt::Key Key) { QTest::keyClick(spin(), Key); }

    QWidget owner;
    TFormAddNewDevice dialog{&owner};
    bool shownModal = false;
};

} // namespace

TEST_F(AddNewDevTest, LayoutTextsAndLimits)
{
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Добавление нового устройства"));
    const auto* label = dialog.findChild<QLabel*>(QStringLiteral("Label1"));
    ASSERT_TRUE(label);
    EXPECT_EQ(label->text(), QStringLiteral("Введите серийный № устройства:"));
    const auto* button = dialog.findChild<QPushButton*>(QStringLiteral("Button1"));
    ASSERT_TRUE(button);
    EXPECT_EQ(button->text(), QStringLiteral("Принять"));
    EXPECT_TRUE(button->isDefault());
    ASSERT_EQ(spin()->objectName(), QStringLiteral("JvSpinEditNewSN"));
    EXPECT_EQ(spin()->minimum(), 1);
    EXPECT_EQ(spin()->maximum(), 65535);
    EXPECT_EQ(spin()->value(), 1);

    // A tool window with the close button only, not resizable.
    const Qt::WindowFlags flags = dialog.windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    // (Qt adds the system menu hint to a window with a close button itself.)
    EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowContextHelpButtonHint));
    dialog.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    // Every text fits: the label and the button get what they ask for.
    EXPECT_GE(label->width(), label->sizeHint().width());
    EXPECT_GE(button->width(), button->sizeHint().width());
    dialog.hide();
}

TEST_F(AddNewDevTest, EnterAcceptsTheTypedNumberWhichIsOfferedAgain)
{
    EXPECT_EQ(ask([this] {
                  // The old value is selected, so typing replaces it.
                  type("4321");
                  press(Qt::Key_Return);
              }),
              std::optional<quint16>(4321));
    EXPECT_TRUE(shownModal);
    EXPECT_FALSE(dialog.isVisible());

    EXPECT_EQ(ask([this] { press(Qt::Key_Enter); }), std::optional<quint16>(4321));

    // The field takes no more digits than the range allows.
    EXPECT_EQ(ask([this] {
                  type("70000");
                  press(Qt::Key_Return);
              }),
              std::optional<quint16>(7000));

    EXPECT_EQ(ask([this] {
                  type("65535");
                  QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("Button1")),
                                    Qt::LeftButton);
              }),
              std::optional<quint16>(65535));
}

TEST_F(AddNewDevTest, EscapeOrTheCloseButtonGivesNothing)
{
    EXPECT_EQ(ask([this] {
                  type("55");
                  press(Qt::Key_Escape);
              }),
              std::nullopt);
    EXPECT_FALSE(dialog.isVisible());
    // Esc reaches the window whichever control has the focus.
    EXPECT_EQ(ask([this] {
                  QTest::keyClick(dialog.findChild<QPushButton*>(QStringLiteral("Button1")), Qt::Key_Escape);
              }),
              std::nullopt);
    EXPECT_EQ(ask([this] { dialog.close(); }), std::nullopt);
}

TEST_F(AddNewDevTest, OpensCentredOnItsOwner)
{
    QRect shown;
    ask([this, &shown] {
        shown = dialog.frameGeometry();
        press(Qt::Key_Escape);
    });
    const QPoint offset = shown.center() - owner.frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 4) << offset.x() << "," << offset.y();
}
