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
    EXPECT_EQ(tables[0].RowCount(), 2u);
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
    ASSERT_EQ(tables[0].RowCount(), 3u);
    const std::vector<TExportMeasRec> rows{tables[0].GetRow(0), tables[0].GetRow(1), tables[0].GetRow(2)};
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
    ASSERT_EQ(t.RowCount(), 6u);
    EXPECT_EQ(t.GetRow(0).Comment, QStringLiteral("Печь 1"));
    EXPECT_EQ(t.GetRow(1).Comment, QString());
    EXPECT_EQ(t.GetRow(2).Comment, QStringLiteral("Печь 2"));
    EXPECT_EQ(t.GetRow(3).Comment, QString());
    EXPECT_EQ(t.GetRow(4).Comment, QStringLiteral("печь 2"));
    // Cleared comment: the row's cell is empty as on an unchanged row, but the
    // table follows it.
    EXPECT_EQ(t.GetRow(5).Comment, QString());
    EXPECT_EQ(t.LastComment, QString());

    // An empty comment on a device's first value is carried as is.
    TExportTableArray other;
    Add(other, 1, 1, At(5, 1, 0), 1, QString());
    Add(other, 1, 1, At(5, 2, 0), 1, QStringLiteral("x"));
    EXPECT_EQ(other[0].GetRow(0).Comment, QString());
    EXPECT_EQ(other[0].GetRow(1).Comment, QStringLiteral("x"));
    EXPECT_EQ(other[0].LastComment, QStringLiteral("x"));
}

// A table as a list of records searched from the first row, as the tables were
// kept before; the compact tables must give exactly its rows, put in time order
// by a stable sort. A row's comment is the one given when it was made.
struct TPlainTable
{
    quint16 SerialNum = 0;
    QString LastComment;
    std::vector<TExportMeasRec> MeasRecs;

    std::vector<TExportMeasRec> InTimeOrder() const
    {
        std::vector<TExportMeasRec> rows = MeasRecs;
        std::ranges::stable_sort(rows, {}, &TExportMeasRec::MeasDateTime);
        // Shown where it differs from the row before in time.
        for (std::size_t r = rows.size(); r-- > 1;)
            if (rows[r].Comment == rows[r - 1].Comment)
                rows[r].Comment.clear();
        return rows;
    }
};

void AddByScan(std::vector<TPlainTable>& Tables, quint16 Serial, const QString& Comment,
               const TChanExportRec& Rec, TDateTime When)
{
    auto table = std::find_if(Tables.begin(), Tables.end(),
                              [&](const TPlainTable& T) { return T.SerialNum == Serial; });
    if (table == Tables.end()) {
        Tables.push_back({Serial, Comment, {TExportMeasRec{When, {Rec}, Comment}}});
        return;
    }
    auto row = std::find_if(table->MeasRecs.begin(), table->MeasRecs.end(),
                            [&](const TExportMeasRec& R) { return R.MeasDateTime == When; });
    if (row != table->MeasRecs.end()) {
        row->ChanRecs.push_back(Rec);
        return;
    }
    table->MeasRecs.push_back({When, {Rec}, Comment});
    table->LastComment = Comment;
}

void ExpectSameTables(const TExportTableArray& A, const std::vector<TPlainTable>& B)
{
    ASSERT_EQ(A.size(), B.size());
    for (std::size_t t = 0; t < A.size(); ++t) {
        EXPECT_EQ(A[t].SerialNum, B[t].SerialNum);
        EXPECT_EQ(A[t].LastComment, B[t].LastComment);
        const std::vector<TExportMeasRec> rows = B[t].InTimeOrder();
        ASSERT_EQ(A[t].RowCount(), rows.size()) << t;
        std::vector<quint8> order;
        for (const TExportMeasRec& row : rows)
            for (const TChanExportRec& rec : row.ChanRecs)
                if (std::find(order.begin(), order.end(), rec.ChannelNum) == order.end())
                    order.push_back(rec.ChannelNum);
        EXPECT_EQ(A[t].ChannelOrder(), order) << t;
        for (std::size_t r = 0; r < A[t].RowCount(); ++r) {
            const TExportMeasRec a = A[t].GetRow(r);
            const TExportMeasRec& b = rows[r];
            ASSERT_EQ(std::memcmp(&a.MeasDateTime, &b.MeasDateTime, sizeof(double)), 0) << t << " " << r;
            ASSERT_EQ(a.Comment, b.Comment) << t << " " << r;
            ASSERT_EQ(a.ChanRecs.size(), b.ChanRecs.size()) << t << " " << r;
            for (std::size_t c = 0; c < a.ChanRecs.size(); ++c) {
                const TChanExportRec& x = a.ChanRecs[c];
                const TChanExportRec& y = b.ChanRecs[c];
                ASSERT_EQ(x.ChannelNum, y.ChannelNum);
                // Bit for bit: -0 and 0 are written differently.
                ASSERT_EQ(std::memcmp(&x.Value, &y.Value, sizeof(float)), 0) << t << " " << r;
                ASSERT_EQ(std::memcmp(&x.MinAlert, &y.MinAlert, sizeof(float)), 0) << t << " " << r;
                ASSERT_EQ(std::memcmp(&x.MaxAlert, &y.MaxAlert, sizeof(float)), 0) << t << " " << r;
                ASSERT_EQ(x.QuantityName, y.QuantityName);
                ASSERT_EQ(x.MeasUnitName, y.MeasUnitName);
            }
        }
    }
}

