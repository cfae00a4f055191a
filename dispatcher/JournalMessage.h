#pragma once

#include <QString>

// Stamps Text and appends it to the journal window (once that exists); while the
// debug log is on, Text also goes to the log, which stamps it itself.
void AddJournalMessage(const QString& Text);
