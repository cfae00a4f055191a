#include "dispatcher/HelpViewer.h"

#include "dispatcher/ChmBrowser.h"
#include "platform/Prompts.h"
#include "ui_HelpViewer.h"

#include <QApplication>
#include <QEvent>
#include <QFileInfo>
#include <QMenu>
#include <QSignalBlocker>
#include <QStyle>
#include <QTreeWidgetItemIterator>
#include <QVariant>
#include <QWindow>

namespace {

const QString Caption = QStringLiteral("Справка");
constexpr int TopicRole = Qt::UserRole;

QString withoutFragment(const QString& Path)
{
    const qsizetype hash = Path.indexOf(QLatin1Char('#'));
    return hash < 0 ? Path : Path.left(hash);
}

void addTopics(const std::vector<TChmTopic>& Topics, QTreeWidgetItem* Parent, QTreeWidget* Tree,
               const QIcon& Book, const QIcon& Page)
{
    for (const TChmTopic& topic : Topics) {
        auto* item = Parent ? new QTreeWidgetItem(Parent) : new QTreeWidgetItem(Tree);
        item->setText(0, topic.Name().isEmpty() ? topic.Local() : topic.Name());
        item->setIcon(0, topic.Children.empty() ? Page : Book);
        if (!topic.Local().isEmpty())
            item->setData(0, TopicRole, TChmFile::TopicPath(topic.Local()));
        addTopics(topic.Children, item, Tree, Book, Page);
    }
}

void addIndexEntries(const std::vector<TChmTopic>& Topics, int Level, std::vector<const TChmTopic*>& Out,
                     QStringList& Texts)
{
    for (const TChmTopic& topic : Topics) {
        Out.push_back(&topic);
        Texts << QString(Level * 4, QLatin1Char(' ')) + topic.Name();
        addIndexEntries(topic.Children, Level + 1, Out, Texts);
    }
}

} // namespace

TFormHelpViewer::TFormHelpViewer(QWidget* Parent)
    : QWidget(Parent), ui(std::make_unique<Ui::TFormHelpViewer>())
{
    ui->setupUi(this);
    setWindowFlag(Qt::Window);
    // An open help window does not keep the application running once the main window closes.
    setAttribute(Qt::WA_QuitOnClose, false);
    ui->Splitter->setStretchFactor(1, 1);
    ui->Splitter->setSizes({260, 700});
    ui->ButtonHide->setIcon(style()->standardIcon(QStyle::SP_TitleBarShadeButton));
    ui->ButtonBack->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
    ui->ButtonForward->setIcon(style()->standardIcon(QStyle::SP_ArrowForward));
    ui->ButtonHome->setIcon(style()->standardIcon(QStyle::SP_DirHomeIcon));

    connect(ui->ButtonHide, &QToolButton::toggled, this, [this](bool Hidden) {
        ui->TabsNavigation->setVisible(!Hidden);
        ui->ButtonHide->setText(Hidden ? QStringLiteral("Показать") : QStringLiteral("Скрыть"));
    });
    connect(ui->ButtonBack, &QToolButton::clicked, ui->Browser, &QTextBrowser::backward);
    connect(ui->ButtonForward, &QToolButton::clicked, ui->Browser, &QTextBrowser::forward);
    connect(ui->ButtonHome, &QToolButton::clicked, this, [this] { ShowTopic(File_.DefaultTopic()); });
    connect(ui->Browser, &QTextBrowser::backwardAvailable, ui->ButtonBack, &QWidget::setEnabled);
    connect(ui->Browser, &QTextBrowser::forwardAvailable, ui->ButtonForward, &QWidget::setEnabled);
    connect(ui->Browser, &QTextBrowser::sourceChanged, this, &TFormHelpViewer::SourceChanged);
    // Headings fold the tree's own way (arrow, double click, keys); items with a page show it.
    connect(ui->TreeContents, &QTreeWidget::itemClicked, this, &TFormHelpViewer::ContentsItemChosen);
    connect(ui->TreeContents, &QTreeWidget::itemActivated, this, &TFormHelpViewer::ContentsItemChosen);
    connect(ui->TabsNavigation, &QTabWidget::currentChanged, this, [this] {
        if (ui->TabsNavigation->currentWidget() == ui->TabIndex)
            ui->EditKeyword->setFocus();
    });
    connect(ui->EditKeyword, &QLineEdit::textEdited, this, &TFormHelpViewer::KeywordEdited);
    connect(ui->EditKeyword, &QLineEdit::returnPressed, this,
            [this] { ShowIndexEntry(ui->ListIndex->currentRow()); });
    connect(ui->ButtonShowIndex, &QPushButton::clicked, this,
            [this] { ShowIndexEntry(ui->ListIndex->currentRow()); });
    connect(ui->ListIndex, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* Item) { ShowIndexEntry(ui->ListIndex->row(Item)); });
}

