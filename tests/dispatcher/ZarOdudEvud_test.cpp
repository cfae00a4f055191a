#include "dispatcher/ChmBrowser.h"
#include "dispatcher/HelpManager.h"
#include "dispatcher/HelpViewer.h"
#include "dispatcher/Journal.h"
#include "dispatcher/ZarOdudEvud.h"
#include "platform/Prompts.h"
#include "support/QStringPrinter.h"
#include "support/SampleHelp.h"
#include "support/ScriptedPrompts.h"

#include <QCoreApplication>
#include <QDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

struct TCall
{
    QWidget* Owner = nullptr;
    QString File;
    int Command = -1;
    QVariant Data;
};

// The viewer registered as the application registers it, with the engine's
// commands recorded instead of carried out.
class HelpSystem : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(manager().ViewerCount(), 0);
        manager().SetApplicationHelpFile(QString());
        manager().SetHelpFile(QString());
        InitializeZarOdudEvud();
        viewer().HtmlHelpA = [this](QWidget* Owner, const QString& File, int Command, const QVariant& Data) {
            calls.push_back({Owner, File, Command, Data});
        };
    }
    void TearDown() override
    {
        FinalizeZarOdudEvud();
        manager().SetApplicationHelpFile(QString());
        manager().SetHelpFile(QString());
    }

    static THelpManager& manager() { return THelpManager::Instance(); }
    static TZarOdudEvudViewer& viewer() { return *ZarOdudEvudViewer; }

    std::vector<TCall> calls;
};

} // namespace

TEST_F(HelpSystem, RegistrationMakesTheViewerKnownAndItsSelectorAndFinalizationUndoesIt)
{
    EXPECT_EQ(manager().ViewerCount(), 1);
    EXPECT_EQ(viewer().HelpManager, &manager());
    EXPECT_GT(viewer().ViewerID, 0);
    EXPECT_EQ(manager().HelpSelector(), static_cast<IHelpSelector*>(&viewer()));
    EXPECT_EQ(viewer().GetViewerName(), QStringLiteral("ZarOdudEvud"));
    EXPECT_EQ(viewer().DefaultExt, QStringLiteral(".htm"));

    FinalizeZarOdudEvud();
    EXPECT_FALSE(ZarOdudEvudViewer);
    EXPECT_EQ(manager().ViewerCount(), 0);
    EXPECT_EQ(manager().HelpSelector(), nullptr);
    manager().SetApplicationHelpFile(QStringLiteral("/opt/klov/klov.chm"));
    EXPECT_FALSE(manager().ShowTableOfContents());
    EXPECT_FALSE(manager().HelpContext(10));
    InitializeZarOdudEvud(); // for TearDown
}

TEST_F(HelpSystem, RequestsBecomeTheEngineCommandsOnTheHelpFile)
{
    const QString file = QStringLiteral("/opt/klov/klov.chm");
    manager().SetApplicationHelpFile(file);

    EXPECT_TRUE(manager().ShowTableOfContents());
    EXPECT_TRUE(manager().HelpContext(10));
    EXPECT_TRUE(manager().HelpKeyword(QStringLiteral("журнал")));
    EXPECT_TRUE(manager().HelpJump(QStringLiteral("intro")));
    viewer().DisplayTopic(QStringLiteral("intro.HTML"));
    viewer().DisplayTopic(QStringLiteral("page.Htm"));
    viewer().DisplayTopic(QStringLiteral("notes.txt"));
    viewer().ShowHelp(QStringLiteral("ZarOdudEvud:  лимиты : верхний "));
    viewer().ShowHelp(QStringLiteral("без двоеточия"));

    ASSERT_EQ(calls.size(), 9u);
    EXPECT_EQ(calls[0].File, file);
    EXPECT_EQ(calls[0].Command, 1);
    EXPECT_EQ(calls[1].File, file);
    EXPECT_EQ(calls[1].Command, 15);
    EXPECT_EQ(calls[1].Data.toInt(), 10);
    EXPECT_EQ(calls[2].Command, 2);
    EXPECT_EQ(calls[2].Data.toString(), QStringLiteral("журнал"));
    EXPECT_EQ(calls[3].File, file + QStringLiteral("::/intro.htm"));
    EXPECT_EQ(calls[3].Command, 0);
    EXPECT_EQ(calls[4].File, file + QStringLiteral("::/intro.HTML"));
    EXPECT_EQ(calls[5].File, file + QStringLiteral("::/page.Htm"));
    EXPECT_EQ(calls[6].File, file + QStringLiteral("::/notes.txt.htm"));
    EXPECT_EQ(calls[7].Data.toString(), QStringLiteral("лимиты : верхний"));
    EXPECT_EQ(calls[8].Data.toString(), QStringLiteral("без двоеточия"));
    for (const TCall& c : calls)
        EXPECT_EQ(c.Owner, manager().GetHandle());
}

