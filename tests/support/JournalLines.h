#pragma once

#include "core/Device.h"
#include "dispatcher/Journal.h"

#include <QString>
#include <QStringList>

// The journal's lines without their time stamps.
inline QStringList JournalLines(const TFormJournal& Journal)
{
    QStringList lines;
    for (const QString& line : Journal.Lines())
        lines << line.mid(line.indexOf(QStringLiteral(": ")) + 2);
    return lines;
}

// A journal window that is the application's journal while it lives.
class HookedJournal : public TFormJournal
{
public:
    HookedJournal()
    {
        FormJournal = this;
        JournalReady = true;
    }
    ~HookedJournal() override
    {
        JournalReady = false;
        FormJournal = nullptr;
    }
};

// The lines a fault bit of a device writes when it comes and when it goes.
inline QString FaultRaised(const QString& Serial5, int Bit)
{
    return QStringLiteral("Внимание!!! Устройство сер.№ ") + Serial5 + QStringLiteral(": ") + FaultNames[Bit];
}

inline QString FaultCleared(const QString& Serial5, int Bit)
{
    return QStringLiteral("Внимание!!! Устройство сер.№ ") + Serial5 + QStringLiteral(": неисправность \"") +
           FaultNames[Bit] + QStringLiteral("\" устранена");
}
