#include "core/Device.h"
#include "support/RecordingChart.h"

#include <gtest/gtest.h>
#include <set>
#include <stdexcept>

namespace {

bool isCyrillic(QChar c)
{
    return c.unicode() >= 0x0400 && c.unicode() <= 0x04FF;
}

bool isLatinLetter(QChar c)
{
    return c.unicode() < 0x80 && c.isLetter();
}

} // namespace

TEST(Device, SensorModelNamesAtTheEdgesOfTheTables)
{
    EXPECT_EQ(GetSensorModelName(TSensorType::Thermocouple, 9), QStringLiteral("ТВР(A-1)"));
    // Models 10 and 11 are never offered but a device may report them.
    EXPECT_EQ(GetSensorModelName(TSensorType::Thermocouple, 10),
              GetSensorModelName(TSensorType::Thermocouple, 9));
    EXPECT_EQ(GetSensorModelName(TSensorType::Thermocouple, 11),
              GetSensorModelName(TSensorType::Thermocouple, 9));
    EXPECT_TRUE(GetSensorModelName(TSensorType::Thermocouple, 14).isEmpty());
    EXPECT_TRUE(GetSensorModelName(TSensorType::Thermocouple, 255).isEmpty());
    EXPECT_EQ(GetSensorModelName(TSensorType::None, 7), QStringLiteral("-"));
    EXPECT_TRUE(GetSensorModelName(TSensorType::OneWire, 0).isEmpty());
    EXPECT_TRUE(GetSensorModelName(TSensorType::ResistanceThermometer, 11).isEmpty());
    EXPECT_TRUE(GetSensorModelName(TSensorType::Voltage, 3).isEmpty());
    EXPECT_TRUE(GetSensorModelName(TSensorType::Current, 2).isEmpty());
    EXPECT_TRUE(GetSensorModelName(static_cast<TSensorType>(6), 0).isEmpty());
    EXPECT_TRUE(GetSensorTypeName(static_cast<TSensorType>(6)).isEmpty());
    for (const TSensorType t : {TSensorType::Thermocouple, TSensorType::ResistanceThermometer,
                                TSensorType::Voltage, TSensorType::Current})
        EXPECT_EQ(GetSensorModelName(t, 0), QStringLiteral("-"));
}

TEST(Device, ModelNamesMixScriptsAsTheDevicesLabelThem)
{
    // Thermocouples: Cyrillic letters, then the Latin code letter in parentheses.
    for (int m = 1; m <= 13; ++m) {
        const QString s = GetSensorModelName(TSensorType::Thermocouple, quint8(m));
        const qsizetype open = s.indexOf(QLatin1Char('('));
        ASSERT_GT(open, 0) << m;
        for (qsizetype i = 0; i < open; ++i) {
            if (s.at(i).isLetter()) {
                EXPECT_TRUE(isCyrillic(s.at(i))) << m;
            }
        }
        EXPECT_TRUE(isLatinLetter(s.at(open + 1))) << m;
    }
    // Resistance thermometers: "M", "H", "Pt" Latin, "П" Cyrillic.
    for (int m = 1; m <= 10; ++m) {
        const QString s = GetSensorModelName(TSensorType::ResistanceThermometer, quint8(m));
        for (const QChar c : s) {
            if (c.isLetter()) {
                EXPECT_EQ(isCyrillic(c), c == QChar(0x041F)) << m;
            }
        }
    }
    // Voltage and current units are Cyrillic.
    for (const QString& s :
         {GetSensorModelName(TSensorType::Voltage, 1), GetSensorModelName(TSensorType::Voltage, 2),
          GetSensorModelName(TSensorType::Current, 1)})
        for (const QChar c : s) {
            if (c.isLetter()) {
                EXPECT_TRUE(isCyrillic(c)) << s.toStdString();
            }
        }
}

