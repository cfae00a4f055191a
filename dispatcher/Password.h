#pragma once

#include <QDialog>
#include <QString>
#include <memory>

namespace Ui {
class TFormPassword;
}

// The stored service code: the password dialog and the "pwd" parameter compare
// against it, whole text and case as they stand.
bool IsServiceCode(const QString& Text);

// Asks for the service code. The right code switches service mode on for the rest
// of the run; nothing here switches it off. Created once at start-up and reused:
// the typed text stays for the next opening.
class TFormPassword : public QDialog
{
    Q_OBJECT

public:
    explicit TFormPassword(QWidget* Parent = nullptr);
    ~TFormPassword() override;

    void ButtonApplyPasswdClick();

    // Every way the dialog closes ends here: Ok, Cancel, Esc.
    void done(int Result) override;

protected:
    void showEvent(QShowEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void FormCreate();
    void FormClose();

    std::unique_ptr<Ui::TFormPassword> ui;
    bool SelectOnActivate_ = false;
};

extern TFormPassword* FormPassword;
