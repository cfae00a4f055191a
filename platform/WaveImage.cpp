#include "platform/WaveImage.h"

#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr quint16 FormatPcm = 1;
constexpr quint16 FormatFloat = 3;
constexpr quint16 FormatExtensible = 0xFFFE;

quint16 u16(const QByteArray& b, qint64 at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}

quint32 u32(const QByteArray& b, qint64 at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}

void put16(QByteArray& b, quint16 v)
{
    char raw[2];
    qToLittleEndian(v, raw);
    b.append(raw, 2);
}

void put32(QByteArray& b, quint32 v)
{
    char raw[4];
    qToLittleEndian(v, raw);
    b.append(raw, 4);
}

bool supported(WaveImage::Encoding kind, int bits)
{
    if (kind == WaveImage::Encoding::Float)
        return bits == 32;
    return bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

} // namespace

qint64 WaveImage::DurationMs() const
{
    const int frame = FrameBytes();
    if (frame <= 0 || SampleRate <= 0)
        return 0;
    return static_cast<qint64>(Samples.size() / frame) * 1000 / SampleRate;
}

bool ParseWaveImage(const QByteArray& Image, WaveImage& Wave, QString& Error)
{
    Wave = WaveImage();
    if (Image.size() < 12 || !Image.startsWith("RIFF") || Image.mid(8, 4) != "WAVE") {
        Error = QStringLiteral("Файл не является звуковым файлом WAV");
        return false;
    }

    bool haveFormat = false;
    quint16 tag = 0;
    qint64 dataAt = -1;
    qint64 dataSize = 0;
    const qint64 size = Image.size();
    for (qint64 at = 12; at + 8 <= size;) {
        const QByteArray id = Image.mid(at, 4);
        const qint64 chunk = u32(Image, at + 4);
        const qint64 body = at + 8;
        if (id == "fmt ") {
            if (chunk < 16 || body + chunk > size) {
                Error = QStringLiteral("Повреждён заголовок звукового файла");
                return false;
            }
            tag = u16(Image, body);
            Wave.Channels = u16(Image, body + 2);
            Wave.SampleRate = static_cast<int>(std::min<quint32>(u32(Image, body + 4), 0x7FFFFFFF));
            Wave.BitsPerSample = u16(Image, body + 14);
            // The extensible header names the real format in its sub-format GUID.
            if (tag == FormatExtensible && chunk >= 40)
                tag = u16(Image, body + 24);
            haveFormat = true;
        } else if (id == "data" && dataAt < 0) {
            dataAt = body;
            dataSize = std::min(chunk, size - body);
        }
        at = body + chunk + (chunk & 1); // chunks are padded to even lengths
    }

    if (!haveFormat || dataAt < 0) {
        Error = QStringLiteral("Повреждён заголовок звукового файла");
        return false;
    }
    Wave.Kind = tag == FormatFloat ? WaveImage::Encoding::Float : WaveImage::Encoding::Pcm;
    if ((tag != FormatPcm && tag != FormatFloat) || !supported(Wave.Kind, Wave.BitsPerSample) ||
        Wave.Channels < 1 || Wave.Channels > 8 || Wave.SampleRate < 1000 || Wave.SampleRate > 384000) {
        Error = QStringLiteral("Неподдерживаемый формат звукового файла");
        return false;
    }
    const qint64 frame = Wave.FrameBytes();
    const qint64 whole = dataSize - dataSize % frame;
    if (whole <= 0) {
        Error = QStringLiteral("В звуковом файле нет звука");
        return false;
    }
    Wave.Samples = Image.mid(dataAt, whole);
    return true;
}

QByteArray MakeWaveImage(std::span<const qint16> Samples, int Channels, int SampleRate)
{
    const quint32 dataBytes = static_cast<quint32>(Samples.size() * 2);
    QByteArray b;
    b.reserve(44 + static_cast<qsizetype>(dataBytes));
    b.append("RIFF");
    put32(b, 36 + dataBytes);
    b.append("WAVEfmt ");
    put32(b, 16);
    put16(b, FormatPcm);
    put16(b, static_cast<quint16>(Channels));
    put32(b, static_cast<quint32>(SampleRate));
    put32(b, static_cast<quint32>(SampleRate * Channels * 2));
    put16(b, static_cast<quint16>(Channels * 2));
    put16(b, 16);
    b.append("data");
    put32(b, dataBytes);
    for (const qint16 s : Samples)
        put16(b, static_cast<quint16>(s));
    return b;
}

std::vector<qint16> SynthesizeTones(std::span<const Tone> Tones, int SampleRate, double Amplitude)
{
    std::vector<qint16> out;
    if (SampleRate <= 0)
        return out;
    const double peak = std::clamp(Amplitude, 0.0, 1.0) * 32767.0;
    for (const Tone& t : Tones) {
        if (t.DurationMs <= 0)
            continue;
        const qint64 n = static_cast<qint64>(SampleRate) * t.DurationMs / 1000;
        const bool audible = t.FrequencyHz > 0 && t.FrequencyHz * 2 < SampleRate;
        const qint64 ramp = std::min<qint64>(SampleRate / 500, n / 4); // 2 ms
        const double step = 2.0 * std::numbers::pi * t.FrequencyHz / SampleRate;
        for (qint64 i = 0; i < n; ++i) {
            if (!audible) {
                out.push_back(0);
                continue;
            }
            double gain = 1.0;
            if (ramp > 0 && i < ramp)
                gain = static_cast<double>(i) / ramp;
            else if (ramp > 0 && n - 1 - i < ramp)
                gain = static_cast<double>(n - 1 - i) / ramp;
            out.push_back(static_cast<qint16>(std::lround(peak * gain * std::sin(step * i))));
        }
    }
    return out;
}
