// Writes the alarm sound the application plays: a two-tone chime, 16-bit PCM mono.
// Usage: klov-mkalarm <output.wav>

#include "platform/WaveImage.h"

#include <QFile>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

namespace {

constexpr int SampleRate = 22050;

// A bell-like note: a quick attack, then an exponential decay; a quiet octave
// above the fundamental gives it some body.
void appendNote(std::vector<qint16>& out, double frequency, int ms)
{
    const int n = SampleRate * ms / 1000;
    const int attack = SampleRate * 6 / 1000;
    const double twoPi = 2.0 * std::numbers::pi;
    for (int i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / SampleRate;
        const double envelope = (i < attack ? static_cast<double>(i) / attack : 1.0) * std::exp(-t * 9.0) *
                                (n - i < attack ? static_cast<double>(n - i) / attack : 1.0);
        const double wave = std::sin(twoPi * frequency * t) + 0.3 * std::sin(twoPi * 2.0 * frequency * t);
        out.push_back(static_cast<qint16>(std::lround(0.55 * 32767.0 * envelope * wave / 1.3)));
    }
}

void appendPause(std::vector<qint16>& out, int ms)
{
    out.insert(out.end(), static_cast<size_t>(SampleRate * ms / 1000), 0);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.wav>\n", argv[0]);
        return 2;
    }
    constexpr double high = 880.0; // A5
    constexpr double low = 659.26; // E5
    std::vector<qint16> samples;
    for (int phrase = 0; phrase < 2; ++phrase) {
        for (int note = 0; note < 4; ++note)
            appendNote(samples, note % 2 == 0 ? high : low, 190);
        appendPause(samples, 160);
    }

    const QByteArray image = MakeWaveImage(samples, 1, SampleRate);
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(image) != image.size() ||
        !file.flush()) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
