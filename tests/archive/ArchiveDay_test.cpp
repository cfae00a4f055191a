#include "ArchiveFixture.h"
#include "archive/ArchiveDay.h"

TEST(ArchiveDay, RebuildTimeSplitsTheDayToTheMillisecond)
{
    const QDate mar4(2024, 3, 4), mar5(2024, 3, 5), mar6(2024, 3, 6);
    EXPECT_EQ(ArchiveDayOf(Stamp(2024, 3, 5, 8, 29, 59, 999), 8, 30), mar4);
    EXPECT_EQ(ArchiveDayOf(Stamp(2024, 3, 5, 8, 30, 0, 0), 8, 30), mar5);
    EXPECT_EQ(ArchiveDayOf(Stamp(2024, 3, 6, 8, 29, 59, 999), 8, 30), mar5);
    EXPECT_EQ(ArchiveDayOf(Stamp(2024, 3, 5, 23, 59, 59, 999), 8, 30), mar5);
    EXPECT_EQ(ArchiveDayOf(Stamp(2024, 3, 6, 0, 0), 8, 30), mar5);

    // Exactly one day after a day start is the next day's start.
    const qint64 start = ArchiveDayStartMs(mar5, 8, 30);
    EXPECT_EQ(TimeStampToMs(Stamp(2024, 3, 5, 8, 30)), start);
    EXPECT_EQ(TimeStampToMs(Stamp(2024, 3, 6, 8, 30)), start + MsPerDay);
    EXPECT_EQ(ArchiveDayOf(Stamp(2024, 3, 6, 8, 30), 8, 30), mar6);

    // Both 0: the archive day is the calendar day, midnight starting it.
    EXPECT_EQ(ArchiveDayOf(Stamp(2024, 3, 5, 0, 0), 0, 0), mar5);
    EXPECT_EQ(ArchiveDayOf(Stamp(2024, 3, 4, 23, 59, 59, 999), 0, 0), mar4);
    EXPECT_EQ(ArchiveDayOf(Stamp(2024, 3, 5, 23, 59, 59, 999), 0, 0), mar5);

    // The last minute of the day as the boundary; across a year end too.
    EXPECT_EQ(ArchiveDayOf(Stamp(2024, 3, 5, 23, 58, 59, 999), 23, 59), mar4);
    EXPECT_EQ(ArchiveDayOf(Stamp(2024, 3, 5, 23, 59), 23, 59), mar5);
    EXPECT_EQ(ArchiveDayOf(Stamp(2025, 1, 1, 5, 0), 6, 0), QDate(2024, 12, 31));
}

TEST(ArchiveDay, EveryMillisecondStampMapsBackExactly)
{
    // Stamps made from wall-clock times must land on their own millisecond, or a
    // value at a boundary could slip into the neighbouring file.
    const QDateTime base(QDate(2024, 3, 5), QTime(0, 0));
    const qint64 baseMs = TimeStampToMs(DateTimeToTDateTime(base));
    EXPECT_EQ(baseMs, QDate(1899, 12, 30).daysTo(base.date()) * MsPerDay);
    for (qint64 ms = 0; ms < 2 * MsPerDay; ms += 9973) {
        const QDateTime t = base.addMSecs(ms);
        const qint64 expect =
            QDate(1899, 12, 30).daysTo(t.date()) * MsPerDay + t.time().msecsSinceStartOfDay();
        ASSERT_EQ(TimeStampToMs(DateTimeToTDateTime(t)), expect)
            << t.toString(Qt::ISODateWithMs).toStdString();
    }
    // Before the base date the fraction still counts forward from midnight.
    EXPECT_EQ(TimeStampToMs(-1.25), -MsPerDay + MsPerDay / 4);
    EXPECT_EQ(ArchiveDayOf(-1.25, 8, 0), QDate(1899, 12, 28));
    EXPECT_EQ(ArchiveDayOf(-1.25, 6, 0), QDate(1899, 12, 29));
}

TEST(ArchiveDay, NamesAndDates)
{
    EXPECT_EQ(ArchiveDateStr(QDate(2024, 3, 5)), QStringLiteral("20240305"));
    EXPECT_EQ(MeasuresFileName(QStringLiteral("20240305")), QStringLiteral("Measures20240305.cds"));
    EXPECT_EQ(ArchiveDateFromStr(QStringLiteral("20240305")), QDate(2024, 3, 5));
    EXPECT_FALSE(ArchiveDateFromStr(QStringLiteral("20241305")).isValid());
    EXPECT_FALSE(ArchiveDateFromStr(QStringLiteral("2024035")).isValid());
}
