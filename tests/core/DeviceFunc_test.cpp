#include "core/Device.h"
#include "core/DeviceFunc.h"

#include <gtest/gtest.h>

TEST(DeviceFunc, SignalBytesToDbmAndBars)
{
    struct Case
    {
        quint8 rssi;
        double dbm;
        int level;
    };
    const Case cases[] = {
        {0x00, -74.0, 1}, {0x6C, -20.0, 4}, {0x68, -22.0, 3}, {0x80, -138.0, 0},
        {0x7F, -10.5, 4}, {0x44, -40.0, 3}, {0x42, -41.0, 2}, {0x1C, -60.0, 2},
        {0xF4, -80.0, 1}, {0xF3, -80.5, 0}, {0xFF, -74.5, 1},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(RssiToDbm(c.rssi), c.dbm) << int(c.rssi);
        EXPECT_EQ(RssiToSignalLevel(c.rssi), c.level) << int(c.rssi);
    }
}

TEST(DeviceFunc, FaultListAppendsNamedBitsInOrder)
{
    QStringList lines;
    FillFaultFlagsList(0, lines);
    EXPECT_TRUE(lines.isEmpty());

    FillFaultFlagsList((1u << 5) | 1u, lines);
    EXPECT_EQ(lines, QStringList({FaultNames[0], FaultNames[5]}));

    // Unnamed bits add nothing and the list is appended to, not replaced.
    FillFaultFlagsList((1u << 13) | (1u << 31), lines);
    EXPECT_EQ(lines.size(), 2);
    FillFaultFlagsList(1u << 12, lines);
    EXPECT_EQ(lines.size(), 3);
    EXPECT_EQ(lines.last(), FaultNames[12]);

    QStringList all;
    FillFaultFlagsList(0xFFFFFFFFu, all);
    EXPECT_EQ(all.size(), FaultNameCount);
}

TEST(DeviceFunc, SameErrorIsNewOnlyOnceInARow)
{
    TDevice d(5);
    const QString e1 = QStringLiteral("Превышен таймаут ожидания ответа");
    EXPECT_FALSE(DeviceErrorChanged(QString(), d)); // nothing remembered, nothing new
    EXPECT_TRUE(DeviceErrorChanged(e1, d));
    EXPECT_FALSE(DeviceErrorChanged(e1, d));
    EXPECT_EQ(d.LastErrorText, e1);
    EXPECT_TRUE(DeviceErrorChanged(QString(), d)); // a success rearms the rule
    EXPECT_TRUE(d.LastErrorText.isEmpty());
    EXPECT_TRUE(DeviceErrorChanged(e1, d));
    EXPECT_TRUE(DeviceErrorChanged(QStringLiteral("Ошибка контрольной суммы"), d));
    EXPECT_TRUE(DeviceErrorChanged(e1, d));
}
