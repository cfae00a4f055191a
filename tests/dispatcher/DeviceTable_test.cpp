#include "dispatcher/DeviceTable.h"
#include "support/QStringPrinter.h"

#include <QFont>
#include <algorithm>
#include <gtest/gtest.h>
#include <limits>
#include <numeric>
#include <random>
#include <stdexcept>

namespace {

// Rows whose serial numbers name them and whose status is the sort key (column 1).
TDevArray rowsWithStatus(const std::vector<std::pair<quint16, quint8>>& Rows)
{
    TDevArray a;
    for (const auto& [serial, status] : Rows) {
        a.push_back(std::make_unique<TTableDevice>(serial));
        a.back()->Status = status;
    }
    return a;
}

std::vector<quint16> serials(const TDevArray& A)
{
    std::vector<quint16> s;
    for (const auto& row : A)
        s.push_back(row->Device->SerialNum);
    return s;
}

using Serials = std::vector<quint16>;

TEST(StatusText, ForwardAndBack)
{
    const QStringList texts = {QStringLiteral("Нет связи"), QStringLiteral("Ок"), QStringLiteral("Внимание!"),
                               QStringLiteral("Тревога!")};
    for (quint8 s = 0; s < 4; ++s) {
        QString text;
        StatusToText(s, text);
        EXPECT_EQ(text, texts[s]);
        EXPECT_EQ(TextToStatus(text), s);
    }
    QString text = QStringLiteral("прежний");
    StatusToText(4, text);
    EXPECT_EQ(text, QStringLiteral("прежний"));
    // Anything else, a different letter case included, is an alarm.
    EXPECT_EQ(TextToStatus(QStringLiteral("ок")), 3);
    EXPECT_EQ(TextToStatus(QString()), 3);
}

TEST(SortKey, ColumnsAndTheHighFaultBit)
{
    TTableDevice row(4321);
    row.Status = dsWarning;
    row.Device->FaultRegister = 0x80000001u;
    row.Device->DeviceType = TDeviceType::UnifiedInputs;
    row.Device->SignalAtDevice = 200;
    row.Device->SignalAtPC = 100;
    EXPECT_EQ(GetSortKey(row, 1), 2);
    EXPECT_EQ(GetSortKey(row, 2), 0x80000001LL);
    EXPECT_EQ(GetSortKey(row, 3), 4321);
    EXPECT_EQ(GetSortKey(row, 4), 2);
    EXPECT_EQ(GetSortKey(row, 5), 200);
    EXPECT_EQ(GetSortKey(row, 6), 100);
    EXPECT_EQ(GetSortKey(row, 0), -1);
    EXPECT_EQ(GetSortKey(row, 7), -1);

    // A register with bit 31 sorts after every register without it.
    TDevArray a;
    for (const quint32 faults : {0x80000000u, 0x1FFFu, 0u}) {
        a.push_back(std::make_unique<TTableDevice>(static_cast<quint16>(a.size())));
        a.back()->Device->FaultRegister = faults;
    }
    SortDeviceList(a, 2, 1);
    EXPECT_EQ(serials(a), (Serials{2, 1, 0}));
}

TEST(Sort, EmptyAndSingleTablesAndDirectionZero)
{
    TDevArray empty;
    SortDeviceList(empty, 1, 1);
    SortDeviceList(empty, 1, 2);
    EXPECT_TRUE(empty.empty());

    TDevArray one = rowsWithStatus({{5, 1}});
    SortDeviceList(one, 1, 2);
    EXPECT_EQ(serials(one), Serials{5});

    TDevArray three = rowsWithStatus({{1, 3}, {2, 1}, {3, 2}});
    SortDeviceList(three, 1, 0);
    EXPECT_EQ(serials(three), (Serials{1, 2, 3}));
}

TEST(Sort, DescendingReversesTheAscendingResult)
{
    TDevArray a = rowsWithStatus({{30, 3}, {10, 1}, {20, 2}});
    SortDeviceList(a, 1, 2);
    EXPECT_EQ(serials(a), (Serials{30, 20, 10}));
    SortDeviceList(a, 1, 1);
    EXPECT_EQ(serials(a), (Serials{10, 20, 30}));

    // Two equal keys: the quicksort swaps them, the reversal swaps them back.
    TDevArray asc = rowsWithStatus({{1, 1}, {2, 1}});
    SortDeviceList(asc, 1, 1);
    EXPECT_EQ(serials(asc), (Serials{2, 1}));
    TDevArray desc = rowsWithStatus({{1, 1}, {2, 1}});
    SortDeviceList(desc, 1, 2);
    EXPECT_EQ(serials(desc), (Serials{1, 2}));
}

TEST(Sort, SignalBytesSortRawNotByDbm)
{
    TDevArray a;
    for (const quint8 level : {200, 100}) {
        a.push_back(std::make_unique<TTableDevice>(level));
        a.back()->Device->SignalAtDevice = level;
        a.back()->Device->SignalAtPC = static_cast<quint8>(300 - level);
    }
    SortDeviceList(a, 5, 1);
    EXPECT_EQ(serials(a), (Serials{100, 200}));
    SortDeviceList(a, 6, 1);
    EXPECT_EQ(serials(a), (Serials{200, 100}));
}

// Keys 1,0,1,0,1 on the rows 1..5, traced by hand:
//   (0,4) pivot index 2, key 1: swap 0<->4, i=1 j=3; i runs to 2, swap 2<->3,
//         i=3 j=2 -> [5,2,4,3,1]; sort (0,2), then (3,4).
//   (0,2) pivot index 1 (row 2, key 0): swap 0<->2, i=j=1 -> [4,2,5]; sort (0,1), then (1,2).
//   (0,1) pivot index 1, key 0: swap -> [2,4].  (1,2) pivot index 2 (row 5, key 1):
//         i runs to 2, swaps with itself -> [2,4,5].
//   (3,4) pivot index 4, key 1: swap -> [1,3].
// Result 2,4,5,1,3; a stable sort would give 2,4,1,3,5.
TEST(Sort, EqualKeysEndWhereTheQuicksortPutsThem)
{
    TDevArray asc = rowsWithStatus({{1, 1}, {2, 0}, {3, 1}, {4, 0}, {5, 1}});
    SortDeviceList(asc, 1, 1);
    EXPECT_EQ(serials(asc), (Serials{2, 4, 5, 1, 3}));

    TDevArray desc = rowsWithStatus({{1, 1}, {2, 0}, {3, 1}, {4, 0}, {5, 1}});
    SortDeviceList(desc, 1, 2);
    EXPECT_EQ(serials(desc), (Serials{3, 1, 5, 4, 2}));

    // An even range takes the upper of the two middle rows as pivot.
    // Keys 2,1,2,1 on rows 1..4: (0,3) pivot index 2, key 2: swap 0<->3, i=1 j=2;
    // i runs to 2, swaps with itself, i=3 j=1 -> [4,2,3,1]; (0,1): swap -> [2,4,3,1].
    TDevArray even = rowsWithStatus({{1, 2}, {2, 1}, {3, 2}, {4, 1}});
    SortDeviceList(even, 1, 1);
    EXPECT_EQ(serials(even), (Serials{2, 4, 3, 1}));

    // A column without a key still reorders: every key is -1.
    TDevArray none = rowsWithStatus({{1, 0}, {2, 0}, {3, 0}});
    SortDeviceList(none, 7, 1);
    // (0,2) pivot index 1: swap 0<->2, i=j=1 -> [3,2,1]; (0,1): swap -> [2,3,1];
    // (1,2): swap -> [2,1,3].
    EXPECT_EQ(serials(none), (Serials{2, 1, 3}));
}

TEST(Sort, AnyInputEndsSortedAndKeepsEveryRow)
{
    std::mt19937 random(12345);
    for (int round = 0; round < 300; ++round) {
        const int n = static_cast<int>(random() % 40);
        const int distinct = 1 + static_cast<int>(random() % 5);
        TDevArray a;
        for (int i = 0; i < n; ++i) {
            a.push_back(std::make_unique<TTableDevice>(static_cast<quint16>(i)));
            a.back()->Device->SignalAtPC = static_cast<quint8>(random() % distinct);
        }
        SortDeviceList(a, 6, 1 + round % 2);
        Serials s = serials(a);
        std::sort(s.begin(), s.end());
        Serials all(static_cast<std::size_t>(n));
        std::iota(all.begin(), all.end(), 0);
        ASSERT_EQ(s, all);
        for (std::size_t i = 1; i < a.size(); ++i) {
            const qint64 prev = GetSortKey(*a[i - 1], 6);
            const qint64 next = GetSortKey(*a[i], 6);
            ASSERT_TRUE(round % 2 == 0 ? prev <= next : prev >= next) << "round " << round;
        }
    }
}

TEST(Sort, PartialRangeLeavesTheRestAlone)
{
    TDevArray a = rowsWithStatus({{1, 3}, {2, 2}, {3, 1}, {4, 0}});
    QuickSortDevices(a, 1, 1, 2);
    EXPECT_EQ(serials(a), (Serials{1, 3, 2, 4}));
    // Bounds outside the array are ignored rather than read.
    QuickSortDevices(a, 1, 0, 4);
    QuickSortDevices(a, 1, -1, 2);
    EXPECT_EQ(serials(a), (Serials{1, 3, 2, 4}));
}

TEST(LineColors, TableWrapsEverySixteen)
{
    EXPECT_EQ(GetLineColor(0), QColor(255, 0, 0));
    EXPECT_EQ(GetLineColor(1), QColor(166, 202, 240));
    EXPECT_EQ(GetLineColor(17), QColor(166, 202, 240));
    EXPECT_EQ(GetLineColor(15), QColor(0, 0, 0));
    EXPECT_EQ(GetLineColor(7), QColor(0, 128, 128));
    EXPECT_EQ(GetLineColor(13), QColor(192, 192, 192));
    EXPECT_EQ(GetLineColor(-1), QColor(0, 0, 0));
}

TEST(RoundToIntTest, HalvesAwayFromZeroAndRangeErrors)
{
    EXPECT_EQ(RoundToInt(2.5), 3);
    EXPECT_EQ(RoundToInt(-2.5), -3);
    EXPECT_EQ(RoundToInt(3.5), 4);
    EXPECT_EQ(RoundToInt(2.4999), 2);
    EXPECT_EQ(RoundToInt(-0.4), 0);
    EXPECT_EQ(RoundToInt(0.49999999999999994), 0);
    EXPECT_EQ(RoundToInt(2147483647.4), 2147483647);
    EXPECT_EQ(RoundToInt(-2147483648.4), -2147483647 - 1);
    EXPECT_THROW(RoundToInt(2147483647.5), std::range_error);
    EXPECT_THROW(RoundToInt(-2147483648.5), std::range_error);
    EXPECT_THROW(RoundToInt(1e300), std::range_error);
    EXPECT_THROW(RoundToInt(std::numeric_limits<double>::infinity()), std::range_error);
    EXPECT_THROW(RoundToInt(std::numeric_limits<double>::quiet_NaN()), std::range_error);
}

TEST(ContrastText, WhiteBelow385)
{
    EXPECT_EQ(ContrastTextColor(QColor(128, 128, 128)), QColor(255, 255, 255)); // 384
    EXPECT_EQ(ContrastTextColor(QColor(128, 128, 129)), QColor(0, 0, 0));       // 385
    EXPECT_EQ(ContrastTextColor(QColor(0, 128, 0)), QColor(255, 255, 255));
    EXPECT_EQ(ContrastTextColor(QColor(255, 255, 0)), QColor(0, 0, 0));
    EXPECT_EQ(ContrastTextColor(QColor(255, 0, 0)), QColor(255, 255, 255));
}

TEST(MeasureTextTest, GrowsWithTextAndFont)
{
    QFont font;
    font.setPixelSize(12);
    const QSize one = MeasureText(QStringLiteral("Статус"), font);
    const QSize two = MeasureText(QStringLiteral("СтатусСтатус"), font);
    EXPECT_GT(one.width(), 0);
    EXPECT_GE(one.height(), 12);
    EXPECT_NEAR(two.width(), 2 * one.width(), 2);
    EXPECT_EQ(two.height(), one.height());
    EXPECT_EQ(MeasureText(QString(), font).width(), 0);

    QFont big = font;
    big.setPixelSize(24);
    const QSize large = MeasureText(QStringLiteral("Статус"), big);
    EXPECT_GT(large.width(), one.width());
    EXPECT_GT(large.height(), one.height());
}

TEST(Captions, EightColumnsInOrder)
{
    EXPECT_EQ(ColumnCaptions,
              (QStringList{QStringLiteral("№ п.п."), QStringLiteral("Статус"),
                           QStringLiteral("Неисправности"), QStringLiteral("Серийный №"),
                           QStringLiteral("Тип устройства"), QStringLiteral("Ур. принятого сигнала ЛОРВ"),
                           QStringLiteral("Ур. принятого сигнала ПК"), QStringLiteral("Комментарий")}));
}

} // namespace