TEST_F(HelpSystem, OnlyChmFilesAreServedInAnyCase)
{
    manager().SetApplicationHelpFile(QStringLiteral("/opt/klov/KLOV.CHM"));
    EXPECT_TRUE(manager().HelpContext(70));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].File, QStringLiteral("/opt/klov/KLOV.CHM"));

    calls.clear();
    for (const char* name : {"/opt/klov/klov.hlp", "/opt/klov/klov", "/opt/klov.chm/help", ""}) {
        manager().SetApplicationHelpFile(QString::fromLatin1(name));
        EXPECT_FALSE(manager().HelpContext(70)) << name;
        EXPECT_FALSE(manager().HelpKeyword(QStringLiteral("журнал"))) << name;
        EXPECT_FALSE(manager().HelpJump(QStringLiteral("intro"))) << name;
        // The table of contents is offered whatever the file; the viewer then declines.
        EXPECT_TRUE(manager().ShowTableOfContents()) << name;
    }
    EXPECT_TRUE(calls.empty());
    EXPECT_FALSE(TZarOdudEvudViewer::IsChmFile(QStringLiteral("chm")));
    EXPECT_TRUE(TZarOdudEvudViewer::IsChmFile(QStringLiteral("a.b.Chm")));
}

TEST_F(HelpSystem, HelpFileWithoutFolderIsTakenFromTheExecutablesFolder)
{
    manager().SetApplicationHelpFile(QStringLiteral("klov.chm"));
    EXPECT_EQ(viewer().CurrentHelpFile(),
              QCoreApplication::applicationDirPath() + QStringLiteral("/klov.chm"));
    manager().ShowTableOfContents();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].File, QCoreApplication::applicationDirPath() + QStringLiteral("/klov.chm"));

    // The manager's own help file comes before the application's.
    manager().SetHelpFile(QStringLiteral("/srv/other.chm"));
    EXPECT_EQ(viewer().CurrentHelpFile(), QStringLiteral("/srv/other.chm"));
}

TEST_F(HelpSystem, WithoutTheEngineEveryRequestDoesNothing)
{
    viewer().HtmlHelpA = nullptr;
    manager().SetApplicationHelpFile(QStringLiteral("/opt/klov/klov.chm"));
    EXPECT_TRUE(manager().ShowTableOfContents());
    EXPECT_TRUE(manager().HelpContext(10));
    viewer().ShutDown();
    EXPECT_EQ(viewer().Window(), nullptr);
}

TEST_F(HelpSystem, ShutDownClosesTheHelpWindowsAndLetsTheManagerGo)
{
    viewer().SoftShutDown();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Command, 18);
    EXPECT_EQ(calls[0].Owner, nullptr);
    EXPECT_TRUE(calls[0].File.isEmpty());
    EXPECT_EQ(viewer().HelpManager, &manager());

    viewer().ShutDown();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].Command, 18);
    EXPECT_EQ(viewer().HelpManager, nullptr);
}

