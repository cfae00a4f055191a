#include "dispatcher/ChmBrowser.h"
#include "dispatcher/HelpViewer.h"
#include "platform/Prompts.h"
#include "support/QStringPrinter.h"
#include "support/SampleHelp.h"
#include "support/ScriptedPrompts.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

class HelpWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("klov.chm"));
        ASSERT_TRUE(SampleHelp::Write(path));
        Prompts::SetCurrent(&prompts);
        window = std::make_unique<TFormHelpViewer>();
    }
    void TearDown() override
    {
        window.reset();
        Prompts::SetCurrent(nullptr);
    }

    template <typename T> T* child(const char* Name) const
    {
        return window->findChild<T*>(QString::fromLatin1(Name));
    }
    TChmBrowser* browser() const { return child<TChmBrowser>("Browser"); }
    QString pageText() const { return browser()->toPlainText(); }

    QTemporaryDir dir;
    QString path;
    ScriptedPrompts prompts;
    std::unique_ptr<TFormHelpViewer> window;
};

// Types Text as key presses; QTest::keyClicks knows only ASCII.
void typeText(QWidget* Widget, const QString& Text)
{
    for (const QChar c : Text)
        QTest::sendKeyEvent(QTest::Click, Widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

} // namespace

TEST_F(HelpWindow, TableOfContentsShowsTheDefaultPageWithItsPicture)
{
    window->HtmlHelp(nullptr, path, HH_DISPLAY_TOC, {});
    EXPECT_TRUE(prompts.Messages.isEmpty()) << prompts.Messages.join(u'\n').toStdString();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Справка Кловарис"));
    EXPECT_EQ(window->CurrentTopic(), QStringLiteral("/intro.htm"));
    EXPECT_TRUE(pageText().contains(QStringLiteral("Программа опрашивает измерительные преобразователи.")))
        << pageText().toStdString();
    EXPECT_EQ(child<QTabWidget>("TabsNavigation")->currentWidget()->objectName(),
              QStringLiteral("TabContents"));

    // The picture came out of the help file and was decoded.
    QString imageName;
    for (QTextBlock b = browser()->document()->begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            if (it.fragment().charFormat().isImageFormat())
                imageName = it.fragment().charFormat().toImageFormat().name();
        }
    }
    ASSERT_EQ(imageName, QStringLiteral("images/logo.png"));
    EXPECT_EQ(browser()->loadResource(QTextDocument::ImageResource, QUrl(imageName)).toByteArray(),
              SampleHelp::Logo());
    const QVariant shown = browser()->document()->resource(QTextDocument::ImageResource, QUrl(imageName));
    EXPECT_TRUE(shown.isValid());
    // So did the style sheet.
    EXPECT_EQ(browser()->document()->begin().begin().fragment().charFormat().foreground().color(),
              QColor(0x1f, 0x4e, 0x8c));

    auto* tree = child<QTreeWidget>("TreeContents");
    ASSERT_EQ(tree->topLevelItemCount(), 3);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), QStringLiteral("Введение"));
    EXPECT_EQ(tree->topLevelItem(1)->text(0), QStringLiteral("Окна программы"));
    EXPECT_EQ(tree->topLevelItem(1)->childCount(), 2);
    EXPECT_EQ(tree->topLevelItem(2)->text(0), QStringLiteral("Печать \"графиков\""));
    EXPECT_EQ(tree->currentItem(), tree->topLevelItem(0)) << "the contents follow the page shown";
}

