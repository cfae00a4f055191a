#include "core/Sound.h"

#include "platform/SoundOut.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

quint8 AlarmKind = 0;
TSoundMode SoundMode = TSoundMode::Multimedia;
TSoundRepeatMode SoundRepeatMode = TSoundRepeatMode::Once;
QByteArray WaveData;

namespace {

constexpr int AlarmToneCount = 16;
constexpr int AlarmToneMs = 50;
// Shorter images hold no sound worth playing (a bare header is 44 bytes).
constexpr qsizetype MinWaveSize = 100;

} // namespace

QString AlarmSoundFileName()
{
    const QString name = QStringLiteral("alarm.wav");
    const QDir dir(QCoreApplication::applicationDirPath());
    if (dir.exists(name))
        return dir.filePath(name);
    // Name filters ignore case, so "Alarm.WAV" copied from Windows is found too.
    const QStringList found = dir.entryList({name}, QDir::Files);
    return dir.filePath(found.isEmpty() ? name : found.first());
}

void LoadAlarmSound()
{
    LoadAlarmSound(AlarmSoundFileName());
}

void LoadAlarmSound(const QString& FileName)
{
    AlarmKind = 0;
    WaveData.clear();
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray data = file.readAll();
    if (file.error() == QFileDevice::NoError)
        WaveData = data;
}

std::vector<Tone> AlarmTones()
{
    std::vector<Tone> tones;
    for (int i = 0; i < AlarmToneCount; ++i)
        tones.push_back({i % 2 == 0 ? 1000 : 2000, AlarmToneMs});
    return tones;
}

void PlayAlarmSound(bool Explicit, quint8 Kind, TSoundMode Mode)
{
    if (!Explicit) {
        Kind = AlarmKind;
        Mode = SoundMode;
    }
    if (Kind != 1)
        return;
    switch (Mode) {
    case TSoundMode::Speaker:
        SoundOut::Current().PlayTones(AlarmTones());
        break;
    case TSoundMode::Multimedia:
        if (WaveData.size() > MinWaveSize)
            SoundOut::Current().PlayWave(WaveData);
        break;
    case TSoundMode::None:
        break;
    }
}

int SoundModeToIndex(TSoundMode Mode, int Default)
{
    const int index = static_cast<int>(Mode);
    return index >= 0 && index <= 2 ? index : Default;
}

TSoundMode IndexToSoundMode(int Index, TSoundMode Default)
{
    return Index >= 0 && Index <= 2 ? static_cast<TSoundMode>(Index) : Default;
}

int SoundRepeatModeToIndex(TSoundRepeatMode Mode, int Default)
{
    const int index = static_cast<int>(Mode);
    return index >= 0 && index <= 1 ? index : Default;
}

TSoundRepeatMode IndexToSoundRepeatMode(int Index, TSoundRepeatMode Default)
{
    return Index >= 0 && Index <= 1 ? static_cast<TSoundRepeatMode>(Index) : Default;
}
