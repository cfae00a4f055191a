#pragma once

#include <QString>

// How a simulated channel value moves with time, so that polling shows life.
class SimWaveform
{
public:
    enum class Kind
    {
        Constant,
        Sine,  // Base + Amplitude * sin(2 pi t / Period)
        Ramp,  // from Base to Base + Amplitude over Period, then again
        Square // Base for half a Period, Base + Amplitude for the other half
    };

    SimWaveform() = default;
    static SimWaveform Constant(float Value) { return SimWaveform(Kind::Constant, Value, 0, 0); }
    static SimWaveform Sine(float Base, float Amplitude, int PeriodMs)
    {
        return SimWaveform(Kind::Sine, Base, Amplitude, PeriodMs);
    }
    static SimWaveform Ramp(float From, float To, int PeriodMs)
    {
        return SimWaveform(Kind::Ramp, From, To - From, PeriodMs);
    }
    static SimWaveform Square(float Low, float High, int PeriodMs)
    {
        return SimWaveform(Kind::Square, Low, High - Low, PeriodMs);
    }

    float ValueAt(qint64 Ms) const;

    // "const:V", "sine:BASE:AMPLITUDE:PERIOD_MS", "ramp:FROM:TO:PERIOD_MS",
    // "square:LOW:HIGH:PERIOD_MS"; a plain number means const.
    static bool Parse(const QString& Text, SimWaveform& Wave, QString& ErrMsg);

    Kind WaveKind() const { return Kind_; }

private:
    SimWaveform(Kind K, float Base, float Amplitude, int PeriodMs)
        : Kind_(K), Base_(Base), Amplitude_(Amplitude), PeriodMs_(PeriodMs)
    {
    }

    Kind Kind_ = Kind::Constant;
    float Base_ = 0;
    float Amplitude_ = 0;
    int PeriodMs_ = 0;
};
