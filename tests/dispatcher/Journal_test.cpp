#include "core/Logging.h"
#include "dispatcher/Journal.h"
#include "dispatcher/JournalMessage.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class JournalWindow : public ::testing::Test
{
protected:
    void TearDown() override
    {
        FormJournal = nullptr;
        JournalReady = false;
        LogDebugInfo = false;
        SetLogFileName(QString());
    }

    void create()
    {
        form = std::make_unique<TFormJournal>();
        FormJournal = form.get();
    }

    QScrollBar* vbar() const
    {
        return form->findChild<QPlainTextEdit*>(QStringLiteral("MemoJournal"))->verticalScrollBar();
    }

    std::unique_ptr<TFormJournal> form;
};

} // namespace

TEST_F(JournalWindow, MessagesBeforeTheWindowExistWaitForItInOrderAndAreLoggedAtOnce)
{
    {
        // Whatever an earlier test left waiting.
        TFormJournal earlier;
        ShowEarlyJournalMessages(earlier);
    }
    JournalReady = false;
    QTemporaryDir dir;
    SetLogFileName(dir.filePath(QStringLiteral("klov.log")));
    LogDebugInfo = true;
    const QDateTime before = QDateTime::currentDateTime();
    AddJournalMessage(QStringLiteral("до окна"));
    const QDateTime written = QDateTime::currentDateTime();
    LogDebugInfo = false;
    for (int i = 1; i < EarlyJournalLinesMax + 5; ++i)
        AddJournalMessage(QString::number(i));
    QFile log(dir.filePath(QStringLiteral("klov.log")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(log.readAll()).contains(QStringLiteral(": до окна")));

    QTest::qSleep(30);
    create();
    EXPECT_TRUE(form->Lines().isEmpty());
    ShowEarlyJournalMessages(*form);
    ShowEarlyJournalMessages(*form); // shown once only
    AddJournalMessage(QStringLiteral("после"));
    const QStringList lines = form->Lines();
    ASSERT_EQ(lines.size(), EarlyJournalLinesMax + 1);
    // Stamped when written, not when shown.
    QStringList stamped;
    for (QDateTime t = before; t <= written; t = t.addMSecs(1))
        stamped << FormatLogTimeStamp(t) + QStringLiteral(": до окна");
    EXPECT_TRUE(stamped.contains(lines[0])) << lines[0].toStdString();
    EXPECT_TRUE(lines[EarlyJournalLinesMax - 1].endsWith(QStringLiteral(": ") +
                                                         QString::number(EarlyJournalLinesMax - 1)));
    EXPECT_TRUE(lines.last().endsWith(QStringLiteral(": после")));
}

TEST_F(JournalWindow, LinesAreStampedAndKeptWhileHiddenAndClearingEmptiesOnlyTheWindow)
{
    create();
    AddJournalMessage(QStringLiteral("первая"));
    AddJournalMessage(QStringLiteral("вторая"));
    QStringList lines = form->Lines();
    ASSERT_EQ(lines.size(), 2);
    const int stampLen = FormatLogTimeStamp(QDateTime::currentDateTime()).size();
    EXPECT_EQ(lines[0].mid(stampLen), QStringLiteral(": первая"));
    EXPECT_EQ(lines[1].mid(stampLen), QStringLiteral(": вторая"));

    form->show();
    EXPECT_EQ(form->Lines().size(), 2);
    QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("ButtonClearJournalWindow")),
                      Qt::LeftButton);
    EXPECT_TRUE(form->Lines().isEmpty());
    AddJournalMessage(QStringLiteral("после"));
    lines = form->Lines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(": после")));
}

TEST_F(JournalWindow, OnlyTheNewestLinesAreKeptWithAndWithoutAutoscroll)
{
    create();
    for (const bool autoscroll : {true, false}) {
        SCOPED_TRACE(autoscroll);
        form->SetAutoscroll(autoscroll);
        for (int i = 0; i < TFormJournal::MaxLines + 25; ++i)
            form->AddLine(QString::number(i));
        const QStringList lines = form->Lines();
        ASSERT_EQ(lines.size(), TFormJournal::MaxLines);
        EXPECT_EQ(lines.front(), QStringLiteral("25"));
        EXPECT_EQ(lines.back(), QString::number(TFormJournal::MaxLines + 24));
        EXPECT_FALSE(
            form->findChild<QPlainTextEdit*>(QStringLiteral("MemoJournal"))->document()->isUndoRedoEnabled());
    }
}

TEST_F(JournalWindow, ViewStaysPutWithoutAutoscrollAndFollowsWithIt)
{
    create();
    form->resize(600, 200);
    form->show();
    EXPECT_FALSE(form->Autoscroll());
    for (int i = 0; i < 200; ++i)
        form->AddLine(QStringLiteral("строка %1").arg(i));
    QCoreApplication::processEvents();
    ASSERT_GT(vbar()->maximum(), 0);
    vbar()->setValue(0);
    for (int i = 0; i < 50; ++i)
        form->AddLine(QStringLiteral("ещё %1").arg(i));
    QCoreApplication::processEvents();
    EXPECT_EQ(vbar()->value(), 0);
    EXPECT_EQ(form->Lines().size(), 250);

    form->SetAutoscroll(true);
    form->AddLine(QStringLiteral("последняя"));
    QCoreApplication::processEvents();
    EXPECT_EQ(vbar()->value(), vbar()->maximum());
    EXPECT_GT(vbar()->value(), 0);
}

TEST_F(JournalWindow, FirstShownCentredOnItsOwner)
{
    QWidget owner;
    owner.setGeometry(100, 80, 1400, 900);
    owner.show();
    form = std::make_unique<TFormJournal>(&owner);
    FormJournal = form.get();
    form->show();
    // Within the rounding of the two centres.
    EXPECT_LE((form->geometry().center() - owner.geometry().center()).manhattanLength(), 3);
    form->move(5, 5);
    form->hide();
    form->show();
    EXPECT_EQ(form->pos(), QPoint(5, 5));
    form.reset(); // before its owner, which would delete it again
}