TFormHelpViewer::~TFormHelpViewer() = default;

void TFormHelpViewer::HtmlHelp(QWidget* Owner, const QString& File, int Command, const QVariant& Data)
{
    if (Command == HH_CLOSE_ALL) {
        close();
        return;
    }
    const qsizetype storage = File.indexOf(QLatin1String("::"));
    const QString fileName = storage < 0 ? File : File.left(storage);
    const QString topic = storage < 0 ? QString() : File.mid(storage + 2);
    QString error;
    if (!OpenHelpFile(fileName, error)) {
        Prompts::Current().Message(Owner, error, Caption);
        return;
    }
    switch (Command) {
    case HH_DISPLAY_TOPIC:
        ShowTopic(topic.isEmpty() ? File_.DefaultTopic() : topic);
        break;
    case HH_DISPLAY_TOC:
        ShowContents();
        break;
    case HH_DISPLAY_INDEX:
        ShowIndex(Data.toString());
        break;
    case HH_HELP_CONTEXT: {
        const QString context = File_.TopicForContext(Data.toUInt());
        if (context.isEmpty()) {
            Prompts::Current().Message(Owner,
                                       QStringLiteral("В файле справки нет раздела для контекста ") +
                                           QString::number(Data.toUInt()),
                                       Caption);
            return;
        }
        ShowTopic(context);
        break;
    }
    default:
        return;
    }
    BringForward();
}

bool TFormHelpViewer::OpenHelpFile(const QString& FileName, QString& ErrorText)
{
    if (File_.IsOpen() && File_.FileName() == QFileInfo(FileName).absoluteFilePath())
        return true;
    ui->Browser->SetHelpFile(nullptr);
    ui->Browser->setSource(QUrl());
    const bool opened = File_.Open(FileName, ErrorText);
    ui->Browser->SetHelpFile(opened ? &File_ : nullptr);
    FillContents();
    FillIndex();
    setWindowTitle(opened && !File_.Title().isEmpty() ? File_.Title() : Caption);
    return opened;
}

void TFormHelpViewer::FillContents()
{
    ui->TreeContents->clear();
    addTopics(File_.Contents(), nullptr, ui->TreeContents, style()->standardIcon(QStyle::SP_DirClosedIcon),
              style()->standardIcon(QStyle::SP_FileIcon));
}

void TFormHelpViewer::FillIndex()
{
    IndexEntries_.clear();
    QStringList texts;
    addIndexEntries(File_.Index(), 0, IndexEntries_, texts);
    ui->ListIndex->clear();
    ui->ListIndex->addItems(texts);
    ui->EditKeyword->clear();
}

void TFormHelpViewer::ShowTopic(const QString& Path)
{
    if (File_.IsOpen())
        ui->Browser->setSource(TChmBrowser::TopicUrl(Path));
}

void TFormHelpViewer::ShowDefaultTopicIfEmpty()
{
    if (ui->Browser->source().isEmpty())
        ShowTopic(File_.DefaultTopic());
}

void TFormHelpViewer::ShowContents()
{
    ui->ButtonHide->setChecked(false);
    ui->TabsNavigation->setCurrentWidget(ui->TabContents);
    ShowDefaultTopicIfEmpty();
}

void TFormHelpViewer::ShowIndex(const QString& Keyword)
{
    ui->ButtonHide->setChecked(false);
    ui->TabsNavigation->setCurrentWidget(ui->TabIndex);
    ui->EditKeyword->setText(Keyword);
    KeywordEdited(Keyword);
    ui->EditKeyword->setFocus();
    ShowDefaultTopicIfEmpty();
}