TEST_F(HelpWindow, LinksOfThePagesStayInsideTheHelpFile)
{
    window->HtmlHelp(nullptr, path, HH_DISPLAY_TOPIC, {});
    ASSERT_EQ(window->CurrentTopic(), QStringLiteral("/intro.htm"));

    // The first link of the page, followed from the keyboard as a user would.
    browser()->setFocus();
    QTest::keyClick(browser(), Qt::Key_Tab);
    QTest::keyClick(browser(), Qt::Key_Return);
    EXPECT_EQ(window->CurrentTopic(), QStringLiteral("/journal.htm"));
    EXPECT_TRUE(pageText().contains(QStringLiteral("Журнал хранит изменения неисправностей.")));

    // Links written the ways help pages write them.
    browser()->setSource(QUrl(QStringLiteral("ms-its:klov.chm::/intro.htm")));
    EXPECT_EQ(window->CurrentTopic(), QStringLiteral("/intro.htm"));
    browser()->setSource(QUrl(QStringLiteral("archive/period.htm#dates")));
    EXPECT_EQ(window->CurrentTopic(), QStringLiteral("/archive/period.htm#dates"));
    EXPECT_TRUE(pageText().contains(QStringLiteral("Начало и конец периода архива.")));
    browser()->setSource(QUrl(QStringLiteral("../print.htm")));
    EXPECT_EQ(window->CurrentTopic(), QStringLiteral("/print.htm"));

    auto* back = child<QToolButton>("ButtonBack");
    ASSERT_TRUE(back->isEnabled());
    back->click();
    EXPECT_EQ(window->CurrentTopic(), QStringLiteral("/archive/period.htm#dates"));
    child<QToolButton>("ButtonHome")->click();
    EXPECT_EQ(window->CurrentTopic(), QStringLiteral("/intro.htm"));

    browser()->setSource(QUrl(QStringLiteral("nothere.htm")));
    EXPECT_TRUE(pageText().contains(QStringLiteral("Страница не найдена"))) << pageText().toStdString();
    EXPECT_TRUE(pageText().contains(QStringLiteral("/nothere.htm")));
    // Scripts go nowhere and the page stays.
    browser()->setSource(QUrl(QStringLiteral("javascript:alert(1)")));
    EXPECT_EQ(window->CurrentTopic(), QStringLiteral("/nothere.htm"));
}

TEST_F(HelpWindow, ContentsItemsOpenTheirTopicsAndHeadingsFoldOut)
{
    window->HtmlHelp(nullptr, path, HH_DISPLAY_TOC, {});
    auto* tree = child<QTreeWidget>("TreeContents");
    QTreeWidgetItem* heading = tree->topLevelItem(1);
    ASSERT_FALSE(heading->isExpanded());
    // The arrow of a heading unfolds it; a click on a heading shows nothing new.
    const QRect row = tree->visualItemRect(heading);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      QPoint(row.left() - tree->indentation() / 2, row.center().y()));
    EXPECT_TRUE(heading->isExpanded());
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, row.center());
    Q_EMIT tree->itemActivated(heading, 0);
    EXPECT_TRUE(heading->isExpanded());
    EXPECT_EQ(window->CurrentTopic(), QStringLiteral("/intro.htm"));

    Q_EMIT tree->itemActivated(heading->child(1), 0);
    EXPECT_EQ(window->CurrentTopic(), QStringLiteral("/archive/period.htm"));
    EXPECT_TRUE(pageText().contains(QStringLiteral("Выбор периода")));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      tree->visualItemRect(tree->topLevelItem(2)).center());
    EXPECT_EQ(window->CurrentTopic(), QStringLiteral("/print.htm"));

    // Navigating by link moves the selection in the contents, unfolding its heading.
    heading->setExpanded(false);
    browser()->setSource(QUrl(QStringLiteral("journal.htm")));
    EXPECT_EQ(tree->currentItem(), heading->child(0));
    EXPECT_TRUE(heading->isExpanded());
}

TEST_F(HelpWindow, HelpFromAModalDialogTakesInputWhileTheDialogIsOpen)
{
    QWidget mainWindow;
    mainWindow.show();
    QDialog dialog(&mainWindow);
    QString topicClicked;
    bool treeEnabled = false;
    bool movedByKey = false;
    // F1 in the dialog opens help from inside its modal loop; the operator then
    // works the help window through the window system, which blocks windows
    // that a modal dialog shuts out.
    QTimer::singleShot(0, &dialog, [&] {
        window->HtmlHelp(&dialog, path, HH_DISPLAY_TOC, {});
        QCoreApplication::processEvents();
        auto* tree = child<QTreeWidget>("TreeContents");
        treeEnabled = tree->isEnabled() && tree->isVisible();
        QWindow* helpWindow = window->windowHandle();
        const QPoint at =
            tree->viewport()->mapTo(window.get(), tree->visualItemRect(tree->topLevelItem(2)).center());
        QTest::mouseClick(helpWindow, Qt::LeftButton, {}, at);
        topicClicked = window->CurrentTopic();
        // Keys reach it too: Up in the contents moves off the item clicked.
        QTest::keyClick(helpWindow, Qt::Key_Up);
        movedByKey = tree->currentItem() != tree->topLevelItem(2);
        dialog.reject();
    });
    dialog.exec();
    EXPECT_TRUE(treeEnabled);
    EXPECT_EQ(topicClicked, QStringLiteral("/print.htm"));
    EXPECT_TRUE(movedByKey);

    // Without a modal dialog the window stands on its own again.
    window->HtmlHelp(nullptr, path, HH_DISPLAY_TOC, {});
    EXPECT_EQ(window->windowHandle()->transientParent(), nullptr);
}

