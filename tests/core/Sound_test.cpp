#include "core/Sound.h"
#include "platform/SoundOut.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Records what would have reached the speaker.
class RecordingOut final : public SoundOut
{
public:
    bool PlayWave(const QByteArray& Image) override
    {
        waves.append(Image);
        return true;
    }
    bool PlayTones(std::span<const Tone> Tones) override
    {
        tones.emplace_back(Tones.begin(), Tones.end());
        return true;
    }
    void Stop() override {}
    bool IsPlaying() const override { return false; }

    int played() const { return static_cast<int>(waves.size() + tones.size()); }

    QList<QByteArray> waves;
    std::vector<std::vector<Tone>> tones;
};

class AlarmSound : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        saved = {AlarmKind, SoundMode, SoundRepeatMode, WaveData};
    }
    void TearDown() override
    {
        AlarmKind = saved.kind;
        SoundMode = saved.mode;
        SoundRepeatMode = saved.repeat;
        WaveData = saved.wave;
    }

    QString file(int size)
    {
        const QString name = dir.filePath(QStringLiteral("alarm%1.wav").arg(size));
        QFile f(name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        QByteArray bytes(size, '\x55');
        bytes.replace(0, 4, "RIFF");
        f.write(bytes);
        return name;
    }

    QTemporaryDir dir;
    RecordingOut out;
    ScopedSoundOut scope{out};
    struct
    {
        quint8 kind;
        TSoundMode mode;
        TSoundRepeatMode repeat;
        QByteArray wave;
    } saved{};
};

TEST_F(AlarmSound, SoundFileIsPlayedOnlyWhenLongerThan100Bytes)
{
    LoadAlarmSound(file(100));
    ASSERT_EQ(WaveData.size(), 100);
    PlayAlarmSound(true, 1, TSoundMode::Multimedia);
    AlarmKind = 1;
    SoundMode = TSoundMode::Multimedia;
    PlayAlarmSound(false, 0, TSoundMode::None);
    EXPECT_EQ(out.played(), 0);

    LoadAlarmSound(file(101));
    EXPECT_EQ(AlarmKind, 0); // loading clears the alarm
    PlayAlarmSound(true, 1, TSoundMode::Multimedia);
    ASSERT_EQ(out.waves.size(), 1);
    EXPECT_EQ(out.waves[0].size(), 101);
    EXPECT_TRUE(out.waves[0].startsWith("RIFF"));
    EXPECT_TRUE(out.tones.empty());
}

TEST_F(AlarmSound, MissingOrUnreadableFileMeansSilence)
{
    LoadAlarmSound(file(4000));
    ASSERT_EQ(WaveData.size(), 4000);
    // A failed load drops what an earlier one read.
    LoadAlarmSound(dir.filePath(QStringLiteral("missing.wav")));
    EXPECT_TRUE(WaveData.isEmpty());
    PlayAlarmSound(true, 1, TSoundMode::Multimedia);

    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.wav")));
    LoadAlarmSound(dir.filePath(QStringLiteral("folder.wav")));
    EXPECT_TRUE(WaveData.isEmpty());
    PlayAlarmSound(true, 1, TSoundMode::Multimedia);
    EXPECT_EQ(out.played(), 0);
}

TEST_F(AlarmSound, SpeakerPlaysSixteenAlternatingTones)
{
    PlayAlarmSound(true, 1, TSoundMode::Speaker);
    ASSERT_EQ(out.tones.size(), 1u);
    const std::vector<Tone>& seq = out.tones[0];
    ASSERT_EQ(seq.size(), 16u);
    for (size_t i = 0; i < seq.size(); ++i) {
        EXPECT_EQ(seq[i].FrequencyHz, i % 2 == 0 ? 1000 : 2000) << i;
        EXPECT_EQ(seq[i].DurationMs, 50) << i;
    }
    // What the speaker plays: 16 x 50 ms at the right pitches.
    const std::vector<qint16> pcm = SynthesizeTones(seq, 8000);
    ASSERT_EQ(pcm.size(), 16u * 400);
    for (int t = 0; t < 16; ++t) {
        int up = 0;
        for (int i = t * 400 + 1; i < (t + 1) * 400; ++i)
            up += pcm[i - 1] < 0 && pcm[i] >= 0;
        EXPECT_NEAR(up, t % 2 == 0 ? 50 : 100, 1) << t;
    }
    EXPECT_TRUE(out.waves.isEmpty());
}

