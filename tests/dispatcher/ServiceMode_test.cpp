#include "dispatcher/About.h"
#include "dispatcher/DeviceDispatcher.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/Password.h"
#include "platform/Prompts.h"
#include "support/NoModemPorts.h"
#include "support/QStringPrinter.h"
#include "support/ScriptedPrompts.h"
#include "support/SharedState.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {

// The main window with its password dialog and about box, as the run makes them.
class ServiceModeAction : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QDir().mkpath(dir.filePath(QStringLiteral("arch")));
        PublishNoModemPorts(dir.path());
        Prompts::SetCurrent(&prompts);
        const QString ini = dir.filePath(QStringLiteral("klov.ini"));
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write((QStringLiteral("[Archive]\nArchivePath=") + dir.filePath(QStringLiteral("arch")) + "\n")
                    .toUtf8());
        f.close();

        window = std::make_unique<TFormDeviceDispatcher>(
            QStringList{QStringLiteral("/opt/klov/klov"), QStringLiteral("-ini=") + ini});
        password = new TFormPassword(window.get());
        FormPassword = password;
        about = new TFormAbout(window.get());
        FormAbout = about;
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void TearDown() override
    {
        window.reset();
        FormPassword = nullptr;
        FormAbout = nullptr;
        Prompts::SetCurrent(nullptr);
        qunsetenv("KLOV_PORTS_DIR");
        ResetDispatcherState();
    }

    QAction* action(const char* Name) const { return window->findChild<QAction*>(QString::fromLatin1(Name)); }

    // Triggers Action and lets Operator work the modal dialog it opens. A dialog
    // the operator leaves open is closed so the test cannot hang.
    void triggerModal(QAction* Action, const std::function<void(QWidget*)>& Operator)
    {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            QWidget* const modal = QApplication::activeModalWidget();
            ran = true;
            Operator(modal);
            if (modal && modal->isVisible()) {
                ADD_FAILURE() << "the dialog was left open";
                modal->close();
            }
        });
        Action->trigger();
        EXPECT_TRUE(ran) << "no dialog was shown modally";
    }

    void typeAndApply(const QString& Text)
    {
        auto* edit = password->findChild<QLineEdit*>(QStringLiteral("JvEditPasswd"));
        edit->selectAll();
        QTest::keyClicks(edit, Text);
        QTest::mouseClick(password->findChild<QPushButton*>(QStringLiteral("ButtonApplyPasswd")),
                          Qt::LeftButton);
    }
    bool warningShown() const
    {
        return password->findChild<QLabel*>(QStringLiteral("LabelWarning"))->isVisible();
    }

    QTemporaryDir dir;
    ScriptedPrompts prompts;
    std::unique_ptr<TFormDeviceDispatcher> window;
    TFormPassword* password = nullptr;
    TFormAbout* about = nullptr;
};

} // namespace

TEST_F(ServiceModeAction, RightCodeAfterAWrongOneSwitchesServiceModeOn)
{
    ASSERT_FALSE(SuperuserMode);
    triggerModal(action("ActionSuperuserMode"), [&](QWidget* Modal) {
        EXPECT_EQ(Modal, password);
        typeAndApply(QStringLiteral("1234"));
        EXPECT_TRUE(warningShown());
        EXPECT_TRUE(password->isVisible());
        EXPECT_FALSE(SuperuserMode);
        typeAndApply(QStringLiteral("2719460853"));
        EXPECT_FALSE(password->isVisible());
    });
    EXPECT_TRUE(SuperuserMode);
}

TEST_F(ServiceModeAction, OnceOnTheActionStillAsksAndNothingSwitchesItOff)
{
    SuperuserMode = true;
    auto* edit = password->findChild<QLineEdit*>(QStringLiteral("JvEditPasswd"));
    edit->setText(QStringLiteral("2719460853")); // as left by the opening that switched it on

    // The same dialog comes up with the remembered code, masked; Cancel keeps the mode.
    triggerModal(action("ActionSuperuserMode"), [&](QWidget* Modal) {
        EXPECT_EQ(Modal, password);
        EXPECT_EQ(edit->text(), QStringLiteral("2719460853"));
        EXPECT_EQ(edit->displayText(), QString(10, QLatin1Char('*')));
        QTest::mouseClick(password->findChild<QPushButton*>(QStringLiteral("ButtonCancel")), Qt::LeftButton);
    });
    EXPECT_TRUE(SuperuserMode);

    // A wrong code is refused as always, and Esc leaves the mode on.
    triggerModal(action("ActionSuperuserMode"), [&](QWidget*) {
        typeAndApply(QStringLiteral("0000000000"));
        EXPECT_TRUE(warningShown());
        QTest::keyClick(edit, Qt::Key_Escape);
    });
    EXPECT_TRUE(SuperuserMode);
    EXPECT_FALSE(warningShown());
}

TEST_F(ServiceModeAction, AboutBoxOpensModallyAndAnyKeyClosesIt)
{
    triggerModal(action("ActionAboutProgram"), [&](QWidget* Modal) {
        EXPECT_EQ(Modal, about);
        QTest::keyClick(about, Qt::Key_X);
    });
    EXPECT_FALSE(about->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}
