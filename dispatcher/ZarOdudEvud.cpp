#include "dispatcher/ZarOdudEvud.h"

#include "dispatcher/HelpManager.h"
#include "dispatcher/HelpViewer.h"

#include <QCoreApplication>
#include <QDir>

std::unique_ptr<TZarOdudEvudViewer> ZarOdudEvudViewer;

namespace {

// The text from the last "." to the end; empty without one.
QString extensionOf(const QString& FileName)
{
    const qsizetype dot = FileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : FileName.mid(dot);
}

} // namespace

TZarOdudEvudViewer::TZarOdudEvudViewer()
{
    // The engine is the help window of this process, made at the first request.
    HtmlHelpA = [this](QWidget* Owner, const QString& File, int Command, const QVariant& Data) {
        if (Command == HH_CLOSE_ALL && !Window_)
            return;
        if (!Window_)
            Window_ = std::make_unique<TFormHelpViewer>();
        Window_->HtmlHelp(Owner, File, Command, Data);
    };
}

TZarOdudEvudViewer::~TZarOdudEvudViewer()
{
    // The manager must not keep a viewer that is gone.
    if (HelpManager)
        HelpManager->Release(ViewerID);
}

bool TZarOdudEvudViewer::IsChmFile(const QString& FileName)
{
    return extensionOf(FileName).compare(QLatin1String(".chm"), Qt::CaseInsensitive) == 0;
}

QString TZarOdudEvudViewer::CurrentHelpFile() const
{
    QString file = HelpManager ? HelpManager->GetHelpFile() : QString();
    if (file.isEmpty())
        file = THelpManager::Instance().ApplicationHelpFile();
    if (!file.isEmpty() && !file.contains(QLatin1Char('/')))
        file = QDir(QCoreApplication::applicationDirPath()).filePath(file);
    return file;
}

void TZarOdudEvudViewer::CallHtmlHelp(const QString& File, int Command, const QVariant& Data)
{
    if (!HtmlHelpA)
        return;
    if (Command == HH_CLOSE_ALL)
        HtmlHelpA(nullptr, QString(), HH_CLOSE_ALL, {});
    else
        HtmlHelpA(HelpManager ? HelpManager->GetHandle() : nullptr, File, Command, Data);
}

int TZarOdudEvudViewer::UnderstandsKeyword(const QString&)
{
    return IsChmFile(CurrentHelpFile()) ? 1 : 0;
}

QStringList TZarOdudEvudViewer::GetHelpStrings(const QString& HelpString)
{
    return {ViewerName + QStringLiteral(": ") + HelpString};
}

void TZarOdudEvudViewer::ShowTableOfContents()
{
    const QString file = CurrentHelpFile();
    if (IsChmFile(file))
        CallHtmlHelp(file, HH_DISPLAY_TOC);
}

void TZarOdudEvudViewer::ShowHelp(const QString& HelpString)
{
    const QString file = CurrentHelpFile();
    if (!IsChmFile(file))
        return;
    const QString keyword = HelpString.mid(HelpString.indexOf(QLatin1Char(':')) + 1).trimmed();
    CallHtmlHelp(file, HH_DISPLAY_INDEX, keyword);
}

void TZarOdudEvudViewer::SoftShutDown()
{
    CallHtmlHelp(QString(), HH_CLOSE_ALL);
}

void TZarOdudEvudViewer::ShutDown()
{
    CallHtmlHelp(QString(), HH_CLOSE_ALL);
    HelpManager = nullptr;
}

bool TZarOdudEvudViewer::UnderstandsTopic(const QString&)
{
    return IsChmFile(CurrentHelpFile());
}

void TZarOdudEvudViewer::DisplayTopic(const QString& Topic)
{
    const QString file = CurrentHelpFile();
    if (!IsChmFile(file))
        return;
    QString topic = Topic;
    const QString ext = extensionOf(topic).toLower();
    if (ext != QLatin1String(".htm") && ext != QLatin1String(".html"))
        topic += DefaultExt;
    CallHtmlHelp(file + QStringLiteral("::/") + topic, HH_DISPLAY_TOPIC);
}

bool TZarOdudEvudViewer::UnderstandsContext(int, const QString& HelpFileName)
{
    return IsChmFile(HelpFileName);
}

void TZarOdudEvudViewer::DisplayHelpByContext(int ContextID, const QString&)
{
    const QString file = CurrentHelpFile();
    if (IsChmFile(file))
        CallHtmlHelp(file, HH_HELP_CONTEXT, ContextID);
}

int TZarOdudEvudViewer::SelectKeyword(const QStringList& Keywords)
{
    for (qsizetype i = 0; i < Keywords.size(); ++i) {
        const qsizetype colon = Keywords[i].indexOf(QLatin1Char(':'));
        if (colon >= 0 && Keywords[i].left(colon) == ViewerName)
            return static_cast<int>(i);
    }
    return 0;
}

int TZarOdudEvudViewer::TableOfContents(const QStringList& Contents)
{
    return static_cast<int>(Contents.indexOf(ViewerName));
}

void InitializeZarOdudEvud()
{
    ZarOdudEvudViewer = std::make_unique<TZarOdudEvudViewer>();
    THelpManager& manager = THelpManager::Instance();
    manager.RegisterViewer(ZarOdudEvudViewer.get(), ZarOdudEvudViewer->HelpManager);
    manager.SetHelpSelector(ZarOdudEvudViewer.get());
}

void FinalizeZarOdudEvud()
{
    if (!ZarOdudEvudViewer)
        return;
    // Also when a shutdown has already let the manager go, so it keeps no dangling viewer.
    THelpManager::Instance().Release(ZarOdudEvudViewer->ViewerID);
    ZarOdudEvudViewer->HelpManager = nullptr;
    ZarOdudEvudViewer.reset();
}
