#pragma once

#include <QMainWindow>
#include <QTimer>

#include <memory>

namespace Ui {
class TFormDeviceDispatcher;
}
class TDeviceTableModel;

// Text of the status bar's polling panel and its width.
class QLabel;

// The main window: the device table, the polling timer, the status bar. It owns
// the start-up state of the run (settings file, archive folder, the modem link).
class TFormDeviceDispatcher : public QMainWindow
{
    Q_OBJECT

public:
    explicit TFormDeviceDispatcher(const QStringList& Args, QWidget* Parent = nullptr);
    ~TFormDeviceDispatcher() override;

    // Reads the settings file into the running system: settings values, the device
    // table and the modem link.
    void LoadSettings(const QString& FileName);

    void AddJournalMessage(const QString& Text);
    void ShowStatusMessage(const QString& Text, bool WithTime);
    QString StatusPanelText(int Panel) const;

    void UpdatePollingActionState();
    void UpdatePollingStatusText();
    void ReloadStringgrid();

    // True once the first show ran to its end; false when the run must end.
    bool FirstShowDone() const { return FirstShowDone_; }
    bool TerminateRequested() const { return TerminateRequested_; }

    QTimer TimerPoll;
    QTimer TimerSoundRepeating;

Q_SIGNALS:
    // The first show refused to go on: the run ends without the usual shutdown.
    void TerminateApplication();

protected:
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;

private:
    void FormCreate();
    void FirstShowSetup();
    void terminate();
    void ActionShowJournalExecute();
    void ActionLogDebugInfoExecute();

    std::unique_ptr<Ui::TFormDeviceDispatcher> ui;
    TDeviceTableModel* Model_ = nullptr;
    QStringList Args_;
    QLabel* PollingPanel_ = nullptr;
    QLabel* MessagePanel_ = nullptr;
    bool FirstShowDone_ = false;
    bool TerminateRequested_ = false;
};

extern TFormDeviceDispatcher* FormDeviceDispatcher;
