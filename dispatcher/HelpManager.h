#pragma once

#include "dispatcher/HelpIntfs.h"

#include <QList>
#include <QString>

class QWidget;

// The application's help system: one manager for the run. Windows carry their
// help context in the dynamic property "HelpContext" (set in their .ui file);
// F1 in a window asks for the context of the focused control or its nearest
// parent in the same window that has one.
class THelpManager : public IHelpManager
{
public:
    static THelpManager& Instance();

    // The application's help file, set at start-up.
    void SetApplicationHelpFile(const QString& FileName) { ApplicationHelpFile_ = FileName; }
    QString ApplicationHelpFile() const { return ApplicationHelpFile_; }
    // A help file of the manager's own, used instead of the application's when set.
    void SetHelpFile(const QString& FileName) { HelpFile_ = FileName; }

    // The viewer joins the help system: Manager is set to this manager and the
    // viewer told its number, which is returned.
    int RegisterViewer(ICustomHelpViewer* Viewer, IHelpManager*& Manager);
    void SetHelpSelector(IHelpSelector* Selector) { Selector_ = Selector; }
    IHelpSelector* HelpSelector() const { return Selector_; }
    int ViewerCount() const { return static_cast<int>(Viewers_.size()); }

    // The requests; false when no viewer takes them.
    bool HelpContext(int ContextID);
    bool HelpKeyword(const QString& Keyword);
    bool HelpJump(const QString& Topic);
    bool ShowTableOfContents();

    // The help context for F1 in Widget: its own or its nearest parent's in the same window, else 0.
    static int WidgetHelpContext(const QWidget* Widget);

    QWidget* GetHandle() const override;
    QString GetHelpFile() const override { return HelpFile_; }
    void Release(int ViewerID) override;

private:
    THelpManager() = default;
    QString RequestHelpFile() const;

    struct TRegistration
    {
        int ID = 0;
        ICustomHelpViewer* Viewer = nullptr;
    };
    QList<TRegistration> Viewers_;
    IHelpSelector* Selector_ = nullptr;
    int NextID_ = 1;
    QString ApplicationHelpFile_;
    QString HelpFile_;
};
