#include "archive/Export.h"
#include "core/DateTime.h"
#include "support/QStringPrinter.h"

#include <QDateTime>
#include <gtest/gtest.h>

namespace {

TDateTime At(int D, int H, int Mi, int S = 0, int Ms = 0)
{
    return DateTimeToTDateTime(QDateTime(QDate(2026, 3, D), QTime(H, Mi, S, Ms)));
}

// One value with settings that tell the records apart.
void Add(TExportTableArray& Tables, quint16 Serial, quint8 Channel, TDateTime When, float Value,
         const QString& Comment = QStringLiteral("Печь"), TDeviceType Type = TDeviceType::ThermoInputs)
{
    AddExportRecord(Tables, Serial, Type, Comment, Channel, When, Value, Value - 10, Value + 10,
                    QStringLiteral("Q") + QString::number(Channel),
                    QStringLiteral("U") + QString::number(Channel));
}

TEST(ExportRecords, DevicesKeepTheOrderOfFirstAppearanceWithTheTypeOfTheirFirstValue)
{
    TExportTableArray tables;
    Add(tables, 200, 1, At(5, 10, 0), 1, QStringLiteral("a"), TDeviceType::UnifiedInputs);
    Add(tables, 7, 1, At(5, 9, 0), 2, QStringLiteral("b"), TDeviceType::ThermoInputs);
    // A later value of another type leaves the title as it was.
    Add(tables, 200, 1, At(5, 11, 0), 3, QStringLiteral("a"), TDeviceType::ThermoInputs);
    Add(tables, 65535, 2, At(5, 8, 0), 4, QStringLiteral("c"), TDeviceType::Unknown);

    ASSERT_EQ(tables.size(), 3u);
    EXPECT_EQ(tables[0].SerialNum, 200);
    EXPECT_EQ(tables[0].Title, QStringLiteral("ЛО РВ-Т/Н, серийный № 00200"));
    EXPECT_EQ(tables[0].MeasRecs.size(), 2u);
    EXPECT_EQ(tables[1].SerialNum, 7);
    EXPECT_EQ(tables[1].Title, QStringLiteral("ЛО РВ-ТС/ТП, серийный № 00007"));
    EXPECT_EQ(tables[2].SerialNum, 65535);
    EXPECT_EQ(tables[2].Title, QStringLiteral("Неизвестный, серийный № 65535"));
    EXPECT_FALSE(tables[0].Title.contains(QLatin1Char(';')));
}

TEST(ExportRecords, EqualTimeStampsShareARowAndAMillisecondApartDoNot)
{
    TExportTableArray tables;
    Add(tables, 5, 2, At(5, 10, 0), 20);
    Add(tables, 5, 1, At(5, 10, 0), 10);
    Add(tables, 5, 1, At(5, 10, 0, 0, 1), 11);
    // A stamp met again after other rows goes back to its own row.
    Add(tables, 5, 2, At(5, 10, 0, 0, 1), 21);
    Add(tables, 5, 1, At(5, 10, 5), 12);
    Add(tables, 5, 3, At(5, 10, 0), 30);

    ASSERT_EQ(tables.size(), 1u);
    const auto& rows = tables[0].MeasRecs;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].MeasDateTime, At(5, 10, 0));
    EXPECT_EQ(rows[1].MeasDateTime, At(5, 10, 0, 0, 1));
    EXPECT_EQ(rows[2].MeasDateTime, At(5, 10, 5));

    // Records stay in the order they were added, with every field.
    ASSERT_EQ(rows[0].ChanRecs.size(), 3u);
    EXPECT_EQ(rows[0].ChanRecs[0].ChannelNum, 2);
    EXPECT_EQ(rows[0].ChanRecs[0].Value, 20.0f);
    EXPECT_EQ(rows[0].ChanRecs[0].MinAlert, 10.0f);
    EXPECT_EQ(rows[0].ChanRecs[0].MaxAlert, 30.0f);
    EXPECT_EQ(rows[0].ChanRecs[0].QuantityName, QStringLiteral("Q2"));
    EXPECT_EQ(rows[0].ChanRecs[0].MeasUnitName, QStringLiteral("U2"));
    EXPECT_EQ(rows[0].ChanRecs[1].ChannelNum, 1);
    EXPECT_EQ(rows[0].ChanRecs[2].ChannelNum, 3);
    ASSERT_EQ(rows[1].ChanRecs.size(), 2u);
    EXPECT_EQ(rows[1].ChanRecs[0].Value, 11.0f);
    EXPECT_EQ(rows[1].ChanRecs[1].Value, 21.0f);
    EXPECT_EQ(rows[2].ChanRecs.size(), 1u);
}

