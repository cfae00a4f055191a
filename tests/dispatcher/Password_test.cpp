#include "dispatcher/DispatcherState.h"
#include "dispatcher/Password.h"
#include "support/QStringPrinter.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QString Code = QStringLiteral("2719460853");

class PasswordDialog : public ::testing::Test
{
protected:
    void SetUp() override { SuperuserMode = false; }
    void TearDown() override { SuperuserMode = false; }

    // Shows the dialog window-modal without blocking, as the operator would see it.
    void open()
    {
        Form.open();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Form));
    }
    void type(const QString& Text)
    {
        Edit->selectAll();
        QTest::keyClicks(Edit, Text);
    }

    TFormPassword Form;
    QGroupBox* Group = Form.findChild<QGroupBox*>(QStringLiteral("GroupBoxPassword"));
    QLabel* Prompt = Form.findChild<QLabel*>(QStringLiteral("LabelPrompt"));
    QLabel* Warning = Form.findChild<QLabel*>(QStringLiteral("LabelWarning"));
    QLineEdit* Edit = Form.findChild<QLineEdit*>(QStringLiteral("JvEditPasswd"));
    QPushButton* Ok = Form.findChild<QPushButton*>(QStringLiteral("ButtonApplyPasswd"));
    QPushButton* Cancel = Form.findChild<QPushButton*>(QStringLiteral("ButtonCancel"));
    QCheckBox* Remember = Form.findChild<QCheckBox*>(QStringLiteral("CheckBoxRememberPasswd"));
};

} // namespace

TEST_F(PasswordDialog, StartsWithItsTextsAndTheWarningHidden)
{
    ASSERT_TRUE(Group && Prompt && Warning && Edit && Ok && Cancel && Remember);
    EXPECT_EQ(Form.windowTitle(), QStringLiteral("Вход в сервисный режим"));
    EXPECT_EQ(Prompt->text(), QStringLiteral("Введите пароль для входа в сервисный режим:"));
    EXPECT_EQ(Warning->text(), QStringLiteral("Неверный пароль!"));
    EXPECT_EQ(Warning->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(Ok->text(), QStringLiteral("Ok"));
    EXPECT_TRUE(Ok->isDefault());
    EXPECT_EQ(Cancel->text(), QStringLiteral("Отмена"));
    EXPECT_EQ(Remember->text(), QStringLiteral("Запомнить на текущий сеанс"));
    for (QWidget* w : {static_cast<QWidget*>(Prompt), static_cast<QWidget*>(Warning),
                       static_cast<QWidget*>(Edit), static_cast<QWidget*>(Remember)})
        EXPECT_EQ(w->parentWidget(), Group) << w->objectName().toStdString();

    // No border icons on a tool window.
    const Qt::WindowFlags flags = Form.windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_FALSE(flags & (Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowSystemMenuHint));

    open();
    EXPECT_FALSE(Warning->isVisible());
    EXPECT_TRUE(Edit->text().isEmpty());
    EXPECT_TRUE(Remember->isChecked());
    EXPECT_FALSE(Remember->isVisible());
    EXPECT_EQ(Edit->echoMode(), QLineEdit::Password);
    type(QStringLiteral("12a"));
    EXPECT_EQ(Edit->displayText(), QStringLiteral("***"));
}

TEST_F(PasswordDialog, WrongCodesShowTheWarningAndKeepTheDialogOpen)
{
    open();
    const QSize size = Form.size();
    // Nothing is trimmed or folded: a blank before or after, or one digit off, is wrong.
    for (const QString& wrong : {QStringLiteral("2719460854"), Code + QLatin1Char(' '),
                                 QLatin1Char(' ') + Code, Code.left(9), QString()}) {
        type(wrong);
        Edit->setText(wrong); // keyClicks cannot type an empty text over a selection
        QTest::mouseClick(Ok, Qt::LeftButton);
        EXPECT_TRUE(Warning->isVisible()) << wrong.toStdString();
        EXPECT_TRUE(Form.isVisible()) << wrong.toStdString();
        EXPECT_FALSE(SuperuserMode) << wrong.toStdString();
    }
    EXPECT_EQ(Form.size(), size) << "the warning must not move the layout";

    type(Code);
    QTest::mouseClick(Ok, Qt::LeftButton);
    EXPECT_TRUE(SuperuserMode);
    EXPECT_FALSE(Form.isVisible());
    EXPECT_EQ(Form.result(), QDialog::Accepted);
    EXPECT_FALSE(Warning->isVisible());
    EXPECT_TRUE(Warning->isHidden());
}

TEST_F(PasswordDialog, CancelAndEscLeaveServiceModeAsItWas)
{
    for (const bool before : {false, true}) {
        SuperuserMode = before;

        open();
        type(QStringLiteral("1"));
        QTest::mouseClick(Ok, Qt::LeftButton);
        ASSERT_TRUE(Warning->isVisible());
        QTest::mouseClick(Cancel, Qt::LeftButton);
        EXPECT_FALSE(Form.isVisible());
        EXPECT_EQ(Form.result(), QDialog::Rejected);
        EXPECT_TRUE(Warning->isHidden()) << "closing hides the warning";
        EXPECT_EQ(SuperuserMode, before);

        open();
        EXPECT_FALSE(Warning->isVisible());
        // The right code typed but not applied: Esc still leaves the mode alone.
        type(Code);
        QTest::keyClick(Edit, Qt::Key_Escape);
        EXPECT_FALSE(Form.isVisible());
        EXPECT_EQ(Form.result(), QDialog::Rejected);
        EXPECT_EQ(SuperuserMode, before);
    }
}

TEST_F(PasswordDialog, TypedTextStaysMaskedAndSelectedForTheNextOpening)
{
    open();
    QTest::keyClicks(Edit, QStringLiteral("27194"));
    QTest::mouseClick(Cancel, Qt::LeftButton);

    open();
    EXPECT_EQ(Edit->text(), QStringLiteral("27194"));
    EXPECT_EQ(Edit->displayText(), QStringLiteral("*****"));
    EXPECT_EQ(Edit->selectedText(), QStringLiteral("27194")) << "typing replaces the old text";

    // Enter applies through the default button.
    QTest::keyClicks(Edit, Code);
    QTest::keyClick(Edit, Qt::Key_Return);
    EXPECT_TRUE(SuperuserMode);
    EXPECT_FALSE(Form.isVisible());
    EXPECT_EQ(Edit->text(), Code);
}

TEST(ServiceCode, MatchesOnlyTheWholeCodeAsTyped)
{
    EXPECT_TRUE(IsServiceCode(QStringLiteral("2719460853")));
    EXPECT_FALSE(IsServiceCode(QStringLiteral("2719460853 ")));
    EXPECT_FALSE(IsServiceCode(QStringLiteral("02719460853")));
    EXPECT_FALSE(IsServiceCode(QString()));
    // Full-width digits look alike but are other characters.
    EXPECT_FALSE(IsServiceCode(QStringLiteral("２７１９４６０８５３")));
}
