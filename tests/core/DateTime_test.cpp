#include "core/DateTime.h"

#include <gtest/gtest.h>

TEST(DateTime, DaysSinceTheEndOf1899WithTheTimeAsFraction)
{
    EXPECT_DOUBLE_EQ(DateTimeToTDateTime(QDateTime(QDate(1899, 12, 30), QTime(0, 0))), 0.0);
    EXPECT_DOUBLE_EQ(DateTimeToTDateTime(QDateTime(QDate(1900, 1, 1), QTime(18, 0))), 2.75);
    EXPECT_DOUBLE_EQ(DateTimeToTDateTime(QDateTime(QDate(2024, 3, 1), QTime(12, 0))), 45352.5);
    // Before the base date the fraction still counts forward from midnight.
    EXPECT_DOUBLE_EQ(DateTimeToTDateTime(QDateTime(QDate(1899, 12, 29), QTime(6, 0))), -1.25);
    EXPECT_DOUBLE_EQ(OneSecond * 86400, 1.0);
}

TEST(DateTime, BackToTheMillisecond)
{
    const QDateTime times[] = {QDateTime(QDate(2024, 3, 1), QTime(12, 34, 56, 789)),
                               QDateTime(QDate(2023, 12, 31), QTime(23, 59, 59, 999)),
                               QDateTime(QDate(1899, 12, 29), QTime(6, 0, 0, 1))};
    for (const QDateTime& t : times)
        EXPECT_EQ(TDateTimeToDateTime(DateTimeToTDateTime(t)), t)
            << t.toString(Qt::ISODateWithMs).toStdString();
    // A fraction that rounds up to a whole day is the next midnight.
    EXPECT_EQ(TDateTimeToDateTime(45352.0 - 1e-10), QDateTime(QDate(2024, 3, 1), QTime(0, 0)));
}
