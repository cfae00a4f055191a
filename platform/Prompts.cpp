#include "platform/Prompts.h"

#include <QFileDialog>
#include <QPushButton>

namespace {
Prompts* current = nullptr;
}

Prompts& Prompts::Current()
{
    static Prompts dialogs;
    return current ? *current : dialogs;
}

void Prompts::SetCurrent(Prompts* P)
{
    current = P;
}

void Prompts::Message(QWidget* Parent, const QString& Text, const QString& Caption, QMessageBox::Icon Icon)
{
    QMessageBox box(Icon, Caption, Text, QMessageBox::Ok, Parent);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.exec();
}

bool Prompts::YesNo(QWidget* Parent, const QString& Text, const QString& Caption)
{
    QMessageBox box(QMessageBox::Question, Caption, Text, QMessageBox::Yes | QMessageBox::No, Parent);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Да"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Нет"));
    return box.exec() == QMessageBox::Yes;
}

QString Prompts::SaveFileName(QWidget* Parent, const QString& Title, const QString& Proposed,
                              const QString& Filter, const QString& DefaultSuffix, const QString& AcceptText)
{
    QFileDialog dialog(Parent, Title, Proposed, Filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(DefaultSuffix);
    dialog.setLabelText(QFileDialog::Accept, AcceptText);
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Отмена"));
    dialog.selectFile(Proposed);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString Prompts::Folder(QWidget* Parent, const QString& Title, const QString& Start)
{
    QFileDialog dialog(Parent, Title, Start);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Выбрать"));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Отмена"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}
