#pragma once

#include <QString>

// A window that comes back every period, so a fault can come and go on its own:
// on for OnMs of every PeriodMs, the window opening OffsetMs into each period.
// Times are the scenario's milliseconds. The default window never closes.
class SimSchedule
{
public:
    SimSchedule() = default;
    static SimSchedule Always() { return {}; }
    // False when the numbers make no window (see Parse).
    static bool Every(int PeriodMs, int OnMs, int OffsetMs, SimSchedule& Schedule);

    bool IsAlways() const { return PeriodMs_ == 0; }
    bool ActiveAt(qint64 Ms) const;

    int PeriodMs() const { return PeriodMs_; }
    int OnMs() const { return OnMs_; }
    int OffsetMs() const { return OffsetMs_; }

    // "ON/PERIOD" or "ON/PERIOD+OFFSET" in milliseconds: 0 < PERIOD <= one day,
    // 0 <= ON <= PERIOD, 0 <= OFFSET < PERIOD. "20000/60000+40000" is on from the
    // 40th to the 60th second of every minute.
    static bool Parse(const QString& Text, SimSchedule& Schedule, QString& ErrMsg);
    // The form Parse reads; empty for the window that never closes.
    QString ToText() const;

    bool operator==(const SimSchedule&) const = default;

private:
    int PeriodMs_ = 0;
    int OnMs_ = 0;
    int OffsetMs_ = 0;
};