TEST_F(AlarmSound, GlobalsDecideUnlessExplicit)
{
    LoadAlarmSound(file(500));

    // No alarm: nothing, whatever the mode and the arguments say.
    AlarmKind = 0;
    for (const TSoundMode m : {TSoundMode::None, TSoundMode::Speaker, TSoundMode::Multimedia}) {
        SoundMode = m;
        PlayAlarmSound(false, 1, TSoundMode::Speaker);
        PlayAlarmSound(false, 1, TSoundMode::Multimedia);
    }
    EXPECT_EQ(out.played(), 0);

    AlarmKind = 1;
    SoundMode = TSoundMode::None;
    PlayAlarmSound(false, 1, TSoundMode::Speaker);
    EXPECT_EQ(out.played(), 0);
    SoundMode = TSoundMode::Speaker;
    PlayAlarmSound(false, 0, TSoundMode::Multimedia);
    EXPECT_EQ(out.tones.size(), 1u);
    EXPECT_EQ(out.waves.size(), 0);

    // Explicit: the arguments, not the globals.
    AlarmKind = 0;
    SoundMode = TSoundMode::None;
    PlayAlarmSound(true, 1, TSoundMode::Multimedia);
    EXPECT_EQ(out.waves.size(), 1);
    PlayAlarmSound(true, 0, TSoundMode::Multimedia);
    PlayAlarmSound(true, 2, TSoundMode::Speaker);
    PlayAlarmSound(true, 1, TSoundMode::None);
    PlayAlarmSound(true, 1, static_cast<TSoundMode>(3));
    EXPECT_EQ(out.played(), 2);
}

TEST(SoundConverters, OutOfRangeGivesTheDefault)
{
    EXPECT_EQ(IndexToSoundMode(3, TSoundMode::Multimedia), TSoundMode::Multimedia);
    EXPECT_EQ(IndexToSoundMode(-1, TSoundMode::Speaker), TSoundMode::Speaker);
    for (int i = 0; i <= 2; ++i) {
        EXPECT_EQ(IndexToSoundMode(i, TSoundMode::Multimedia), static_cast<TSoundMode>(i));
        EXPECT_EQ(SoundModeToIndex(static_cast<TSoundMode>(i), -7), i);
    }
    EXPECT_EQ(SoundModeToIndex(static_cast<TSoundMode>(3), 2), 2);
    EXPECT_EQ(SoundModeToIndex(static_cast<TSoundMode>(255), -1), -1);

    EXPECT_EQ(IndexToSoundRepeatMode(-1, TSoundRepeatMode::Once), TSoundRepeatMode::Once);
    EXPECT_EQ(IndexToSoundRepeatMode(2, TSoundRepeatMode::Repeat), TSoundRepeatMode::Repeat);
    EXPECT_EQ(IndexToSoundRepeatMode(0, TSoundRepeatMode::Repeat), TSoundRepeatMode::Once);
    EXPECT_EQ(IndexToSoundRepeatMode(1, TSoundRepeatMode::Once), TSoundRepeatMode::Repeat);
    EXPECT_EQ(SoundRepeatModeToIndex(TSoundRepeatMode::Repeat, 0), 1);
    EXPECT_EQ(SoundRepeatModeToIndex(static_cast<TSoundRepeatMode>(2), 0), 0);
}

TEST(AlarmSoundFile, GeneratedAlarmBesideTheApplicationIsAPlayableWave)
{
    // The build writes alarm.wav beside klov, one folder above the test programs.
    const QString name =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../alarm.wav"));
    ASSERT_TRUE(QFile::exists(name)) << name.toStdString();
    const QByteArray savedWave = WaveData;
    LoadAlarmSound(name);
    const QByteArray image = WaveData;
    WaveData = savedWave;

    ASSERT_GT(image.size(), 100);
    WaveImage wave;
    QString error;
    ASSERT_TRUE(ParseWaveImage(image, wave, error)) << error.toStdString();
    EXPECT_EQ(wave.Kind, WaveImage::Encoding::Pcm);
    EXPECT_EQ(wave.BitsPerSample, 16);
    EXPECT_EQ(wave.Channels, 1);
    EXPECT_GE(wave.DurationMs(), 500);
    EXPECT_LE(wave.DurationMs(), 3000);
}

} // namespace
