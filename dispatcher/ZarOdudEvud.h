#pragma once

#include "dispatcher/HelpIntfs.h"

#include <QVariant>
#include <functional>
#include <memory>

class TFormHelpViewer;

// The help viewer that serves ".chm" files. It registers with the help manager,
// acts as its help selector and passes every request it takes to the help
// engine as one HTML Help command: the in-process help window.
class TZarOdudEvudViewer : public ICustomHelpViewer, public IExtendedHelpViewer, public IHelpSelector
{
public:
    // The engine's entry: owner window, file ("help.chm" or "help.chm::/topic.htm"),
    // command and its data.
    using THtmlHelpFunc =
        std::function<void(QWidget* Owner, const QString& File, int Command, const QVariant& Data)>;

    TZarOdudEvudViewer();
    ~TZarOdudEvudViewer() override;

    int ViewerID = 0;
    const QString ViewerName = QStringLiteral("ZarOdudEvud");
    // Empty when the engine is not there: every request then does nothing.
    THtmlHelpFunc HtmlHelpA;
    IHelpManager* HelpManager = nullptr;
    QString DefaultExt = QStringLiteral(".htm");

    QString GetViewerName() override { return ViewerName; }
    int UnderstandsKeyword(const QString& HelpString) override;
    QStringList GetHelpStrings(const QString& HelpString) override;
    bool CanShowTableOfContents() override { return true; }
    void ShowTableOfContents() override;
    void ShowHelp(const QString& HelpString) override;
    void NotifyID(int ID) override { ViewerID = ID; }
    void SoftShutDown() override;
    void ShutDown() override;

    bool UnderstandsTopic(const QString& Topic) override;
    void DisplayTopic(const QString& Topic) override;
    bool UnderstandsContext(int ContextID, const QString& HelpFileName) override;
    void DisplayHelpByContext(int ContextID, const QString& HelpFileName) override;

    int SelectKeyword(const QStringList& Keywords) override;
    int TableOfContents(const QStringList& Contents) override;

    // The manager's help file, else the application's; a bare name lies in the executable's folder.
    QString CurrentHelpFile() const;
    static bool IsChmFile(const QString& FileName);
    // The help window, once a request has made it.
    TFormHelpViewer* Window() const { return Window_.get(); }

private:
    void CallHtmlHelp(const QString& File, int Command, const QVariant& Data = {});

    std::unique_ptr<TFormHelpViewer> Window_;
};

// The one viewer of the run, from InitializeZarOdudEvud to FinalizeZarOdudEvud.
extern std::unique_ptr<TZarOdudEvudViewer> ZarOdudEvudViewer;

// Creates the viewer, registers it with the help manager and makes it the help selector.
void InitializeZarOdudEvud();
// Takes the viewer out of the help system and frees it with its window.
void FinalizeZarOdudEvud();