TEST_F(HelpWindow, HelpStaysUsableWhicheverModalDialogOpensOrClosesAroundIt)
{
    QWidget mainWindow;
    mainWindow.show();
    window->HtmlHelp(nullptr, path, HH_DISPLAY_TOC, {});
    QCoreApplication::processEvents();
    auto* tree = child<QTreeWidget>("TreeContents");
    // A click on a contents item through the window system, which drops input
    // to a window that a modal dialog shuts out.
    const auto takesClick = [&](int Item) {
        tree->setCurrentItem(tree->topLevelItem(Item == 0 ? 1 : 0));
        const QPoint at =
            tree->viewport()->mapTo(window.get(), tree->visualItemRect(tree->topLevelItem(Item)).center());
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, at);
        return tree->currentItem() == tree->topLevelItem(Item);
    };

    // Help open before a modal dialog: the dialog does not shut it out. A
    // message box over the dialog, with help asked for from it, closes and goes;
    // help still serves while the dialog stays open.
    auto dialog = std::make_unique<QDialog>(&mainWindow);
    QTimer::singleShot(0, dialog.get(), [&] {
        QCoreApplication::processEvents();
        EXPECT_TRUE(takesClick(2));
        {
            QDialog box(dialog.get());
            QTimer::singleShot(0, &box, [&] {
                window->HtmlHelp(&box, path, HH_DISPLAY_TOC, {});
                QCoreApplication::processEvents();
                EXPECT_TRUE(takesClick(0));
                box.reject();
            });
            box.exec();
        }
        QCoreApplication::processEvents();
        EXPECT_TRUE(takesClick(2));
        dialog->reject();
    });
    dialog->exec();

    // A dialog of the help window's own, help asked for from it: help does not
    // become owned by its own dialog.
    {
        QDialog own(window.get());
        QTimer::singleShot(0, &own, [&] {
            window->HtmlHelp(&own, path, HH_DISPLAY_TOC, {});
            QCoreApplication::processEvents();
            own.reject();
        });
        own.exec();
        EXPECT_NE(window->windowHandle()->transientParent(), own.windowHandle());
    }

    // The dialog closed and freed while help stays open: help lives on and serves.
    dialog.reset();
    QCoreApplication::processEvents();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(takesClick(0));
}

TEST_F(HelpWindow, IndexFindsKeywordsAsTheyAreTypedAndOffersTopicsToChoose)
{
    window->HtmlHelp(nullptr, path, HH_DISPLAY_INDEX, QStringLiteral("ЖУР"));
    EXPECT_EQ(child<QTabWidget>("TabsNavigation")->currentWidget()->objectName(), QStringLiteral("TabIndex"));
    auto* edit = child<QLineEdit>("EditKeyword");
    auto* list = child<QListWidget>("ListIndex");
    EXPECT_EQ(edit->text(), QStringLiteral("ЖУР"));
    ASSERT_EQ(list->count(), 4);
    EXPECT_EQ(list->item(1)->text(), QStringLiteral("    период"));
    ASSERT_TRUE(list->currentItem());
    EXPECT_EQ(list->currentItem()->text(), QStringLiteral("журнал"));
    EXPECT_EQ(window->CurrentTopic(), QStringLiteral("/intro.htm"))
        << "the index alone shows the default page";

    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(window->CurrentTopic(), QStringLiteral("/journal.htm"));

    edit->clear();
    typeText(edit, QStringLiteral("пер"));
    EXPECT_EQ(list->currentRow(), 1);
    child<QPushButton>("ButtonShowIndex")->click();
    EXPECT_EQ(window->CurrentTopic(), QStringLiteral("/archive/period.htm#dates"));

    // A keyword of two topics asks which one.
    edit->clear();
    typeText(edit, QStringLiteral("печ"));
    QTest::keyClick(edit, Qt::Key_Return);
    auto* menu = child<QMenu>("MenuTopics");
    ASSERT_TRUE(menu);
    const QList<QAction*> topics = menu->actions();
    ASSERT_EQ(topics.size(), 2);
    EXPECT_EQ(topics[0]->text(), QStringLiteral("Печать графиков"));
    EXPECT_EQ(topics[1]->text(), QStringLiteral("Журнал предупреждений"));
    EXPECT_EQ(window->CurrentTopic(), QStringLiteral("/archive/period.htm#dates"));
    topics[0]->trigger();
    EXPECT_EQ(window->CurrentTopic(), QStringLiteral("/print.htm"));
    menu->close();

    // Nothing matches: the selection stays.
    typeText(edit, QStringLiteral("яяя"));
    EXPECT_EQ(list->currentRow(), 3);
}

