#include "dispatcher/AddNewDev.h"
#include "dispatcher/IntSpinEdit.h"
#include "support/QStringPrinter.h"
#include "support/ScriptedPrompts.h"

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
        Prompts::SetCurrent(&prompts);
        owner.setGeometry(100, 80, 800, 500);
        owner.show();
    }
    void TearDown() override { Prompts::SetCurrent(nullptr); }

    // Opens the window as the add action does; Answer runs once it is on screen.
    std::optional<quint16> ask(const std::function<void()>& Answer)
    {
        QTimer::singleShot(0, &dialog, [this, Answer] {
            shownModal = dialog.isVisible() && dialog.isModal();
            Answer();
        });
        return dialog.AskSerialNum();
    }
    TIntSpinEdit* spin() const { return dialog.SpinEditNewSN(); }
    void type(const char* Keys) { QTest::keyClicks(spin(), QString::fromLatin1(Keys)); }
    void press(Qt::Key Key) { QTest::keyClick(spin(), Key); }

    ScriptedPrompts prompts;
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
    EXPECT_EQ(spin()->Lowest(), 1);
    EXPECT_EQ(spin()->Highest(), 65535);
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

    // A number out of range is refused as typed and the window stays open; the
    // next one typed over it counts.
    QStringList stillOpen;
    EXPECT_EQ(ask([this, &stillOpen] {
                  for (const char* keys : {"0", "65536", "-3"}) {
                      type(keys);
                      press(Qt::Key_Return);
                      if (dialog.isVisible())
                          stillOpen << QString::fromLatin1(keys);
                  }
                  type("70000");
                  QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("Button1")),
                                    Qt::LeftButton);
                  type("12");
                  press(Qt::Key_Return);
              }),
              std::optional<quint16>(12));
    EXPECT_EQ(stillOpen, (QStringList{QStringLiteral("0"), QStringLiteral("65536"), QStringLiteral("-3")}));
    const QString refusal = QStringLiteral("Внимание|Недопустимое значение \"%1\" в поле \"Серийный № "
                                           "устройства\": введите целое число от 1 до 65535!");
    EXPECT_EQ(prompts.Messages,
              (QStringList{refusal.arg(QStringLiteral("0")), refusal.arg(QStringLiteral("65536")),
                           refusal.arg(QStringLiteral("-3")), refusal.arg(QStringLiteral("70000"))}));

    // The arrows keep within the range.
    EXPECT_EQ(ask([this] {
                  type("65535");
                  press(Qt::Key_Up);
                  press(Qt::Key_Return);
              }),
              std::optional<quint16>(65535));

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

TEST_F(AddNewDevTest, AnEmptiedOrHalfTypedFieldIsRefusedNotReplacedByTheLastNumber)
{
    EXPECT_EQ(ask([this] {
                  type("4321");
                  press(Qt::Key_Return);
              }),
              std::optional<quint16>(4321));
    QStringList stillOpen;
    const auto noteAndSelect = [this, &stillOpen] {
        if (dialog.isVisible())
            stillOpen << spin()->text();
        spin()->setFocus();
        spin()->selectAll();
    };
    EXPECT_EQ(ask([&] {
                  // Emptied, then Enter; emptied, then the button (the focus leaves
                  // the field first); a lone minus sign, then Enter.
                  press(Qt::Key_Backspace);
                  press(Qt::Key_Return);
                  noteAndSelect();
                  press(Qt::Key_Backspace);
                  QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("Button1")),
                                    Qt::LeftButton);
                  noteAndSelect();
                  type("-");
                  press(Qt::Key_Return);
                  noteAndSelect();
                  type("7");
                  press(Qt::Key_Return);
              }),
              std::optional<quint16>(7));
    EXPECT_EQ(stillOpen, (QStringList{QString(), QString(), QStringLiteral("-")}));
    const QString refusal = QStringLiteral("Внимание|Недопустимое значение \"%1\" в поле \"Серийный № "
                                           "устройства\": введите целое число от 1 до 65535!");
    EXPECT_EQ(prompts.Messages, (QStringList{refusal.arg(QString()), refusal.arg(QString()),
                                             refusal.arg(QStringLiteral("-"))}));

    // Shown again, the field offers the last number accepted, not a text refused.
    EXPECT_EQ(ask([this] { press(Qt::Key_Return); }), std::optional<quint16>(7));
}
