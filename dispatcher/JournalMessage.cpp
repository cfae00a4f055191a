#include "dispatcher/JournalMessage.h"

#include "core/DeviceFunc.h"
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

bool JournalDeviceError(const QString& E, TDevice& D, const QString& SuffixWithSerial)
{
    // The comparison runs for the empty text too: that is what rearms the rule.
    if (!DeviceErrorChanged(E, D) || E.isEmpty())
        return false;
    AddJournalMessage(E + SuffixWithSerial);
    return true;
}