QString TFormHelpViewer::CurrentTopic() const
{
    return TChmBrowser::UrlTopic(ui->Browser->source());
}

void TFormHelpViewer::BringForward()
{
    // Help asked for from a modal dialog must be usable while the dialog is open.
    FollowModalWindow();
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

bool TFormHelpViewer::event(QEvent* Event)
{
    // A modal dialog opened while help is open, or the one left open when a
    // dialog over it closed, shuts help out: help follows it at once.
    if (Event->type() == QEvent::WindowBlocked)
        FollowModalWindow();
    return QWidget::event(Event);
}

void TFormHelpViewer::FollowModalWindow()
{
    if (!windowHandle())
        create();
    QWindow* const modal = QGuiApplication::modalWindow();
    // A dialog of the help window's own does not shut it out, and owning it
    // would make each the other's owner.
    if (modal && windowHandle()->isAncestorOf(modal, QWindow::IncludeTransients))
        return;
    QWindow* const over = modal != windowHandle() ? modal : nullptr;
    // The owner matters to the blocking only: the help window is no dialog, so
    // the window system keeps no owner for it and it need not be shown anew.
    if (windowHandle()->transientParent() == over)
        return;
    disconnect(OwnerHidden_);
    windowHandle()->setTransientParent(over);
    // When the owner closes, help would stay shut out by a dialog still open
    // under it (nothing else tells help then): it follows that one.
    if (over)
        OwnerHidden_ = connect(
            over, &QWindow::visibleChanged, this,
            [this](bool Visible) {
                if (!Visible)
                    FollowModalWindow();
            },
            Qt::QueuedConnection);
}

void TFormHelpViewer::SourceChanged(const QUrl& Url)
{
    // The contents follow the page shown.
    const QString path = withoutFragment(TChmBrowser::UrlTopic(Url));
    const QSignalBlocker blocker(ui->TreeContents);
    for (QTreeWidgetItemIterator it(ui->TreeContents); *it; ++it) {
        if (withoutFragment((*it)->data(0, TopicRole).toString()).compare(path, Qt::CaseInsensitive) == 0) {
            for (QTreeWidgetItem* parent = (*it)->parent(); parent; parent = parent->parent())
                parent->setExpanded(true);
            ui->TreeContents->setCurrentItem(*it);
            ui->TreeContents->scrollToItem(*it);
            return;
        }
    }
}

void TFormHelpViewer::ContentsItemChosen(QTreeWidgetItem* Item)
{
    const QString topic = Item ? Item->data(0, TopicRole).toString() : QString();
    if (!topic.isEmpty())
        ShowTopic(topic);
}

void TFormHelpViewer::KeywordEdited(const QString& Text)
{
    if (Text.isEmpty())
        return;
    for (size_t i = 0; i < IndexEntries_.size(); ++i) {
        if (IndexEntries_[i]->Name().startsWith(Text.trimmed(), Qt::CaseInsensitive)) {
            ui->ListIndex->setCurrentRow(static_cast<int>(i));
            ui->ListIndex->scrollToItem(ui->ListIndex->currentItem(), QAbstractItemView::PositionAtTop);
            return;
        }
    }
}

void TFormHelpViewer::ShowIndexEntry(int Row)
{
    if (Row < 0 || static_cast<size_t>(Row) >= IndexEntries_.size())
        return;
    const TChmTopic& entry = *IndexEntries_[static_cast<size_t>(Row)];
    if (entry.Locals.size() == 1) {
        ShowTopic(entry.Local());
        return;
    }
    if (entry.Locals.isEmpty()) {
        if (!entry.SeeAlso.isEmpty()) {
            ui->EditKeyword->setText(entry.SeeAlso);
            KeywordEdited(entry.SeeAlso);
        }
        return;
    }
    // A keyword of several topics: the user picks one.
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("MenuTopics"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (int i = 0; i < entry.Locals.size(); ++i) {
        const QString local = entry.Locals[i];
        connect(menu->addAction(entry.TopicTitle(i)), &QAction::triggered, this,
                [this, local] { ShowTopic(local); });
    }
    const QRect rect = ui->ListIndex->visualItemRect(ui->ListIndex->item(Row));
    menu->popup(ui->ListIndex->viewport()->mapToGlobal(rect.bottomLeft()));
}
