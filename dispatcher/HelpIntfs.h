#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// The help system's interfaces: the manager routes each help request (a window's
// help context, a keyword, a topic, the table of contents) to the registered
// viewers that say they understand it; a selector chooses when several do.

class IHelpManager
{
public:
    virtual ~IHelpManager() = default;
    // The window help windows are owned by.
    virtual QWidget* GetHandle() const = 0;
    // The manager's own help file; empty means the application's.
    virtual QString GetHelpFile() const = 0;
    // The viewer leaves the help system.
    virtual void Release(int ViewerID) = 0;
};

class ICustomHelpViewer
{
public:
    virtual ~ICustomHelpViewer() = default;
    virtual QString GetViewerName() = 0;
    virtual int UnderstandsKeyword(const QString& HelpString) = 0;
    virtual QStringList GetHelpStrings(const QString& HelpString) = 0;
    virtual bool CanShowTableOfContents() = 0;
    virtual void ShowTableOfContents() = 0;
    virtual void ShowHelp(const QString& HelpString) = 0;
    virtual void NotifyID(int ViewerID) = 0;
    virtual void SoftShutDown() = 0;
    virtual void ShutDown() = 0;
};

class IExtendedHelpViewer
{
public:
    virtual ~IExtendedHelpViewer() = default;
    virtual bool UnderstandsTopic(const QString& Topic) = 0;
    virtual void DisplayTopic(const QString& Topic) = 0;
    virtual bool UnderstandsContext(int ContextID, const QString& HelpFileName) = 0;
    virtual void DisplayHelpByContext(int ContextID, const QString& HelpFileName) = 0;
};

class IHelpSelector
{
public:
    virtual ~IHelpSelector() = default;
    virtual int SelectKeyword(const QStringList& Keywords) = 0;
    virtual int TableOfContents(const QStringList& Contents) = 0;
};