TEST(Device, EverySupportedSensorHasANamedTypeAndNamedModels)
{
    for (const TDeviceType dt : {TDeviceType::ThermoInputs, TDeviceType::UnifiedInputs}) {
        const TSupportedSensorArray a = GetSupportedSensors(dt);
        ASSERT_EQ(a.size(), 2u);
        std::set<quint8> types;
        for (const TSupportedSensor& s : a) {
            EXPECT_TRUE(types.insert(s.SensorType).second);
            const TSensorType t = ByteToSensorType(s.SensorType);
            EXPECT_EQ(SensorTypeToByte(t), s.SensorType);
            EXPECT_NE(GetSensorTypeName(t), QStringLiteral("-"));
            ASSERT_FALSE(s.Models.empty());
            std::set<quint8> models;
            for (const quint8 m : s.Models) {
                EXPECT_TRUE(models.insert(m).second);
                const QString name = GetSensorModelName(t, m);
                EXPECT_FALSE(name.isEmpty());
                EXPECT_NE(name, QStringLiteral("-"));
            }
        }
    }
    // The configuration window lists them in this order.
    EXPECT_EQ(GetSupportedSensors(TDeviceType::ThermoInputs)[1].Models,
              (std::vector<quint8>{7, 8, 9, 10, 5, 6}));
    EXPECT_EQ(GetSupportedSensors(TDeviceType::UnifiedInputs)[0].SensorType,
              SensorTypeToByte(TSensorType::Current));
    EXPECT_TRUE(GetSupportedSensors(TDeviceType::Unknown).empty());
    EXPECT_TRUE(GetSupportedSensors(static_cast<TDeviceType>(9)).empty());
}

TEST(Device, QuantityAndUnitOnlyForTemperatureSensors)
{
    EXPECT_EQ(GetQuantityName(TSensorType::Thermocouple), QStringLiteral("Температура"));
    EXPECT_EQ(GetQuantityName(TSensorType::ResistanceThermometer),
              GetQuantityName(TSensorType::Thermocouple));
    EXPECT_TRUE(GetQuantityName(TSensorType::Voltage).isEmpty());
    EXPECT_TRUE(GetQuantityName(TSensorType::Current).isEmpty());
    EXPECT_TRUE(GetUnitName(TSensorType::None).isEmpty());
    // Degree sign and a Latin C.
    const QString unit = GetUnitName(TSensorType::ResistanceThermometer);
    ASSERT_EQ(unit.size(), 2);
    EXPECT_EQ(unit.at(0).unicode(), 0x00B0);
    EXPECT_EQ(unit.at(1).unicode(), 0x0043);
    EXPECT_LE(GetMinSignificantDigits(TSensorType::Voltage), GetMaxSignificantDigits(TSensorType::Voltage));
}

TEST(Device, CodesOutsideTheEnumerationsReadAsZero)
{
    EXPECT_EQ(ByteToSensorType(5), TSensorType::OneWire);
    EXPECT_EQ(ByteToSensorType(6), TSensorType::None);
    EXPECT_EQ(ByteToSensorType(255), TSensorType::None);
    EXPECT_EQ(WordToDeviceType(2), TDeviceType::UnifiedInputs);
    EXPECT_EQ(WordToDeviceType(3), TDeviceType::Unknown);
    EXPECT_EQ(WordToDeviceType(0x0101), TDeviceType::Unknown);
    EXPECT_EQ(DeviceTypeToWord(WordToDeviceType(1)), 1);

    QString s = QStringLiteral("как было");
    EXPECT_FALSE(GetDeviceTypeName(static_cast<TDeviceType>(5), s));
    EXPECT_EQ(s, QStringLiteral("как было"));
    EXPECT_TRUE(GetDeviceTypeName(TDeviceType::Unknown, s));
    EXPECT_EQ(s, QStringLiteral("Неизвестный"));
}

TEST(Device, FaultNamesKeepTheirOwnSpelling)
{
    std::set<QString> distinct(FaultNames.begin(), FaultNames.end());
    EXPECT_EQ(distinct.size(), std::size_t(FaultNameCount));
    EXPECT_TRUE(FaultNames[FaultBitEepromReadFailed].contains(QStringLiteral("Не удалость считать")));
    EXPECT_TRUE(FaultNames[4].contains(QStringLiteral("дынных")));
    EXPECT_TRUE(FaultNames[FaultBitNoColdJunctionData].contains(QStringLiteral("холодных концов")));
    EXPECT_TRUE(FaultNames[FaultBitChannel1OutOfRange].endsWith(QStringLiteral("канале 1")));
    EXPECT_TRUE(FaultNames[FaultBitChannel2OutOfRange].endsWith(QStringLiteral("канале 2")));
}

