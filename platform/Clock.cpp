#include "platform/Clock.h"

#include <QElapsedTimer>
#include <QThread>

namespace {

class SystemClock final : public Clock
{
public:
    SystemClock() { timer_.start(); }
    qint64 NowMs() override { return timer_.elapsed(); }
    void SleepMs(int ms) override
    {
        if (ms > 0)
            QThread::msleep(static_cast<unsigned long>(ms));
    }

private:
    QElapsedTimer timer_;
};

SystemClock& systemClock()
{
    static SystemClock clock;
    return clock;
}

Clock* current = nullptr;

} // namespace

Clock& Clock::Current()
{
    return current ? *current : systemClock();
}

void Clock::SetCurrent(Clock* clock)
{
    current = clock;
}

ScopedClock::ScopedClock(Clock& clock) : previous_(current)
{
    Clock::SetCurrent(&clock);
}

ScopedClock::~ScopedClock()
{
    Clock::SetCurrent(previous_);
}
