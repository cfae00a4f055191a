#include "dispatcher/ChmBrowser.h"
#include "dispatcher/DeviceDispatcher.h"
#include "dispatcher/HelpManager.h"
#include "dispatcher/HelpViewer.h"
#include "dispatcher/ZarOdudEvud.h"
#include "platform/Prompts.h"
#include "support/NoModemPorts.h"
#include "support/QStringPrinter.h"
#include "support/SampleHelp.h"
#include "support/ScriptedPrompts.h"
#include "support/SharedState.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// The main window started with an archive folder and the help viewer registered,
// as the application starts.
class MainWindowHelp : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        PublishNoModemPorts(dir.path());
        QDir().mkpath(dir.filePath(QStringLiteral("arch")));
        const QString ini = dir.filePath(QStringLiteral("klov.ini"));
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write((QStringLiteral("[Archive]\nArchivePath=") + dir.filePath(QStringLiteral("arch")) +
                 QStringLiteral("\n[Devices]\nDevicesList=11\n"))
                    .toUtf8());
        f.close();
        Prompts::SetCurrent(&prompts);
        InitializeZarOdudEvud();
        THelpManager::Instance().SetApplicationHelpFile(QString());

        const QFileInfo exe(QCoreApplication::applicationFilePath());
        helpFile = exe.absolutePath() + QLatin1Char('/') + exe.completeBaseName() + QStringLiteral(".chm");
        window = std::make_unique<TFormDeviceDispatcher>(
            QStringList{QStringLiteral("/opt/klov/klov"), QStringLiteral("-ini=") + ini});
        window->show();
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }
    void TearDown() override
    {
        window.reset();
        FinalizeZarOdudEvud();
        THelpManager::Instance().SetApplicationHelpFile(QString());
        THelpManager::Instance().SetHelpFile(QString());
        Prompts::SetCurrent(nullptr);
        qunsetenv("KLOV_PORTS_DIR");
        ResetDispatcherState();
    }

    QAction* helpContents() const
    {
        return window->findChild<QAction*>(QStringLiteral("ActionHelpContents"));
    }

    QTemporaryDir dir;
    ScriptedPrompts prompts;
    QString helpFile;
    std::unique_ptr<TFormDeviceDispatcher> window;
};

} // namespace

TEST_F(MainWindowHelp, HelpFileIsTheProgramsPathWithChmAndContentsAreAvailable)
{
    EXPECT_EQ(THelpManager::Instance().ApplicationHelpFile(), helpFile);
    ASSERT_TRUE(helpContents());
    EXPECT_TRUE(helpContents()->isEnabled());
    EXPECT_EQ(helpContents()->text(), QStringLiteral("&Содержание"));
    EXPECT_EQ(helpContents()->toolTip(), QStringLiteral("Содержание справки"));
}

TEST_F(MainWindowHelp, ContentsOfAMissingHelpFileAreAMessageNotAWindow)
{
    ASSERT_FALSE(QFileInfo::exists(helpFile));
    prompts.Messages.clear();
    helpContents()->trigger();
    EXPECT_EQ(prompts.Messages, QStringList{QStringLiteral("Справка|Файл справки не найден: ") +
                                            QDir::toNativeSeparators(helpFile)});
    ASSERT_TRUE(ZarOdudEvudViewer->Window());
    EXPECT_FALSE(ZarOdudEvudViewer->Window()->isVisible());
}

TEST_F(MainWindowHelp, ContentsShowTheHelpWindowAtTheDefaultTopic)
{
    // A file of the tests' own beside the program's: tests run side by side.
    const QString file = dir.filePath(QStringLiteral("klov.chm"));
    ASSERT_TRUE(SampleHelp::Write(file));
    THelpManager::Instance().SetHelpFile(file);
    prompts.Messages.clear();
    helpContents()->trigger();
    EXPECT_TRUE(prompts.Messages.isEmpty()) << prompts.Messages.join(u'\n').toStdString();
    TFormHelpViewer* help = ZarOdudEvudViewer->Window();
    ASSERT_TRUE(help);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->CurrentTopic(), QStringLiteral("/intro.htm"));
    EXPECT_TRUE(
        help->findChild<TChmBrowser*>()->toPlainText().contains(QStringLiteral("Программа опрашивает")));

    // Closing the main window leaves nothing that keeps the application running.
    EXPECT_FALSE(help->testAttribute(Qt::WA_QuitOnClose));
}
