#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TFormEepromErrorDialog;
}

// The modeless warning window: one text at a time, polling goes on while it is
// open. A new message replaces the one shown and re-lays the window out.
class TFormEepromErrorDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TFormEepromErrorDialog(QWidget* Parent = nullptr);
    ~TFormEepromErrorDialog() override;

    // Puts Text into the window and fits the window around it; the caller shows it.
    void SetMessageText(const QString& Text);
    // SetMessageText and a modeless show, bringing an open window to the front.
    void ShowMessage(const QString& Text);

    QString MessageText() const;

    void ButtonOkClick();
    void FormKeyPress(QChar Key);

protected:
    void keyPressEvent(QKeyEvent* Event) override;

private:
    std::unique_ptr<Ui::TFormEepromErrorDialog> ui;
};

// The one instance, made by the main window at start-up.
extern TFormEepromErrorDialog* FormEepromErrorDialog;

// Sends the exchange's warnings (a reply from another device) to Dialog. A
// dialog that is gone by then is skipped; nullptr disconnects.
void ConnectNetWarnings(TFormEepromErrorDialog* Dialog);