TEST(ExportRecords, TheCommentStandsOnTheFirstRowAndWhereItChanged)
{
    TExportTableArray tables;
    Add(tables, 9, 1, At(5, 1, 0), 1, QStringLiteral("Печь 1"));
    Add(tables, 9, 1, At(5, 2, 0), 1, QStringLiteral("Печь 1"));
    Add(tables, 9, 1, At(5, 3, 0), 1, QStringLiteral("Печь 2"));
    // Adding to an existing row ignores the comment given with the value.
    Add(tables, 9, 2, At(5, 3, 0), 1, QStringLiteral("Печь 3"));
    Add(tables, 9, 1, At(5, 4, 0), 1, QStringLiteral("Печь 2"));
    // Case counts as a change.
    Add(tables, 9, 1, At(5, 5, 0), 1, QStringLiteral("печь 2"));
    Add(tables, 9, 1, At(5, 6, 0), 1, QString());

    const auto& t = tables[0];
    ASSERT_EQ(t.MeasRecs.size(), 6u);
    EXPECT_EQ(t.MeasRecs[0].Comment, QStringLiteral("Печь 1"));
    EXPECT_EQ(t.MeasRecs[1].Comment, QString());
    EXPECT_EQ(t.MeasRecs[2].Comment, QStringLiteral("Печь 2"));
    EXPECT_EQ(t.MeasRecs[3].Comment, QString());
    EXPECT_EQ(t.MeasRecs[4].Comment, QStringLiteral("печь 2"));
    // Cleared comment: the row's cell is empty as on an unchanged row, but the
    // table follows it.
    EXPECT_EQ(t.MeasRecs[5].Comment, QString());
    EXPECT_EQ(t.LastComment, QString());

    // An empty comment on a device's first value is carried as is.
    TExportTableArray other;
    Add(other, 1, 1, At(5, 1, 0), 1, QString());
    Add(other, 1, 1, At(5, 2, 0), 1, QStringLiteral("x"));
    EXPECT_EQ(other[0].MeasRecs[0].Comment, QString());
    EXPECT_EQ(other[0].MeasRecs[1].Comment, QStringLiteral("x"));
    EXPECT_EQ(other[0].LastComment, QStringLiteral("x"));
}

TEST(ExportRecords, TheArgumentOrderOverloadFillsTheSharedTables)
{
    ExportTables.clear();
    AddExportRecord(321, TDeviceType::UnifiedInputs, QStringLiteral("к"), 2, At(7, 12, 0), 1.5f, -1.0f, 2.0f,
                    QStringLiteral("Давление"), QStringLiteral("кПа"));
    ASSERT_EQ(ExportTables.size(), 1u);
    const TChanExportRec& rec = ExportTables[0].MeasRecs.at(0).ChanRecs.at(0);
    EXPECT_EQ(rec.ChannelNum, 2);
    EXPECT_EQ(rec.Value, 1.5f);
    EXPECT_EQ(rec.MinAlert, -1.0f);
    EXPECT_EQ(rec.MaxAlert, 2.0f);
    EXPECT_EQ(rec.QuantityName, QStringLiteral("Давление"));
    EXPECT_EQ(rec.MeasUnitName, QStringLiteral("кПа"));
    EXPECT_EQ(ExportTables[0].MeasRecs[0].Comment, QStringLiteral("к"));
    ExportTables.clear();
}

} // namespace
