#pragma once

// Applying what the settings dialog hands back to the running program, the
// settings file and the radio modem. Window-free: the main window passes what
// of it is touched.

#include "dispatcher/SettingsFile.h"

#include <QString>
#include <functional>

class QTimer;
class QWidget;

// What applying the settings touches of the main window.
struct TSettingsApplyTarget
{
    // Gets the caption with the new radio channel; parent of the message boxes.
    QWidget* MainWindow = nullptr;
    // Gets the new period; whether it runs is left as it is.
    QTimer* TimerPoll = nullptr;
    // Panel 0 of the status bar.
    std::function<void()> UpdatePollingStatusText;
};

// "Кловарис (канал радиомодема №" + Channel + ")".
QString DispatcherCaption(int Channel);

// The port number of a port list item: the characters after the first "COM",
// 1..255. False with a Russian text for an empty item, text that is no number
// and a number the link cannot take (the port search goes up to 256).
bool ParseComPortItem(const QString& Text, int& PortNum, QString& Error);

// Applies validated dialog values in this order: the eleven keys of the settings
// file (one save), running values (archive folder and daily change time, polling,
// sound), the poll timer's period, the polling text, then the modem
// (ApplyModemSettings). The archive keeps its open folder (ArchiveDir) until the
// next start. A settings file that cannot be written is reported in a message box
// and nothing else changes: false then.
bool ApplySettings(const TSettingsValues& Values, const TSettingsApplyTarget& Target);

// Moves the modem link to NewPort when it is on another port (closing and
// reopening the same link, which polling picks up at its next exchange), then
// sets and reads back the channel and the power when they differ from RFChannel
// and RFPowerLevel. Failures go to the journal, a failed close also to a message
// box. A port that does not open ends it there, leaving RFChannel, RFPowerLevel
// and the caption as they were; false then.
bool ApplyModemSettings(int NewPort, int NewChannel, int NewPower, QWidget* MainWindow);
