#pragma once

#include "platform/Clock.h"

// A clock that only moves when told to; a pause moves it at once.
class VirtualClock final : public Clock
{
public:
    explicit VirtualClock(qint64 startMs = 0) : now_(startMs) {}

    qint64 NowMs() override { return now_; }
    void SleepMs(int ms) override
    {
        if (ms > 0)
            now_ += ms;
    }
    void Advance(qint64 ms) { now_ += ms; }

private:
    qint64 now_;
};