TEST_F(HelpSystem, SelectorPicksTheViewersOwnEntries)
{
    EXPECT_EQ(viewer().GetHelpStrings(QStringLiteral("лимиты")),
              QStringList{QStringLiteral("ZarOdudEvud: лимиты")});
    EXPECT_EQ(viewer().SelectKeyword({QStringLiteral("Other: a"), QStringLiteral("ZarOdudEvud: b"),
                                      QStringLiteral("ZarOdudEvud: c")}),
              1);
    EXPECT_EQ(viewer().SelectKeyword({QStringLiteral("Other: a"), QStringLiteral("ZarOdudEvud")}), 0);
    EXPECT_EQ(viewer().TableOfContents({QStringLiteral("Other"), QStringLiteral("ZarOdudEvud")}), 1);
    EXPECT_EQ(viewer().TableOfContents({QStringLiteral("Other")}), -1);
    EXPECT_EQ(viewer().UnderstandsKeyword(QStringLiteral("x")), 0);
    manager().SetApplicationHelpFile(QStringLiteral("/a.chm"));
    EXPECT_EQ(viewer().UnderstandsKeyword(QStringLiteral("x")), 1);
    EXPECT_TRUE(viewer().UnderstandsContext(1, QStringLiteral("/b.CHM")));
    EXPECT_FALSE(viewer().UnderstandsContext(1, QStringLiteral("/b.hlp")));
}

TEST_F(HelpSystem, F1AsksForTheContextOfTheFocusedControlOrItsWindow)
{
    manager().SetApplicationHelpFile(QStringLiteral("/opt/klov/klov.chm"));
    QWidget window;
    window.setProperty("HelpContext", 10);
    auto* layout = new QVBoxLayout(&window);
    auto* plain = new QLineEdit(&window);
    auto* own = new QLineEdit(&window);
    own->setProperty("HelpContext", 70);
    layout->addWidget(plain);
    layout->addWidget(own);
    QDialog dialog(&window);
    auto* inDialog = new QLineEdit(&dialog);
    window.show();

    QTest::keyClick(plain, Qt::Key_F1);
    QTest::keyClick(own, Qt::Key_F1);
    QTest::keyClick(own, Qt::Key_F1, Qt::ShiftModifier);
    QTest::keyClick(own, Qt::Key_F2);
    // A window of its own without a context does not borrow its owner's.
    QTest::keyClick(inDialog, Qt::Key_F1);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].Command, 15);
    EXPECT_EQ(calls[0].Data.toInt(), 10);
    EXPECT_EQ(calls[1].Data.toInt(), 70);
    EXPECT_EQ(THelpManager::WidgetHelpContext(inDialog), 0);
}

TEST_F(HelpSystem, F1InTheJournalOpensItsPageInTheHelpWindow)
{
    // The real engine this time, on a help file the tests write.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("klov.chm"));
    ASSERT_TRUE(SampleHelp::Write(file));
    FinalizeZarOdudEvud();
    InitializeZarOdudEvud();
    manager().SetApplicationHelpFile(file);
    ScriptedPrompts prompts;
    Prompts::SetCurrent(&prompts);

    TFormJournal journal;
    EXPECT_EQ(THelpManager::WidgetHelpContext(&journal), 10);
    journal.show();
    QWidget* focus = journal.focusWidget() ? journal.focusWidget() : &journal;
    QTest::keyClick(focus, Qt::Key_F1);

    TFormHelpViewer* help = viewer().Window();
    ASSERT_TRUE(help);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(help->CurrentTopic(), QStringLiteral("/journal.htm"));
    EXPECT_TRUE(help->findChild<TChmBrowser*>()->toPlainText().contains(QStringLiteral("Журнал хранит")));

    // Finalizing takes the window with it.
    FinalizeZarOdudEvud();
    InitializeZarOdudEvud();
    EXPECT_TRUE(prompts.Messages.isEmpty());
    Prompts::SetCurrent(nullptr);
}