TEST(ExportRecords, TheCompactTablesGiveTheRowsOfASearchFromTheFirstRow)
{
    // 60000 stamps of three devices with both channels: a scan per value would
    // take billions of comparisons. Channel 2 of some stamps comes late (after
    // later stamps), some stamps repeat far apart, 0.0 meets -0.0, and the
    // settings change now and then, back and forth.
    TExportTableArray compact;
    std::vector<TPlainTable> scanned;
    quint32 seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    const TDateTime base = At(1, 0, 0);
    const auto both = [&](quint16 Serial, const QString& Comment, quint8 Channel, TDateTime When,
                          float Value) {
        const int setting = int(next() % 16 == 0 ? next() % 3 : 0);
        const TChanExportRec rec{Channel,
                                 Value,
                                 setting == 1 ? -0.0f : 0.0f,
                                 float(setting) + 0.1f,
                                 QStringLiteral("Q") + QString::number(setting),
                                 setting == 2 ? QString() : QStringLiteral("U")};
        AddExportRecord(compact, Serial, TDeviceType::ThermoInputs, Comment, Channel, When, Value,
                        rec.MinAlert, rec.MaxAlert, rec.QuantityName, rec.MeasUnitName);
        AddByScan(scanned, Serial, Comment, rec, When);
    };
    both(4, QStringLiteral("z"), 1, 0.0, 1);
    both(4, QStringLiteral("z"), 2, -0.0, -0.0f);
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
    // A channel first met in a value added late to the first row.
    both(5, QStringLiteral("y"), 2, base, 1);
    both(5, QStringLiteral("y"), 2, base + OneSecond, 2);
    both(5, QStringLiteral("y"), 3, base + 2 * OneSecond, 3);
    both(5, QStringLiteral("y"), 1, base, 4);
    // An earlier stamp after later ones, then values for it and for old rows.
    both(1, QStringLiteral("Печь"), 2, base - 1, 9);
    both(1, QStringLiteral("Печь"), 1, base - 1, 8);
    both(1, QStringLiteral("Печь"), 2, base + 5 * OneSecond, 7);
    ExpectSameTables(compact, scanned);
    EXPECT_EQ(compact[1].RowCount(), 20001u);
    EXPECT_EQ(compact[2].RowCount(), 20000u);
    EXPECT_EQ(compact[4].ChannelOrder(), (std::vector<quint8>{2, 1, 3}));
}

TEST(ExportRecords, RowsOfALaterFileWithEarlierStampsTakeTheirPlaceInTime)
{
    // Each run is a day file's part of the period, in time order within itself,
    // overlapping the runs before (a "_2" part, the clock set back): equal stamps
    // join the rows already made, earlier ones come before them, and the
    // comment of each file may differ, an empty one included.
    TExportTableArray compact;
    std::vector<TPlainTable> scanned;
    quint32 seed = 777;
    const auto next = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
    const QString comments[] = {QStringLiteral("Печь"), QString(), QStringLiteral("Сушка")};
    const auto file = [&](int Run) {
        // Each file starts earlier than the one before and overlaps it: a run apiece.
        const int first = 2000 - Run * 300 - int(next() % 100);
        const int count = 300 + int(next() % 400);
        for (int s = first; s < first + count; ++s)
            for (quint8 channel = 1; channel <= 2; ++channel) {
                const TChanExportRec rec{channel, float(Run * 10000 + s), 0, 1, QStringLiteral("Q"), {}};
                const TDateTime when = At(5, 0, 0) + double(s) * OneSecond;
                AddExportRecord(compact, 6, TDeviceType::ThermoInputs, comments[Run % 3], channel, when,
                                rec.Value, 0, 1, rec.QuantityName, {});
                AddByScan(scanned, 6, comments[Run % 3], rec, when);
            }
    };
    for (int run = 0; run < 5; ++run)
        file(run);
    ExpectSameTables(compact, scanned);
    // Rows made after the table was read once take their place as well.
    file(5);
    ExpectSameTables(compact, scanned);
}

TEST(ExportRecords, TheArgumentOrderOverloadFillsTheSharedTables)
{
    ExportTables.clear();
    AddExportRecord(321, TDeviceType::UnifiedInputs, QStringLiteral("к"), 2, At(7, 12, 0), 1.5f, -1.0f, 2.0f,
                    QStringLiteral("Давление"), QStringLiteral("кПа"));
    ASSERT_EQ(ExportTables.size(), 1u);
    const TChanExportRec rec = ExportTables[0].GetRow(0).ChanRecs.at(0);
    EXPECT_EQ(rec.ChannelNum, 2);
    EXPECT_EQ(rec.Value, 1.5f);
    EXPECT_EQ(rec.MinAlert, -1.0f);
    EXPECT_EQ(rec.MaxAlert, 2.0f);
    EXPECT_EQ(rec.QuantityName, QStringLiteral("Давление"));
    EXPECT_EQ(rec.MeasUnitName, QStringLiteral("кПа"));
    EXPECT_EQ(ExportTables[0].GetRow(0).Comment, QStringLiteral("к"));
    ExportTables.clear();
}

} // namespace
