#include "platform/WaveImage.h"

#include <QtEndian>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

QByteArray le16(quint16 v)
{
    char raw[2];
    qToLittleEndian(v, raw);
    return QByteArray(raw, 2);
}

QByteArray le32(quint32 v)
{
    char raw[4];
    qToLittleEndian(v, raw);
    return QByteArray(raw, 4);
}

QByteArray chunk(const char* id, const QByteArray& body, quint32 declared = 0xFFFFFFFF)
{
    QByteArray c = QByteArray(id, 4) + le32(declared == 0xFFFFFFFF ? body.size() : declared) + body;
    if (body.size() % 2)
        c += '\0';
    return c;
}

QByteArray fmtBody(quint16 tag, quint16 channels, quint32 rate, quint16 bits)
{
    const quint16 block = static_cast<quint16>(channels * bits / 8);
    return le16(tag) + le16(channels) + le32(rate) + le32(rate * block) + le16(block) + le16(bits);
}

QByteArray riff(const QByteArray& chunks)
{
    return "RIFF" + le32(4 + chunks.size()) + "WAVE" + chunks;
}

// Sign changes from below zero to zero or above: one per cycle of a sine.
int cycles(std::span<const qint16> s)
{
    int n = 0;
    for (size_t i = 1; i < s.size(); ++i)
        n += s[i - 1] < 0 && s[i] >= 0;
    return n;
}

TEST(WaveImage, MadeImageReadsBackWithItsFormatAndSamples)
{
    const std::array<qint16, 6> samples{0, 1000, -1000, 32767, -32768, 7};
    const QByteArray image = MakeWaveImage(samples, 2, 22050);
    EXPECT_EQ(image.size(), 44 + 12);
    EXPECT_TRUE(image.startsWith("RIFF"));
    EXPECT_EQ(qFromLittleEndian<quint32>(image.constData() + 4), quint32(image.size() - 8));

    WaveImage wave;
    QString error;
    ASSERT_TRUE(ParseWaveImage(image, wave, error)) << error.toStdString();
    EXPECT_EQ(wave.Kind, WaveImage::Encoding::Pcm);
    EXPECT_EQ(wave.Channels, 2);
    EXPECT_EQ(wave.SampleRate, 22050);
    EXPECT_EQ(wave.BitsPerSample, 16);
    EXPECT_EQ(wave.FrameBytes(), 4);
    ASSERT_EQ(wave.Samples.size(), 12);
    for (size_t i = 0; i < samples.size(); ++i)
        EXPECT_EQ(qFromLittleEndian<qint16>(wave.Samples.constData() + 2 * i), samples[i]);
}

