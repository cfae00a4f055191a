#pragma once

#include <QString>

class TDevice;
class TFormJournal;

// Stamps Text and appends it to the journal window; while the debug log is on,
// Text also goes to the log, which stamps it itself. Before the journal window
// exists the stamped line is kept (the first EarlyJournalLinesMax of them) until
// ShowEarlyJournalMessages.
void AddJournalMessage(const QString& Text);

constexpr int EarlyJournalLinesMax = 100;

// Appends the lines kept before the journal window existed to Journal, in order
// and with their own stamps, and forgets them. Called once the journal is made.
void ShowEarlyJournalMessages(TFormJournal& Journal);

// Journals an error of one device as E + SuffixWithSerial, but only when E is not
// empty and differs from the last text compared for the device, so an error that
// repeats every cycle gives one line. An empty E only rearms the rule. True when
// a line was added.
bool JournalDeviceError(const QString& E, TDevice& D, const QString& SuffixWithSerial);
