#include "dispatcher/JournalMessage.h"

#include "core/Logging.h"
#include "dispatcher/Journal.h"

#include <QDateTime>

void AddJournalMessage(const QString& Text)
{
    if (JournalReady && FormJournal)
        FormJournal->AddLine(FormatLogTimeStamp(QDateTime::currentDateTime()) + QStringLiteral(": ") + Text);
    if (LogDebugInfo)
        WriteLog(Text);
}
