#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

// Message boxes and file/folder questions, behind one interface so tests can
// answer them. Button texts are set explicitly: no Qt translations are installed.
class Prompts
{
public:
    virtual ~Prompts() = default;

    // OK box; returns when the user closed it.
    virtual void Message(QWidget* Parent, const QString& Text, const QString& Caption,
                         QMessageBox::Icon Icon = QMessageBox::Warning);
    // Yes/No box; true for Yes.
    virtual bool YesNo(QWidget* Parent, const QString& Text, const QString& Caption);
    // Save dialog; empty when cancelled.
    virtual QString SaveFileName(QWidget* Parent, const QString& Title, const QString& Proposed,
                                 const QString& Filter, const QString& DefaultSuffix,
                                 const QString& AcceptText);
    // Folder dialog; empty when cancelled.
    virtual QString Folder(QWidget* Parent, const QString& Title, const QString& Start);

    static Prompts& Current();
    // nullptr restores the dialogs; the caller keeps ownership.
    static void SetCurrent(Prompts* P);
};
