#pragma once

#include <QtGlobal>

// Monotonic milliseconds and a blocking pause. Code that waits asks the current
// clock, so tests of long waits can swap in a virtual one.
class Clock
{
public:
    virtual ~Clock() = default;

    virtual qint64 NowMs() = 0;
    virtual void SleepMs(int ms) = 0;

    static Clock& Current();
    // nullptr restores the system clock; the caller keeps ownership.
    static void SetCurrent(Clock* clock);
};

// Restores the previous clock when it leaves scope.
class ScopedClock
{
public:
    explicit ScopedClock(Clock& clock);
    ~ScopedClock();
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

private:
    Clock* previous_;
};
