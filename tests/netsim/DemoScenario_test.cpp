#include "tools/netsim/SimScenario.h"
#include "tools/netsim/SimWire.h"

#include <QStringDecoder>
#include <gtest/gtest.h>
#include <map>
#include <set>

// The demonstration network promises a calm majority and a few devices that act up
// on a known rhythm (tools/netsim/README.md, the root README). These tests hold the
// scenario file to those promises, so an edit that breaks them shows here.
namespace {

constexpr qint64 Horizon = 10 * 60 * 1000; // longer than every period in the demo
constexpr qint64 Step = 250;

struct Channel
{
    bool Enabled = false;
    int Sensor = 0;
    int Model = 0;
    float MinAlert = 0;
    float MaxAlert = 0;
    float MinBound = 0;
    float MaxBound = 0;
    QString Name;
    QString Unit;
};

float FloatAt(const SimDevice& D, quint16 Addr)
{
    const QByteArray b = D.Registers(Addr, 4);
    return SimWire::FloatFromBE(reinterpret_cast<const quint8*>(b.constData()));
}

QString Text(const SimDevice& D, quint16 Addr, int Len)
{
    QStringDecoder decoder("windows-1251");
    return QString(decoder(D.Registers(Addr, Len))).trimmed();
}

Channel ChannelOf(const SimDevice& D, int N)
{
    Channel c;
    c.Enabled = D.Register8(N == 1 ? SimDevice::RegChannelEnable1 : SimDevice::RegChannelEnable2) != 0;
    const quint16 sensor = N == 1 ? SimDevice::RegSensorType1 : SimDevice::RegSensorType2;
    c.Sensor = D.Register8(sensor);
    c.Model = D.Register8(sensor + 1);
    const quint16 limits = N == 1 ? SimDevice::RegAlarmLimits1 : SimDevice::RegAlarmLimits2;
    c.MinAlert = FloatAt(D, limits);
    c.MaxAlert = FloatAt(D, limits + 4);
    if (D.Type() == 2) {
        const quint16 range = N == 1 ? SimDevice::RegMeasRange1 : SimDevice::RegMeasRange2;
        c.MaxBound = FloatAt(D, range);
        c.MinBound = FloatAt(D, range + 4);
        const quint16 names = N == 1 ? SimDevice::RegQuantityName1 : SimDevice::RegQuantityName2;
        c.Name = Text(D, names, 24);
        c.Unit = Text(D, names + 24, 16);
    }
    return c;
}

// How the operator's table rates a value against the limits: 0 normal, 1/2 near
// the low/high limit (within a tenth of the span), 3/4 beyond it.
int LimitState(const Channel& C, float V)
{
    const float r = C.MaxAlert - C.MinAlert;
    if (V < C.MinAlert)
        return 3;
    if (V > C.MaxAlert)
        return 4;
    if (V < C.MinAlert + r / 10)
        return 1;
    if (V > C.MaxAlert - r / 10)
        return 2;
    return 0;
}

bool Supported(int DeviceType, int Sensor, int Model)
{
    const std::set<std::pair<int, int>> type1 = {{1, 2}, {1, 3}, {1, 4}, {1, 7}, {1, 12}, {2, 5},
                                                 {2, 6}, {2, 7}, {2, 8}, {2, 9}, {2, 10}};
    const std::set<std::pair<int, int>> type2 = {{4, 1}, {3, 1}, {3, 2}};
    return (DeviceType == 1 ? type1 : type2).count({Sensor, Model}) > 0;
}

class DemoScenario : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString err;
        ASSERT_TRUE(SimScenario::LoadDemo(modem, err)) << err.toStdString();
    }
    SimModem modem;
};

} // namespace

TEST_F(DemoScenario, SixOrMoreDevicesOfBothTypesOnTheModemChannel)
{
    EXPECT_EQ(modem.Channel(), 16);
    const QList<quint16> serials = modem.SerialsOnChannel(16);
    EXPECT_GE(serials.size(), 6);
    std::set<int> types;
    for (const quint16 s : serials)
        modem.WithDevice(s, [&](SimDevice& d) { types.insert(d.Type()); });
    EXPECT_EQ(types, (std::set<int>{1, 2}));

    // The settings file's list is exactly those, in scenario order; the device on
    // channel 17 is left out.
    QStringList expected;
    for (const quint16 s : serials)
        expected << QString::number(s);
    EXPECT_EQ(SimScenario::DevicesList(modem), expected.join(QLatin1Char(',')));
    EXPECT_EQ(SimScenario::DevicesList(modem), QStringLiteral("1234,1235,2001,2002,3002,3003"));
    EXPECT_TRUE(modem.Serials().contains(3001));
    EXPECT_FALSE(serials.contains(3001));
}

