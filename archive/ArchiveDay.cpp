#include "archive/ArchiveDay.h"

#include <cmath>

namespace {

const QDate DateBase(1899, 12, 30);

qint64 floorDiv(qint64 A, qint64 B)
{
    const qint64 q = A / B;
    return (A % B != 0 && (A < 0) != (B < 0)) ? q - 1 : q;
}

qint64 rebuildOffsetMs(int RebuildHour, int RebuildMin)
{
    return (qint64(RebuildHour) * 60 + RebuildMin) * 60000;
}

} // namespace

qint64 TimeStampToMs(TDateTime Stamp)
{
    // The fraction counts forward from midnight whatever the sign of the day.
    const double whole = std::trunc(Stamp);
    qint64 days = qint64(whole);
    qint64 ms = std::llround(std::fabs(Stamp - whole) * double(MsPerDay));
    if (ms >= MsPerDay) {
        ms -= MsPerDay;
        ++days;
    }
    return days * MsPerDay + ms;
}

qint64 ArchiveDayStartMs(const QDate& Date, int RebuildHour, int RebuildMin)
{
    return DateBase.daysTo(Date) * MsPerDay + rebuildOffsetMs(RebuildHour, RebuildMin);
}

QDate ArchiveDayOf(TDateTime Stamp, int RebuildHour, int RebuildMin)
{
    const qint64 sinceFirstStart = TimeStampToMs(Stamp) - rebuildOffsetMs(RebuildHour, RebuildMin);
    return DateBase.addDays(floorDiv(sinceFirstStart, MsPerDay));
}

QString ArchiveDateStr(const QDate& Date)
{
    return Date.toString(QStringLiteral("yyyyMMdd"));
}

QDate ArchiveDateFromStr(const QString& DateStr)
{
    if (DateStr.size() != 8)
        return {};
    return QDate::fromString(DateStr, QStringLiteral("yyyyMMdd"));
}

QString MeasuresFileName(const QString& DateStr)
{
    return QStringLiteral("Measures") + DateStr + QStringLiteral(".cds");
}
