#include "archive/Export.h"
#include "core/DateTime.h"
#include "support/QStringPrinter.h"

#include <QDateTime>
#include <algorithm>
#include <cstring>
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

// The search from the first row, as the tables were filled before they had an
// index; the index must give exactly its tables.
void AddByScan(TExportTableArray& Tables, quint16 Serial, const QString& Comment, quint8 Channel,
               TDateTime When, float Value)
{
    TChanExportRec rec{Channel, Value, Value - 1, Value + 1, QStringLiteral("Q"), QStringLiteral("U")};
    auto table = std::find_if(Tables.begin(), Tables.end(),
                              [&](const TExportTable& T) { return T.SerialNum == Serial; });
    if (table == Tables.end()) {
        TExportTable& added = Tables.emplace_back();
        added.Title = QStringLiteral("ЛО РВ-ТС/ТП, серийный № ") +
                      QString::number(Serial).rightJustified(5, QLatin1Char('0'));
        added.SerialNum = Serial;
        added.LastComment = Comment;
        added.MeasRecs.push_back(TExportMeasRec{When, {rec}, Comment});
        return;
    }
    auto row = std::find_if(table->MeasRecs.begin(), table->MeasRecs.end(),
                            [&](const TExportMeasRec& R) { return R.MeasDateTime == When; });
    if (row != table->MeasRecs.end()) {
        row->ChanRecs.push_back(rec);
        return;
    }
    TExportMeasRec& added = table->MeasRecs.emplace_back();
    added.MeasDateTime = When;
    added.ChanRecs.push_back(rec);
    if (Comment != table->LastComment) {
        added.Comment = Comment;
        table->LastComment = Comment;
    }
}

void ExpectSameTables(const TExportTableArray& A, const TExportTableArray& B)
{
    ASSERT_EQ(A.size(), B.size());
    for (std::size_t t = 0; t < A.size(); ++t) {
        EXPECT_EQ(A[t].Title, B[t].Title);
        EXPECT_EQ(A[t].SerialNum, B[t].SerialNum);
        EXPECT_EQ(A[t].LastComment, B[t].LastComment);
        ASSERT_EQ(A[t].MeasRecs.size(), B[t].MeasRecs.size()) << t;
        for (std::size_t r = 0; r < A[t].MeasRecs.size(); ++r) {
            const TExportMeasRec& a = A[t].MeasRecs[r];
            const TExportMeasRec& b = B[t].MeasRecs[r];
            ASSERT_EQ(std::memcmp(&a.MeasDateTime, &b.MeasDateTime, sizeof(double)), 0) << t << " " << r;
            ASSERT_EQ(a.Comment, b.Comment) << t << " " << r;
            ASSERT_EQ(a.ChanRecs.size(), b.ChanRecs.size()) << t << " " << r;
            for (std::size_t c = 0; c < a.ChanRecs.size(); ++c) {
                ASSERT_EQ(a.ChanRecs[c].ChannelNum, b.ChanRecs[c].ChannelNum);
                ASSERT_EQ(a.ChanRecs[c].Value, b.ChanRecs[c].Value);
                ASSERT_EQ(a.ChanRecs[c].MinAlert, b.ChanRecs[c].MinAlert);
                ASSERT_EQ(a.ChanRecs[c].MaxAlert, b.ChanRecs[c].MaxAlert);
            }
        }
    }
}

TEST(ExportRecords, TheStampIndexGivesTheTablesOfASearchFromTheFirstRow)
{
    // 60000 stamps of three devices with both channels: a scan per value would
    // take billions of comparisons. Channel 2 of some stamps comes late (after
    // later stamps), some stamps repeat far apart, and 0.0 meets -0.0.
    TExportTableArray indexed;
    TExportTableArray scanned;
    quint32 seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    const TDateTime base = At(1, 0, 0);
    const auto both = [&](quint16 Serial, const QString& Comment, quint8 Channel, TDateTime When,
                          float Value) {
        AddExportRecord(indexed, Serial, TDeviceType::ThermoInputs, Comment, Channel, When, Value, Value - 1,
                        Value + 1, QStringLiteral("Q"), QStringLiteral("U"));
        AddByScan(scanned, Serial, Comment, Channel, When, Value);
    };
    both(4, QStringLiteral("z"), 1, 0.0, 1);
    both(4, QStringLiteral("z"), 2, -0.0, 2);
    std::vector<TDateTime> late;
    for (int i = 0; i < 60000; ++i) {
        const quint16 serial = quint16(1 + i % 3);
        const TDateTime when = base + double(i / 3) * OneSecond;
        const QString comment = (i / 5000) % 2 ? QStringLiteral("Печь") : QStringLiteral("Сушка");
        both(serial, comment, 1, when, float(i));
        if (next() % 4 == 0)
            late.push_back(when);
        else
            both(serial, comment, 2, when, float(-i));
        if (late.size() > 50) {
            both(2, comment, 2, late[next() % late.size()], 0.5f);
            late.erase(late.begin());
        }
    }
    both(4, QStringLiteral("z"), 1, 0.0, 3);
    ExpectSameTables(indexed, scanned);
    EXPECT_EQ(indexed[1].MeasRecs.size(), 20000u);

    // Rows appended behind the index's back are found too, and a shrunk table
    // is indexed anew.
    indexed[1].MeasRecs.push_back(TExportMeasRec{base - 1, {}, QString()});
    scanned[1].MeasRecs.push_back(TExportMeasRec{base - 1, {}, QString()});
    both(1, QStringLiteral("Печь"), 2, base - 1, 9);
    indexed[1].MeasRecs.resize(10);
    scanned[1].MeasRecs.resize(10);
    both(1, QStringLiteral("Печь"), 2, base + 5 * OneSecond, 8);
    both(1, QStringLiteral("Печь"), 2, base + 50 * OneSecond, 7);
    ExpectSameTables(indexed, scanned);
    EXPECT_EQ(indexed[1].MeasRecs.size(), 11u);
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