TEST_F(HelpWindow, ContextNumbersOpenTheirTopicsAndUnknownOnesAreSaid)
{
    window->HtmlHelp(nullptr, path, HH_HELP_CONTEXT, 9);
    EXPECT_EQ(window->CurrentTopic(), QStringLiteral("/archive/period.htm"));
    window->HtmlHelp(nullptr, path, HH_HELP_CONTEXT, 70);
    EXPECT_EQ(window->CurrentTopic(), QStringLiteral("/print.htm"));
    window->HtmlHelp(nullptr, path + QStringLiteral("::/journal.htm"), HH_DISPLAY_TOPIC, {});
    EXPECT_EQ(window->CurrentTopic(), QStringLiteral("/journal.htm"));
    EXPECT_TRUE(prompts.Messages.isEmpty());

    window->HtmlHelp(nullptr, path, HH_HELP_CONTEXT, 11);
    EXPECT_EQ(prompts.Messages,
              QStringList{QStringLiteral("Справка|В файле справки нет раздела для контекста 11")});
    EXPECT_EQ(window->CurrentTopic(), QStringLiteral("/journal.htm"));

    window->HtmlHelp(nullptr, QString(), HH_CLOSE_ALL, {});
    EXPECT_FALSE(window->isVisible());
}

TEST_F(HelpWindow, MissingOrDamagedFileIsSaidAndNoWindowOpens)
{
    const QString missing = dir.filePath(QStringLiteral("none.chm"));
    window->HtmlHelp(nullptr, missing, HH_DISPLAY_TOC, {});
    ASSERT_EQ(prompts.Messages.size(), 1);
    EXPECT_EQ(prompts.Messages[0],
              QStringLiteral("Справка|Файл справки не найден: ") + QDir::toNativeSeparators(missing));
    EXPECT_FALSE(window->isVisible());

    const QString damaged = dir.filePath(QStringLiteral("damaged.chm"));
    QFile f(damaged);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("ITSF") + QByteArray(300, '\x7F'));
    f.close();
    for (const int command : {HH_DISPLAY_TOPIC, HH_DISPLAY_TOC, HH_DISPLAY_INDEX, HH_HELP_CONTEXT})
        window->HtmlHelp(nullptr, damaged, command, 10);
    ASSERT_EQ(prompts.Messages.size(), 5);
    EXPECT_EQ(prompts.Messages[4],
              QStringLiteral("Справка|Файл справки повреждён или не является файлом справки: ") +
                  QDir::toNativeSeparators(damaged));
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(child<QTreeWidget>("TreeContents")->topLevelItemCount() == 0);
}

TEST_F(HelpWindow, AnotherHelpFileReplacesPagesContentsAndIndex)
{
    window->HtmlHelp(nullptr, path, HH_DISPLAY_TOC, {});
    ASSERT_TRUE(pageText().contains(QStringLiteral("Программа опрашивает")));

    TChmWriter other;
    other.SetTitle("Other");
    other.SetLanguage(0x0409);
    other.SetDefaultTopic("intro.htm");
    other.AddFile(QStringLiteral("/intro.htm"),
                  QByteArray("<html><body><p>Second file, \xE9t\xE9.</p></body></html>"));
    const QString second = dir.filePath(QStringLiteral("other.chm"));
    QString error;
    ASSERT_TRUE(other.Write(second, error));
    window->HtmlHelp(nullptr, second, HH_DISPLAY_TOPIC, {});
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Other"));
    EXPECT_EQ(window->CurrentTopic(), QStringLiteral("/intro.htm"));
    EXPECT_TRUE(pageText().contains(QStringLiteral("Second file, été."))) << pageText().toStdString();
    EXPECT_EQ(child<QTreeWidget>("TreeContents")->topLevelItemCount(), 0);
    EXPECT_EQ(child<QListWidget>("ListIndex")->count(), 0);
}
