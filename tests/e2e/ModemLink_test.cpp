#include "core/RS232Comm.h"
#include "support/SimNetwork.h"

#include <array>
#include <gtest/gtest.h>

namespace {

constexpr int ModemPort = 12;

class ModemLink : public SimNetworkTest
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(publishPorts());
        ASSERT_TRUE(startSim(ModemPort));
        settings.PortNum = ModemPort;
        // A status reply the read gave up on would be taken for the next query's.
        settings.ReadTimeout = SureWaitMs;
    }

    TComSettings settings;
};

} // namespace

TEST_F(ModemLink, ChannelAndPowerAreSetAndReadBack)
{
    TComConnection link(settings);
    QString err;
    ASSERT_TRUE(link.Open(false, err)) << err.toStdString();

    int channel = -1;
    ASSERT_TRUE(link.GetRfChannel(channel, false, err));
    EXPECT_EQ(channel, 16);

    ASSERT_TRUE(link.SetRfChannel(21, false, err));
    ASSERT_TRUE(link.SetRfPowerLevel(1, false, err));
    ASSERT_TRUE(link.GetRfChannel(channel, false, err));
    EXPECT_EQ(channel, 21);
    int level = -1;
    ASSERT_TRUE(link.GetRfPowerLevel(level, false, err));
    EXPECT_EQ(level, 1);
    EXPECT_EQ(sim.Modem().Channel(), 21);
    EXPECT_EQ(sim.Modem().PowerCode(), 0x60);

    // A refused command never reaches the modem.
    sim.ClearRecords();
    EXPECT_FALSE(link.SetRfChannel(24, false, err));
    EXPECT_FALSE(link.SetRfPowerLevel(3, false, err));
    EXPECT_FALSE(sim.WaitReceived(1, 100));
    EXPECT_EQ(sim.Modem().Channel(), 21);
}

TEST_F(ModemLink, SimulatorSurvivesThePortBeingClosedAndReopened)
{
    QString err;
    for (int round = 0; round < 3; ++round) {
        TComConnection link(settings);
        ASSERT_TRUE(link.Open(false, err)) << err.toStdString();
        ASSERT_TRUE(link.SetRfChannel(17 + round, false, err));
        int channel = -1;
        ASSERT_TRUE(link.GetRfChannel(channel, false, err));
        EXPECT_EQ(channel, 17 + round);
        ASSERT_TRUE(link.Close(false, err));
    }
}

TEST_F(ModemLink, LinkReopensOnceTheVanishedModemIsBack)
{
    TComConnection link(settings);
    QString err;
    ASSERT_TRUE(link.Open(false, err)) << err.toStdString();

    sim.DropPort();
    const std::array<quint8, 2> probe{'#', 'S'};
    err.clear();
    EXPECT_FALSE(link.Send(probe, 2, false, err));
    EXPECT_TRUE(err.startsWith(QStringLiteral("Ошибка"))) << err.toStdString();
    link.Connected = false; // what the exchange does after a port error

    // While it is gone the port reads as missing, and the link holds nothing.
    err.clear();
    EXPECT_FALSE(link.Open(false, err));
    EXPECT_FALSE(link.Connected);
    EXPECT_EQ(err, QStringLiteral("Попытка открыть несуществующий COM-порт"));

    ASSERT_TRUE(sim.RestorePort(err)) << err.toStdString();
    err.clear();
    ASSERT_TRUE(link.Open(false, err)) << err.toStdString();
    ASSERT_TRUE(link.SetRfChannel(22, false, err));
    int channel = -1;
    ASSERT_TRUE(link.GetRfChannel(channel, false, err));
    EXPECT_EQ(channel, 22);
}
