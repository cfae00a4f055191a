#pragma once

#include <QString>

class TDevice;

// Stamps Text and appends it to the journal window (once that exists); while the
// debug log is on, Text also goes to the log, which stamps it itself.
void AddJournalMessage(const QString& Text);

// Journals an error of one device as E + SuffixWithSerial, but only when E is not
// empty and differs from the last text compared for the device, so an error that
// repeats every cycle gives one line. An empty E only rearms the rule. True when
// a line was added.
bool JournalDeviceError(const QString& E, TDevice& D, const QString& SuffixWithSerial);
