#include "dispatcher/Journal.h"

#include "ui_Journal.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

bool JournalReady = false;
TFormJournal* FormJournal = nullptr;

TFormJournal::TFormJournal(QWidget* parent)
    : QWidget(parent, Qt::Window), ui(std::make_unique<Ui::TFormJournal>())
{
    ui->setupUi(this);
    // Also ends the undo history, which would keep every line a second time.
    ui->MemoJournal->setMaximumBlockCount(MaxLines);
    connect(ui->ButtonClearJournalWindow, &QPushButton::clicked, this,
            &TFormJournal::ButtonClearJournalWindowClick);
    JournalReady = true;
}

TFormJournal::~TFormJournal()
{
    if (FormJournal == this)
        FormJournal = nullptr;
}

void TFormJournal::showEvent(QShowEvent* Event)
{
    // The first time it opens centred on its owner; afterwards where the operator left it.
    if (!Placed_ && parentWidget()) {
        const QRect owner = parentWidget()->window()->geometry();
        move(owner.center() - QPoint(width() / 2, height() / 2));
    }
    Placed_ = true;
    QWidget::showEvent(Event);
}

void TFormJournal::AddLine(const QString& S)
{
    QPlainTextEdit* memo = ui->MemoJournal;
    if (ui->CheckBoxAutoscroll->isChecked()) {
        memo->appendPlainText(S);
        memo->verticalScrollBar()->setValue(memo->verticalScrollBar()->maximum());
        return;
    }
    // Append at the end through a cursor of our own so the view keeps its place.
    QScrollBar* vbar = memo->verticalScrollBar();
    QScrollBar* hbar = memo->horizontalScrollBar();
    const int v = vbar->value();
    const int h = hbar->value();
    QTextCursor cursor(memo->document());
    cursor.movePosition(QTextCursor::End);
    if (!memo->document()->isEmpty())
        cursor.insertBlock();
    cursor.insertText(S);
    vbar->setValue(v);
    hbar->setValue(h);
}

QStringList TFormJournal::Lines() const
{
    QStringList lines;
    const QTextDocument* doc = ui->MemoJournal->document();
    if (doc->isEmpty())
        return lines;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        lines << b.text();
    return lines;
}

bool TFormJournal::Autoscroll() const
{
    return ui->CheckBoxAutoscroll->isChecked();
}

void TFormJournal::SetAutoscroll(bool On)
{
    ui->CheckBoxAutoscroll->setChecked(On);
}

void TFormJournal::ButtonClearJournalWindowClick()
{
    ui->MemoJournal->clear();
}