TEST(Device, NewDeviceHasDefaultChannelsWithGreenLines)
{
    const TDevice d(123);
    EXPECT_EQ(d.SerialNum, 123);
    EXPECT_EQ(d.DeviceType, TDeviceType::Unknown);
    EXPECT_EQ(d.FaultRegister, 0u);
    EXPECT_FALSE(d.ColdJunctionValid);
    EXPECT_TRUE(d.Comment.isEmpty());
    for (int n = 1; n <= 2; ++n) {
        const TMeasureChannel& ch = d.Channel(n);
        EXPECT_EQ(ch.ChannelNum, n);
        EXPECT_FALSE(ch.Enabled);
        EXPECT_FALSE(ch.ValueValid);
        EXPECT_EQ(ch.DigitsHi, 4);
        EXPECT_EQ(ch.DigitsLo, 4);
        EXPECT_EQ(ch.LimitState, 0);
        ASSERT_TRUE(ch.GraphLine);
        ASSERT_TRUE(ch.GraphLine->Series);
        EXPECT_EQ(ch.GraphLine->GraphForm, nullptr);
        EXPECT_EQ(ch.GraphLine->Series->ParentChart(), nullptr);
        EXPECT_EQ(ch.GraphLine->Series->Color(), QColor(0, 128, 0));
        EXPECT_EQ(ch.GraphLine->Series->Title(), ch.GraphLine->Title);
    }
    // "№" + five digits + Cyrillic "К" + channel number.
    const QString t1 = d.Channel1->GraphLine->Title;
    EXPECT_EQ(t1, QString(QChar(0x2116)) + QStringLiteral("00123") + QChar(0x041A) + QLatin1Char('1'));
    EXPECT_EQ(d.Channel2->GraphLine->Title, QStringLiteral("№00123К2"));
    EXPECT_EQ(TDevice(65535).Channel1->GraphLine->Title, QStringLiteral("№65535К1"));
    EXPECT_THROW(d.Channel(0), std::out_of_range);
    EXPECT_THROW(d.Channel(3), std::out_of_range);
}

TEST(Device, SignificantDigitsFollowTheSensorType)
{
    TDevice d(1);
    TMeasureChannel& ch = *d.Channel1;
    ch.DigitsHi = 5;
    ch.DigitsLo = 4;
    ch.SensorType = TSensorType::Thermocouple;
    EXPECT_EQ(ch.SignificantDigits(), 5);
    ch.SensorType = TSensorType::ResistanceThermometer;
    EXPECT_EQ(ch.SignificantDigits(), 4);
}

TEST(Device, FreeingADeviceTakesItsLinesOutOfTheirChartsChannelOneFirst)
{
    RecordingChart chart;
    {
        TDevice d(42);
        // Channel 2's line joins the chart first, so the order seen comes from
        // the freeing, not from the chart.
        d.Channel2->GraphLine->Series->SetParentChart(&chart);
        d.Channel1->GraphLine->Series->SetParentChart(&chart);
        ASSERT_EQ(chart.series.size(), 2u);
    }
    EXPECT_TRUE(chart.series.empty());
    EXPECT_EQ(chart.log, QStringList({QStringLiteral("attach №00042К2"), QStringLiteral("attach №00042К1"),
                                      QStringLiteral("detach №00042К1"), QStringLiteral("detach №00042К2")}));
}

TEST(Device, AGraphLineGivenAChartIsDrawnThereAtOnce)
{
    RecordingChart chart;
    auto line = std::make_unique<TGraphLine>(QStringLiteral("№00007К1"), QColor(0, 128, 0), nullptr, &chart);
    ASSERT_EQ(chart.series.size(), 1u);
    EXPECT_EQ(chart.series[0], line->Series.get());
    line->Series->AddXY(45000.0, 1.5, line->Series->Color());
    line.reset();
    EXPECT_TRUE(chart.series.empty());
}
