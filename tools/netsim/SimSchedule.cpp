#include "tools/netsim/SimSchedule.h"

#include <QRegularExpression>

namespace {

constexpr int MaxPeriodMs = 24 * 3600 * 1000;

} // namespace

bool SimSchedule::Every(int PeriodMs, int OnMs, int OffsetMs, SimSchedule& Schedule)
{
    if (PeriodMs <= 0 || PeriodMs > MaxPeriodMs || OnMs < 0 || OnMs > PeriodMs || OffsetMs < 0 ||
        OffsetMs >= PeriodMs)
        return false;
    Schedule.PeriodMs_ = PeriodMs;
    Schedule.OnMs_ = OnMs;
    Schedule.OffsetMs_ = OffsetMs;
    return true;
}

bool SimSchedule::ActiveAt(qint64 Ms) const
{
    if (IsAlways())
        return true;
    // Scenario time may be negative (a clock moved back in a test): keep the phase positive.
    qint64 phase = (Ms - OffsetMs_) % PeriodMs_;
    if (phase < 0)
        phase += PeriodMs_;
    return phase < OnMs_;
}

bool SimSchedule::Parse(const QString& Text, SimSchedule& Schedule, QString& ErrMsg)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{1,9})/(\\d{1,9})(?:\\+(\\d{1,9}))?$"));
    const QRegularExpressionMatch m = form.match(Text.trimmed());
    SimSchedule s;
    if (!m.hasMatch() || !Every(m.captured(2).toInt(), m.captured(1).toInt(),
                                m.hasCaptured(3) ? m.captured(3).toInt() : 0, s)) {
        ErrMsg =
            QStringLiteral("bad schedule \"%1\": ON/PERIOD[+OFFSET] in ms, ON <= PERIOD, OFFSET < PERIOD")
                .arg(Text);
        return false;
    }
    Schedule = s;
    return true;
}

QString SimSchedule::ToText() const
{
    if (IsAlways())
        return {};
    QString text = QStringLiteral("%1/%2").arg(OnMs_).arg(PeriodMs_);
    if (OffsetMs_ != 0)
        text += QStringLiteral("+%1").arg(OffsetMs_);
    return text;
}
