#pragma once

#include "platform/WaveImage.h"

#include <QByteArray>
#include <span>

// Where sounds go. The default plays on the default audio output through Qt
// Multimedia; with no output device (a headless machine, CI) every sound is
// silence and the calls still return at once. Tests install their own.
//
// One sound plays at a time: starting one stops the one still playing, as the
// system's own sound playing does. The samples stay alive until the sound ends.
class SoundOut
{
public:
    virtual ~SoundOut() = default;

    // Starts a whole wave file image from memory and returns at once. False, and
    // silence, when the image is no playable wave or no output can play it.
    virtual bool PlayWave(const QByteArray& Image) = 0;
    // Starts the tones one after another and returns at once; false as above.
    virtual bool PlayTones(std::span<const Tone> Tones) = 0;
    virtual void Stop() = 0;
    virtual bool IsPlaying() const = 0;

    static SoundOut& Current();
    // nullptr restores the default; the caller keeps ownership.
    static void SetCurrent(SoundOut* Out);
};

// Installs a sound output for the scope and restores the previous one after it.
class ScopedSoundOut
{
public:
    explicit ScopedSoundOut(SoundOut& Out);
    ~ScopedSoundOut();
    ScopedSoundOut(const ScopedSoundOut&) = delete;
    ScopedSoundOut& operator=(const ScopedSoundOut&) = delete;

private:
    SoundOut* previous_;
};
