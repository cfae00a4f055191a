#pragma once

#include "dispatcher/ChmFile.h"

#include <QWidget>
#include <memory>
#include <vector>

namespace Ui {
class TFormHelpViewer;
}
class QTreeWidgetItem;
class QUrl;
class QVariant;

// The commands the help window takes, numbered as the HTML Help engine numbers them.
enum THtmlHelpCommand
{
    HH_DISPLAY_TOPIC = 0,
    HH_DISPLAY_TOC = 1,
    HH_DISPLAY_INDEX = 2,
    HH_HELP_CONTEXT = 15,
    HH_CLOSE_ALL = 18,
};

// The help window: contents and index of one help file beside the page shown.
// It plays the part of the HTML Help engine: HtmlHelp takes the engine's
// commands on "file.chm" or "file.chm::/topic.htm".
class TFormHelpViewer : public QWidget
{
    Q_OBJECT

public:
    explicit TFormHelpViewer(QWidget* Parent = nullptr);
    ~TFormHelpViewer() override;

    // Opens the file when needed, shows what the command asks for and brings the
    // window forward; a file that cannot be opened or a context the file does not
    // know is said in a message box over Owner.
    void HtmlHelp(QWidget* Owner, const QString& File, int Command, const QVariant& Data);

    // Keeps the file when it is the one already open.
    bool OpenHelpFile(const QString& FileName, QString& ErrorText);
    const TChmFile& HelpFile() const { return File_; }

    void ShowTopic(const QString& Path);
    // The contents or the index at Keyword, with the default topic when no page is shown yet.
    void ShowContents();
    void ShowIndex(const QString& Keyword);
    // Path and fragment of the page shown ("/journal.htm").
    QString CurrentTopic() const;

protected:
    bool event(QEvent* Event) override;

private:
    // Help belongs to the modal window open now (to none without one): a window
    // that belongs to the modal one is not shut out by it.
    void FollowModalWindow();
    void FillContents();
    void FillIndex();
    void ShowDefaultTopicIfEmpty();
    void BringForward();
    void SourceChanged(const QUrl& Url);
    void ContentsItemChosen(QTreeWidgetItem* Item);
    void KeywordEdited(const QString& Text);
    void ShowIndexEntry(int Row);

    std::unique_ptr<Ui::TFormHelpViewer> ui;
    TChmFile File_;
    // The index entries in list order, pointing into File_.
    std::vector<const TChmTopic*> IndexEntries_;
    QMetaObject::Connection OwnerHidden_;
};