TEST_F(DemoScenario, SettingsArePlausibleForTheirSensors)
{
    for (const quint16 s : modem.SerialsOnChannel(16)) {
        modem.WithDevice(s, [&](SimDevice& d) {
            SCOPED_TRACE(s);
            const QString comment = Text(d, SimDevice::RegComment, 32);
            EXPECT_FALSE(comment.isEmpty());
            EXPECT_FALSE(comment.startsWith(QStringLiteral("Имитатор")));
            // Windows-1251 has no '?' stand-ins to hide behind.
            EXPECT_FALSE(comment.contains(QLatin1Char('?'))) << comment.toStdString();
            int enabled = 0;
            for (int n = 1; n <= 2; ++n) {
                SCOPED_TRACE(n);
                const Channel c = ChannelOf(d, n);
                if (!c.Enabled)
                    continue;
                ++enabled;
                EXPECT_TRUE(Supported(d.Type(), c.Sensor, c.Model)) << c.Sensor << "/" << c.Model;
                EXPECT_LT(c.MinAlert, c.MaxAlert);
                if (d.Type() == 2) {
                    EXPECT_LT(c.MinBound, c.MaxBound);
                    EXPECT_GE(c.MinAlert, c.MinBound);
                    EXPECT_LE(c.MaxAlert, c.MaxBound);
                    EXPECT_FALSE(c.Name.isEmpty() || c.Unit.isEmpty());
                    EXPECT_FALSE((c.Name + c.Unit).contains(QLatin1Char('?')));
                }
                for (qint64 t = 0; t < Horizon; t += Step) {
                    const float v = d.ValueAt(n, t);
                    if (d.Type() == 2) {
                        ASSERT_GE(v, c.MinBound) << t;
                        ASSERT_LE(v, c.MaxBound) << t;
                    } else if (c.Sensor == 2) {
                        ASSERT_GT(v, -50.0f) << t; // resistance thermometers: ambient to process heat
                        ASSERT_LT(v, 500.0f) << t;
                    } else {
                        ASSERT_GT(v, -50.0f) << t;
                        ASSERT_LT(v, 1700.0f) << t;
                    }
                }
            }
            EXPECT_GE(enabled, 1);
        });
    }
}

TEST_F(DemoScenario, OnlyThePressureCrossesItsLimitAndOnlyForAFewSeconds)
{
    for (const quint16 s : modem.SerialsOnChannel(16)) {
        modem.WithDevice(s, [&](SimDevice& d) {
            for (int n = 1; n <= 2; ++n) {
                const Channel c = ChannelOf(d, n);
                if (!c.Enabled)
                    continue;
                // State changes over one period of the pressure, and time spent in each state.
                QList<int> path;
                std::map<int, qint64> time;
                for (qint64 t = 0; t < 120000; t += Step) {
                    const int state = LimitState(c, d.ValueAt(n, t));
                    if (path.isEmpty() || path.last() != state)
                        path.append(state);
                    time[state] += Step;
                }
                if (s == 1235 && n == 1) {
                    EXPECT_EQ(path, (QList<int>{0, 2, 4, 2, 0}));
                    EXPECT_GE(time[4], 5000);
                    EXPECT_LE(time[4], 20000);
                    EXPECT_GE(time[2], 10000);
                } else {
                    EXPECT_EQ(path, QList<int>{0}) << s << " channel " << n;
                }
            }
        });
    }
}

TEST_F(DemoScenario, OneDeviceFallsSilentAndOneRaisesAFaultBitOnASchedule)
{
    std::map<quint16, qint64> silentMs;
    std::map<quint16, std::set<quint32>> registers;
    for (const quint16 s : modem.SerialsOnChannel(16)) {
        modem.WithDevice(s, [&](SimDevice& d) {
            for (qint64 t = 0; t < 180000; t += Step) {
                if (d.FaultAt(t).Mode == SimFaultMode::Silence)
                    silentMs[s] += Step;
                else
                    EXPECT_EQ(d.FaultAt(t), SimFault::None()) << s << " at " << t;
                registers[s].insert(d.FaultRegisterAt(t));
            }
        });
    }
    // 20 s of every minute; the first silence comes 40 s after the start.
    EXPECT_EQ(silentMs, (std::map<quint16, qint64>{{2001, 60000}}));
    modem.WithDevice(2001, [](SimDevice& d) {
        EXPECT_NE(d.FaultAt(39000).Mode, SimFaultMode::Silence);
        EXPECT_EQ(d.FaultAt(41000).Mode, SimFaultMode::Silence);
    });
    for (const auto& [serial, seen] : registers) {
        if (serial == 3002)
            EXPECT_EQ(seen, (std::set<quint32>{0, 0x2})); // "no cold-junction data" comes and goes
        else
            EXPECT_EQ(seen, std::set<quint32>{0}) << serial;
    }
    modem.WithDevice(3002, [](SimDevice& d) {
        EXPECT_EQ(d.FaultRegisterAt(49000), 0u);
        EXPECT_EQ(d.FaultRegisterAt(51000), 2u);
        EXPECT_EQ(d.FaultRegisterAt(66000), 0u);
    });
}
