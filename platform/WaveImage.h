#pragma once

#include <QByteArray>
#include <QString>
#include <span>
#include <vector>

// The sound of a wave file, taken apart: the sample format and the samples.
struct WaveImage
{
    enum class Encoding
    {
        Pcm,  // 8-bit unsigned, 16-, 24- or 32-bit signed integers
        Float // 32-bit IEEE floats
    };

    Encoding Kind = Encoding::Pcm;
    int Channels = 0;
    int SampleRate = 0;
    int BitsPerSample = 0;
    QByteArray Samples; // little-endian frames, whole frames only

    int FrameBytes() const { return Channels * BitsPerSample / 8; }
    qint64 DurationMs() const;
};

// Reads a RIFF WAVE file image holding uncompressed samples (PCM, IEEE float, or
// either behind the extensible header). Anything else is refused with a Russian
// text: compressed formats, odd sample sizes, headers that point past the image.
// A data chunk longer than the image keeps what is there.
bool ParseWaveImage(const QByteArray& Image, WaveImage& Wave, QString& Error);

// A RIFF WAVE image of 16-bit PCM samples (interleaved when Channels > 1).
QByteArray MakeWaveImage(std::span<const qint16> Samples, int Channels, int SampleRate);

struct Tone
{
    int FrequencyHz = 0; // 0 or less is a pause
    int DurationMs = 0;
};

// 16-bit mono samples of the tones one after the other: sine waves starting at
// phase zero, each faded in and out over a couple of milliseconds so the joins
// do not click. A tone above half the sample rate cannot be made and is a pause.
std::vector<qint16> SynthesizeTones(std::span<const Tone> Tones, int SampleRate, double Amplitude = 0.5);
