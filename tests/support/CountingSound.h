#pragma once

#include "platform/SoundOut.h"

// Counts the alarm sounds instead of playing them.
class CountingSound : public SoundOut
{
public:
    bool PlayWave(const QByteArray&) override
    {
        ++sounds;
        return true;
    }
    bool PlayTones(std::span<const Tone>) override
    {
        ++sounds;
        return true;
    }
    void Stop() override {}
    bool IsPlaying() const override { return false; }

    int sounds = 0;
};
