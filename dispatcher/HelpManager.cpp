#include "dispatcher/HelpManager.h"

#include <QApplication>
#include <QKeyEvent>
#include <QVariant>
#include <QWidget>

namespace {

const char HelpContextProperty[] = "HelpContext";

// Catches F1 before any window sees it, as the class library's help key does.
class THelpKeyFilter : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject* Watched, QEvent* Event) override
    {
        if (Event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(Event);
        if (key->key() != Qt::Key_F1 || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        const auto* widget = qobject_cast<QWidget*>(Watched);
        const int context = widget ? THelpManager::WidgetHelpContext(widget) : 0;
        if (context == 0)
            return false;
        THelpManager::Instance().HelpContext(context);
        return true;
    }
};

} // namespace

THelpManager& THelpManager::Instance()
{
    static THelpManager manager;
    static bool keyFilterInstalled = false;
    if (!keyFilterInstalled && qApp) {
        qApp->installEventFilter(new THelpKeyFilter(qApp));
        keyFilterInstalled = true;
    }
    return manager;
}

int THelpManager::RegisterViewer(ICustomHelpViewer* Viewer, IHelpManager*& Manager)
{
    const int id = NextID_++;
    Viewers_.append({id, Viewer});
    Manager = this;
    Viewer->NotifyID(id);
    return id;
}

void THelpManager::Release(int ViewerID)
{
    for (qsizetype i = 0; i < Viewers_.size(); ++i) {
        if (Viewers_[i].ID != ViewerID)
            continue;
        if (Selector_ && dynamic_cast<IHelpSelector*>(Viewers_[i].Viewer) == Selector_)
            Selector_ = nullptr;
        Viewers_.removeAt(i);
        return;
    }
}

QWidget* THelpManager::GetHandle() const
{
    return QApplication::activeWindow();
}

QString THelpManager::RequestHelpFile() const
{
    return HelpFile_.isEmpty() ? ApplicationHelpFile_ : HelpFile_;
}

bool THelpManager::HelpContext(int ContextID)
{
    const QString file = RequestHelpFile();
    for (const TRegistration& r : QList<TRegistration>(Viewers_)) {
        auto* extended = dynamic_cast<IExtendedHelpViewer*>(r.Viewer);
        if (extended && extended->UnderstandsContext(ContextID, file)) {
            extended->DisplayHelpByContext(ContextID, file);
            return true;
        }
    }
    return false;
}

bool THelpManager::HelpKeyword(const QString& Keyword)
{
    QStringList strings;
    QList<ICustomHelpViewer*> owners;
    for (const TRegistration& r : QList<TRegistration>(Viewers_)) {
        if (r.Viewer->UnderstandsKeyword(Keyword) <= 0)
            continue;
        for (const QString& s : r.Viewer->GetHelpStrings(Keyword)) {
            strings << s;
            owners << r.Viewer;
        }
    }
    if (strings.isEmpty())
        return false;
    qsizetype chosen = 0;
    if (strings.size() > 1 && Selector_)
        chosen = Selector_->SelectKeyword(strings);
    if (chosen < 0 || chosen >= strings.size())
        return false;
    owners[chosen]->ShowHelp(strings[chosen]);
    return true;
}

bool THelpManager::HelpJump(const QString& Topic)
{
    for (const TRegistration& r : QList<TRegistration>(Viewers_)) {
        auto* extended = dynamic_cast<IExtendedHelpViewer*>(r.Viewer);
        if (extended && extended->UnderstandsTopic(Topic)) {
            extended->DisplayTopic(Topic);
            return true;
        }
    }
    return false;
}

bool THelpManager::ShowTableOfContents()
{
    QStringList names;
    QList<ICustomHelpViewer*> able;
    for (const TRegistration& r : QList<TRegistration>(Viewers_)) {
        if (r.Viewer->CanShowTableOfContents()) {
            names << r.Viewer->GetViewerName();
            able << r.Viewer;
        }
    }
    if (able.isEmpty())
        return false;
    qsizetype chosen = 0;
    if (able.size() > 1 && Selector_)
        chosen = Selector_->TableOfContents(names);
    if (chosen < 0 || chosen >= able.size())
        return false;
    able[chosen]->ShowTableOfContents();
    return true;
}

int THelpManager::WidgetHelpContext(const QWidget* Widget)
{
    for (const QWidget* w = Widget; w; w = w->parentWidget()) {
        const int context = w->property(HelpContextProperty).toInt();
        if (context != 0)
            return context;
        if (w->isWindow())
            break;
    }
    return 0;
}
