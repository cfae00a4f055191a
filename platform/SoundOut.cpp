#include "platform/SoundOut.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QPointer>
#include <QTimer>
#include <QtEndian>
#include <algorithm>
#include <memory>

namespace {

constexpr int ToneSampleRate = 44100;
// How long a sound may stay in the output's buffers after the sink has taken it.
constexpr qint64 TailMs = 300;

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "wave samples are handed to the sink as they are stored");

// One sound being played. The sink reads the samples from the buffer as it goes,
// so both live here until the sound has ended or was stopped.
class Playback final : public QObject
{
public:
    Playback(const QByteArray& Samples, qint64 DurationMs, QObject* Parent)
        : QObject(Parent), durationMs_(DurationMs)
    {
        buffer_.setData(Samples);
    }

    ~Playback() override
    {
        if (sink_) {
            sink_->disconnect(this);
            sink_->stop();
        }
    }

    bool Start(const QAudioDevice& Device, const QAudioFormat& Format)
    {
        if (!buffer_.open(QIODevice::ReadOnly))
            return false;
        sink_ = std::make_unique<QAudioSink>(Device, Format);
        connect(sink_.get(), &QAudioSink::stateChanged, this, [this](QAudio::State state) {
            if (state == QAudio::IdleState) {
                // Every sample has been handed over, but the last of them may still
                // wait in the output's buffers: stopping now could cut the end off.
                const qint64 left = std::max<qint64>(0, durationMs_ - started_.elapsed());
                QTimer::singleShot(left + TailMs, this, [this] { Finish(); });
            } else if (state == QAudio::StoppedState && sink_->error() != QAudio::NoError &&
                       sink_->error() != QAudio::UnderrunError) {
                Finish(); // the device went away
            }
        });
        started_.start();
        sink_->start(&buffer_);
        return sink_->error() == QAudio::NoError && sink_->state() != QAudio::StoppedState;
    }

    void Finish()
    {
        if (finished_)
            return;
        finished_ = true;
        if (sink_)
            sink_->stop();
        deleteLater(); // may be inside the sink's own signal
    }

    bool Finished() const { return finished_; }

private:
    const qint64 durationMs_;
    QElapsedTimer started_;
    QBuffer buffer_;
    std::unique_ptr<QAudioSink> sink_; // declared last: stops reading before the buffer goes
    bool finished_ = false;
};

class AudioSinkSoundOut final : public SoundOut
{
public:
    bool PlayWave(const QByteArray& Image) override
    {
        Stop();
        WaveImage wave;
        QString error;
        if (!ParseWaveImage(Image, wave, error))
            return false;

        QAudioFormat format;
        format.setChannelCount(wave.Channels);
        format.setSampleRate(wave.SampleRate);
        QByteArray samples = wave.Samples;
        if (wave.Kind == WaveImage::Encoding::Float) {
            format.setSampleFormat(QAudioFormat::Float);
        } else if (wave.BitsPerSample == 8) {
            format.setSampleFormat(QAudioFormat::UInt8);
        } else if (wave.BitsPerSample == 16) {
            format.setSampleFormat(QAudioFormat::Int16);
        } else if (wave.BitsPerSample == 24) {
            // No 24-bit sink format: widen to 32 bits.
            format.setSampleFormat(QAudioFormat::Int32);
            samples = widen24(wave.Samples);
        } else {
            format.setSampleFormat(QAudioFormat::Int32);
        }
        return start(format, samples);
    }

    bool PlayTones(std::span<const Tone> Tones) override
    {
        Stop();
        const std::vector<qint16> pcm = SynthesizeTones(Tones, ToneSampleRate);
        QAudioFormat format;
        format.setChannelCount(1);
        format.setSampleRate(ToneSampleRate);
        format.setSampleFormat(QAudioFormat::Int16);
        return start(format, QByteArray(reinterpret_cast<const char*>(pcm.data()),
                                        static_cast<qsizetype>(pcm.size() * sizeof(qint16))));
    }

    void Stop() override
    {
        if (current_)
            current_->Finish();
        current_ = nullptr;
    }

    bool IsPlaying() const override { return current_ && !current_->Finished(); }

private:
    static QByteArray widen24(const QByteArray& in)
    {
        QByteArray out;
        out.reserve(in.size() / 3 * 4);
        for (qsizetype i = 0; i + 3 <= in.size(); i += 3) {
            out.append('\0');
            out.append(in.constData() + i, 3);
        }
        return out;
    }

    bool start(const QAudioFormat& Format, const QByteArray& Samples)
    {
        QCoreApplication* app = QCoreApplication::instance();
        if (Samples.isEmpty() || !app)
            return false;
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull() || !device.isFormatSupported(Format))
            return false;
        const qint64 bytesPerSecond = qint64(Format.bytesPerFrame()) * Format.sampleRate();
        const qint64 durationMs = bytesPerSecond > 0 ? Samples.size() * 1000 / bytesPerSecond : 0;
        // Owned by the application object, so a sound still playing at exit goes
        // with it rather than after the audio backend.
        auto* playback = new Playback(Samples, durationMs, app);
        if (!playback->Start(device, Format)) {
            playback->Finish();
            return false;
        }
        current_ = playback;
        return true;
    }

    QPointer<Playback> current_;
};

AudioSinkSoundOut& defaultOut()
{
    static AudioSinkSoundOut out;
    return out;
}

SoundOut* current = nullptr;

} // namespace

SoundOut& SoundOut::Current()
{
    return current ? *current : defaultOut();
}

void SoundOut::SetCurrent(SoundOut* Out)
{
    current = Out;
}

ScopedSoundOut::ScopedSoundOut(SoundOut& Out) : previous_(current)
{
    SoundOut::SetCurrent(&Out);
}

ScopedSoundOut::~ScopedSoundOut()
{
    SoundOut::SetCurrent(previous_);
}
