#pragma once

#include "platform/Prompts.h"

#include <QStringList>
#include <functional>

// Answers the start-up questions from a script and records what was asked.
class ScriptedPrompts : public Prompts
{
public:
    void Message(QWidget*, const QString& Text, const QString& Caption, QMessageBox::Icon) override
    {
        Messages << Caption + QStringLiteral("|") + Text;
        if (OnMessage)
            OnMessage();
    }
    bool YesNo(QWidget*, const QString& Text, const QString& Caption) override
    {
        Questions << Text;
        QuestionCaptions << Caption;
        if (OnQuestion)
            OnQuestion();
        return YesAnswers.isEmpty() ? false : YesAnswers.takeFirst();
    }
    QString SaveFileName(QWidget*, const QString&, const QString& Proposed, const QString&, const QString&,
                         const QString&) override
    {
        ProposedIni = Proposed;
        return SaveAnswer;
    }
    QString Folder(QWidget*, const QString&, const QString&) override
    {
        ++FolderAsked;
        return Folders.isEmpty() ? QString() : Folders.takeFirst();
    }

    QStringList Messages;
    QStringList Questions;
    QStringList QuestionCaptions;
    QList<bool> YesAnswers;
    QString SaveAnswer;
    QString ProposedIni;
    QStringList Folders;
    int FolderAsked = 0;
    std::function<void()> OnMessage;
    // Runs while a question is open, as window messages do.
    std::function<void()> OnQuestion;
};
