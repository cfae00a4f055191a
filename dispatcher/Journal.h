#pragma once

#include <QWidget>
#include <memory>

namespace Ui {
class TFormJournal;
}

// False until the journal window exists; journal lines before that wait for it
// (JournalMessage.h).
extern bool JournalReady;

// The warnings journal window. It lives for the whole run; lines are added
// whether it is shown or not and are kept only here.
class TFormJournal : public QWidget
{
    Q_OBJECT

public:
    explicit TFormJournal(QWidget* parent = nullptr);
    ~TFormJournal() override;

    // Lines kept: a run of months would otherwise hold every line ever written
    // (the debug log keeps them all while it is on).
    static constexpr int MaxLines = 10000;

    // Appends S as the last line, dropping the oldest beyond MaxLines. Without
    // autoscroll the view stays where the operator left it.
    void AddLine(const QString& S);
    QStringList Lines() const;
    bool Autoscroll() const;
    void SetAutoscroll(bool On);

protected:
    void showEvent(QShowEvent* Event) override;

private Q_SLOTS:
    void ButtonClearJournalWindowClick();

private:
    std::unique_ptr<Ui::TFormJournal> ui;
    bool Placed_ = false;
};

extern TFormJournal* FormJournal;
