#pragma once

// What the benchmarks measure with: elapsed time, archive stamps, resident memory.

#include "core/DateTime.h"

#include <QByteArray>
#include <QDate>
#include <QFile>
#include <chrono>
#ifdef __GLIBC__
#include <malloc.h>
#endif

using BenchClock = std::chrono::steady_clock;

inline double MsSince(BenchClock::time_point Start)
{
    return std::chrono::duration<double, std::milli>(BenchClock::now() - Start).count();
}

// The stamp Ms milliseconds into Day.
inline TDateTime DayStamp(const QDate& Day, qint64 Ms)
{
    return double(QDate(1899, 12, 30).daysTo(Day)) + double(Ms) / double(MsPerDay);
}

// A line of /proc/self/status in kB: "VmRSS" resident, "VmHWM" its peak; -1
// where the kernel does not say.
inline qint64 StatusKb(const char* Key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(Key) + ':';
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

inline double StatusMb(const char* Key)
{
    const qint64 kb = StatusKb(Key);
    return kb < 0 ? -1 : double(kb) / 1024;
}

// The resident peak starts again from the resident size now. Memory freed by
// the section before goes back first, so the figures are the next section's.
inline void ResetPeak()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

// The resident peak since the last ResetPeak, in MB above Before (a VmHWM
// reading taken right after it).
inline double PeakAboveMb(double Before)
{
    return StatusMb("VmHWM") - Before;
}
