#include "core/DateTime.h"

#include <cmath>

namespace {

const QDate DateBase(1899, 12, 30);

} // namespace

TDateTime DateTimeToTDateTime(const QDateTime& When)
{
    const QDateTime local = When.toLocalTime();
    const qint64 days = DateBase.daysTo(local.date());
    const double fraction = double(local.time().msecsSinceStartOfDay()) / double(MsPerDay);
    return days >= 0 ? double(days) + fraction : double(days) - fraction;
}

void TDateTimeToDateAndTime(TDateTime Value, QDate& Date, QTime& Time)
{
    const double whole = std::trunc(Value);
    qint64 ms = std::llround(std::fabs(Value - whole) * double(MsPerDay));
    qint64 days = qint64(whole);
    if (ms >= MsPerDay) {
        ms -= MsPerDay;
        ++days; // the fraction counts forward from midnight, whatever the sign
    }
    Date = DateBase.addDays(days);
    Time = QTime::fromMSecsSinceStartOfDay(int(ms));
}

QDateTime TDateTimeToDateTime(TDateTime Value)
{
    QDate date;
    QTime time;
    TDateTimeToDateAndTime(Value, date, time);
    return QDateTime(date, time);
}

TDateTime NowTDateTime()
{
    return DateTimeToTDateTime(QDateTime::currentDateTime());
}
