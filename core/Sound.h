#pragma once

#include "platform/WaveImage.h"

#include <QByteArray>
#include <QString>
#include <vector>

// Where the alarm sound comes from.
enum class TSoundMode : quint8
{
    None = 0,
    Speaker = 1,   // a tone sequence
    Multimedia = 2 // the sound file
};

// Whether the main window repeats the alarm every 5 s while an alarm lasts; the
// repetition itself is the main window's timer.
enum class TSoundRepeatMode : quint8
{
    Once = 0,
    Repeat = 1
};

// 0 no alarm, 1 alarm; set by the main window's alarm evaluation.
extern quint8 AlarmKind;
// The configured source and repetition ("Sound" section of the settings file).
extern TSoundMode SoundMode;
extern TSoundRepeatMode SoundRepeatMode;
// The whole alarm sound file, empty when there is none.
extern QByteArray WaveData;

// "alarm.wav" in the executable's folder (any letter case, as on Windows).
QString AlarmSoundFileName();

// Clears AlarmKind and reads the whole sound file into WaveData. A missing or
// unreadable file leaves WaveData empty and is not reported.
void LoadAlarmSound();
void LoadAlarmSound(const QString& FileName);

// Plays the alarm once through SoundOut::Current() and returns at once. With
// Explicit false the globals AlarmKind and SoundMode decide, otherwise Kind and
// Mode (the settings dialog's sample). Kind 1 only; the sound file only when it
// is longer than 100 bytes.
void PlayAlarmSound(bool Explicit, quint8 Kind, TSoundMode Mode);

// 16 tones of 50 ms, alternating 1000 Hz and 2000 Hz, 1000 Hz first.
std::vector<Tone> AlarmTones();

// Index <-> enumeration for the settings file and the settings dialog; anything
// outside the enumeration gives Default.
int SoundModeToIndex(TSoundMode Mode, int Default);
TSoundMode IndexToSoundMode(int Index, TSoundMode Default);
int SoundRepeatModeToIndex(TSoundRepeatMode Mode, int Default);
TSoundRepeatMode IndexToSoundRepeatMode(int Index, TSoundRepeatMode Default);
