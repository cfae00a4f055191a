#include "platform/SoundOut.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <array>
#include <gtest/gtest.h>

namespace {

class NullOut final : public SoundOut
{
public:
    bool PlayWave(const QByteArray&) override { return ++calls, false; }
    bool PlayTones(std::span<const Tone>) override { return ++calls, false; }
    void Stop() override {}
    bool IsPlaying() const override { return false; }
    int calls = 0;
};

QByteArray shortWave()
{
    return MakeWaveImage(std::vector<qint16>(4410, 100), 1, 44100);
}

TEST(SoundOut, DefaultOutputPlaysOnTheDeviceOrIsSilentWithoutOne)
{
    SoundOut& out = SoundOut::Current();
    const bool haveDevice = !QMediaDevices::defaultAudioOutput().isNull();
    const std::array<Tone, 2> tones{Tone{1000, 50}, Tone{2000, 50}};

    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(out.PlayWave(shortWave()), haveDevice);
    EXPECT_EQ(out.IsPlaying(), haveDevice);
    EXPECT_EQ(out.PlayTones(tones), haveDevice);
    EXPECT_EQ(out.IsPlaying(), haveDevice);
    // Both return at once, whether or not something plays.
    EXPECT_LT(timer.elapsed(), 5000);
    out.Stop();
    EXPECT_FALSE(out.IsPlaying());

    // Garbage is silence, on any machine, and stops what played.
    EXPECT_TRUE(out.PlayWave(shortWave()) == haveDevice);
    EXPECT_FALSE(out.PlayWave(QByteArray("RIFF\x10\0\0\0WAVEfmt ", 16)));
    EXPECT_FALSE(out.IsPlaying());
    EXPECT_FALSE(out.PlayWave(QByteArray()));
    EXPECT_FALSE(out.PlayTones({}));
    // Sounds stopped or finished go away with the event loop.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(SoundOut, PlayingSoundEndsOnItsOwn)
{
    SoundOut& out = SoundOut::Current();
    if (QMediaDevices::defaultAudioOutput().isNull()) {
        EXPECT_FALSE(out.PlayWave(shortWave()));
        EXPECT_FALSE(out.IsPlaying());
        return;
    }
    ASSERT_TRUE(out.PlayWave(shortWave())); // 100 ms
    QElapsedTimer timer;
    timer.start();
    while (out.IsPlaying() && timer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_FALSE(out.IsPlaying());
    // Not taken for ended before it could have been heard whole.
    EXPECT_GE(timer.elapsed(), 100);
    // A new sound after the end plays as well.
    const std::array<Tone, 1> tone{Tone{1000, 50}};
    EXPECT_TRUE(out.PlayTones(tone));
    out.Stop();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(SoundOut, ScopedOutputIsUsedAndThePreviousOneComesBack)
{
    SoundOut* const before = &SoundOut::Current();
    NullOut first;
    {
        ScopedSoundOut scope(first);
        EXPECT_EQ(&SoundOut::Current(), &first);
        NullOut second;
        {
            ScopedSoundOut inner(second);
            SoundOut::Current().PlayWave(shortWave());
        }
        EXPECT_EQ(&SoundOut::Current(), &first);
        EXPECT_EQ(second.calls, 1);
        EXPECT_EQ(first.calls, 0);
    }
    EXPECT_EQ(&SoundOut::Current(), before);
}

} // namespace
