#include "dispatcher/JournalMessage.h"

#include "core/DeviceFunc.h"
#include "core/Logging.h"
#include "dispatcher/Journal.h"

#include <QDateTime>
#include <QStringList>
#include <utility>

namespace {

// The main window's creation journals (settings warnings, port and modem errors)
// before the journal window exists.
QStringList& earlyLines()
{
    static QStringList lines;
    return lines;
}

} // namespace

void AddJournalMessage(const QString& Text)
{
    const QString line = FormatLogTimeStamp(QDateTime::currentDateTime()) + QStringLiteral(": ") + Text;
    if (JournalReady && FormJournal)
        FormJournal->AddLine(line);
    else if (earlyLines().size() < EarlyJournalLinesMax)
        earlyLines() << line;
    if (LogDebugInfo)
        WriteLog(Text);
}

void ShowEarlyJournalMessages(TFormJournal& Journal)
{
    const QStringList lines = std::exchange(earlyLines(), {});
    for (const QString& line : lines)
        Journal.AddLine(line);
}

bool JournalDeviceError(const QString& E, TDevice& D, const QString& SuffixWithSerial)
{
    // The comparison runs for the empty text too: that is what rearms the rule.
    if (!DeviceErrorChanged(E, D) || E.isEmpty())
        return false;
    AddJournalMessage(E + SuffixWithSerial);
    return true;
}