TEST(WaveImage, UncompressedFormatsAndExtraChunksAreAccepted)
{
    // A list chunk of odd length (padded) before the data, an unknown chunk after it.
    const QByteArray pcm8 = riff(chunk("fmt ", fmtBody(1, 1, 8000, 8)) + chunk("LIST", "INFOabc") +
                                 chunk("data", "\x80\x90\xA0") + chunk("junk", "xx"));
    WaveImage wave;
    QString error;
    ASSERT_TRUE(ParseWaveImage(pcm8, wave, error)) << error.toStdString();
    EXPECT_EQ(wave.BitsPerSample, 8);
    EXPECT_EQ(wave.Samples, QByteArray("\x80\x90\xA0"));

    ASSERT_TRUE(ParseWaveImage(
        riff(chunk("fmt ", fmtBody(1, 2, 48000, 24)) + chunk("data", QByteArray(12, 'a'))), wave, error));
    EXPECT_EQ(wave.FrameBytes(), 6);
    EXPECT_EQ(wave.Samples.size(), 12);

    ASSERT_TRUE(ParseWaveImage(
        riff(chunk("fmt ", fmtBody(3, 1, 44100, 32)) + chunk("data", QByteArray(8, 0))), wave, error));
    EXPECT_EQ(wave.Kind, WaveImage::Encoding::Float);

    // The extensible header: the sub-format GUID starts with the real format tag.
    QByteArray ext = fmtBody(0xFFFE, 1, 44100, 16) + le16(22) + le16(16) + le32(4) + le16(1) +
                     QByteArray("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    ASSERT_TRUE(ParseWaveImage(riff(chunk("fmt ", ext) + chunk("data", QByteArray(4, 0))), wave, error));
    EXPECT_EQ(wave.Kind, WaveImage::Encoding::Pcm);
    EXPECT_EQ(wave.BitsPerSample, 16);

    // A data chunk claiming more than the file holds keeps the whole frames there are.
    QByteArray cut = riff(chunk("fmt ", fmtBody(1, 1, 8000, 16)) + "data" + le32(1000) + "abcde");
    ASSERT_TRUE(ParseWaveImage(cut, wave, error));
    EXPECT_EQ(wave.Samples, QByteArray("abcd"));
    EXPECT_EQ(wave.DurationMs(), 0);
    EXPECT_EQ(MakeWaveImage(std::vector<qint16>(8000), 1, 8000).size(), 44 + 16000);
}

TEST(WaveImage, GarbageAndUnplayableFormatsAreRefused)
{
    const QByteArray data = chunk("data", QByteArray(16, 0));
    std::vector<std::pair<const char*, QByteArray>> bad = {
        {"empty", QByteArray()},
        {"text", QByteArray("Hello, this is not a wave file at all. Hello, this is not a wave file.")},
        {"riff only", QByteArray("RIFF")},
        {"not wave", "RIFF" + le32(4) + "AVI "},
        {"no fmt", riff(data)},
        {"no data", riff(chunk("fmt ", fmtBody(1, 1, 8000, 16)))},
        {"adpcm", riff(chunk("fmt ", fmtBody(2, 1, 8000, 4)) + data)},
        {"mp3", riff(chunk("fmt ", fmtBody(0x55, 2, 44100, 0)) + data)},
        {"12 bits", riff(chunk("fmt ", fmtBody(1, 1, 8000, 12)) + data)},
        {"64-bit float", riff(chunk("fmt ", fmtBody(3, 1, 8000, 64)) + data)},
        {"no channels", riff(chunk("fmt ", fmtBody(1, 0, 8000, 16)) + data)},
        {"no rate", riff(chunk("fmt ", fmtBody(1, 1, 0, 16)) + data)},
        {"short fmt", riff(chunk("fmt ", fmtBody(1, 1, 8000, 16).left(14)) + data)},
        {"fmt past end", riff("fmt " + le32(400) + fmtBody(1, 1, 8000, 16))},
        {"no whole frame", riff(chunk("fmt ", fmtBody(1, 2, 8000, 16)) + chunk("data", "abc"))},
        {"empty data", riff(chunk("fmt ", fmtBody(1, 1, 8000, 16)) + chunk("data", ""))},
        {"huge chunk", riff(chunk("fmt ", fmtBody(1, 1, 8000, 16)) + "LIST" + le32(0xFFFFFFF0) + data)},
    };
    // Random bytes behind a valid signature must not read past the image either.
    std::srand(7);
    for (int i = 0; i < 200; ++i) {
        QByteArray noise = "RIFF" + le32(100) + "WAVE";
        for (int j = 0; j < 1 + i % 60; ++j)
            noise += static_cast<char>(std::rand() & 0xFF);
        WaveImage wave;
        QString error;
        if (ParseWaveImage(noise, wave, error)) {
            EXPECT_LE(wave.Samples.size(), noise.size() - 12);
        }
    }
    for (const auto& [name, image] : bad) {
        WaveImage wave;
        QString error;
        EXPECT_FALSE(ParseWaveImage(image, wave, error)) << name;
        EXPECT_FALSE(error.isEmpty()) << name;
        EXPECT_TRUE(wave.Samples.isEmpty()) << name;
    }
}

TEST(WaveImage, TonesHaveTheirFrequencyAndLength)
{
    const std::array<Tone, 1> kHz{Tone{1000, 50}};
    const std::vector<qint16> s = SynthesizeTones(kHz, 44100);
    ASSERT_EQ(s.size(), 2205u); // 50 ms
    EXPECT_NEAR(cycles(s), 50, 1);
    // Faded in and out: no click at either end, full level in the middle.
    EXPECT_LT(std::abs(s.front()), 200);
    EXPECT_LT(std::abs(s.back()), 1000);
    const auto [lo, hi] = std::minmax_element(s.begin(), s.end());
    EXPECT_GT(*hi, 16000);
    EXPECT_LT(*hi, 16500);
    EXPECT_LT(*lo, -16000);

    // A sequence is its tones back to back; pauses and impossible tones are silence.
    const std::array<Tone, 5> seq{Tone{1000, 50}, Tone{2000, 50}, Tone{0, 20}, Tone{30000, 10}, Tone{500, 0}};
    const std::vector<qint16> all = SynthesizeTones(seq, 44100);
    ASSERT_EQ(all.size(), 2205u * 2 + 882 + 441);
    const std::span<const qint16> view(all);
    EXPECT_NEAR(cycles(view.subspan(0, 2205)), 50, 1);
    EXPECT_NEAR(cycles(view.subspan(2205, 2205)), 100, 1);
    EXPECT_TRUE(std::all_of(all.begin() + 4410, all.end(), [](qint16 v) { return v == 0; }));

    EXPECT_EQ(SynthesizeTones(seq, 8000).size(), 400u * 2 + 160 + 80);
    EXPECT_TRUE(SynthesizeTones(seq, 0).empty());
}

} // namespace
