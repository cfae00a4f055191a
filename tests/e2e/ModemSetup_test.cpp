#include "dispatcher/ModemSetup.h"
#include "support/QStringPrinter.h"
#include "support/SimNetwork.h"

#include <gtest/gtest.h>

namespace {

constexpr int ModemPort = 16;

class ModemSetup : public SimNetworkTest
{
protected:
    void SetUp() override { ASSERT_TRUE(publishPorts()); }
    void TearDown() override
    {
        if (link && link->Connected) {
            QString err;
            link->Close(false, err);
        }
        SimNetworkTest::TearDown();
    }

    void connect(int port, int channel, int power)
    {
        journal.clear();
        ConnectModem(link, port, channel, power, [this](const QString& t) { journal << t; });
    }

    std::unique_ptr<TComConnection> link;
    QStringList journal;
};

} // namespace

TEST_F(ModemSetup, ModemIsBroughtToTheConfiguredChannelAndPowerQuietly)
{
    ASSERT_TRUE(startSim(ModemPort));
    connect(ModemPort, 19, 0);
    EXPECT_TRUE(journal.isEmpty()) << journal.join(QLatin1Char('|')).toStdString();
    ASSERT_TRUE(link && link->Connected);
    EXPECT_EQ(sim.Modem().Channel(), 19);
    EXPECT_EQ(sim.Modem().PowerCode(), 0x6E);
    EXPECT_EQ(link->Settings().ReadTimeout, 100);
    EXPECT_EQ(link->Settings().BaudRate, 57600);
}

TEST_F(ModemSetup, MissingPortIsJournalledAndLeavesAClosedLink)
{
    connect(ModemPort, 16, 2);
    ASSERT_EQ(journal.size(), 1);
    EXPECT_EQ(journal[0],
              QStringLiteral("Попытка открыть несуществующий COM-порт при соединении с СОМ-портом"));
    ASSERT_TRUE(link);
    EXPECT_FALSE(link->Connected);
}

TEST_F(ModemSetup, ModemThatNeverReportsItsChannelIsJournalledOnce)
{
    ASSERT_TRUE(startSim(ModemPort));
    sim.Modem().SetStatusOverride(QByteArray());
    connect(ModemPort, 16, 2);
    ASSERT_EQ(journal.size(), 1);
    EXPECT_EQ(journal[0], QStringLiteral("Не удалось установить требуемый номер радиоканала передатчика!"));
    EXPECT_TRUE(link->Connected);
}

TEST_F(ModemSetup, ImpossibleChannelAndPowerAreJournalledWithTheirStep)
{
    ASSERT_TRUE(startSim(ModemPort));
    connect(ModemPort, 30, 7);
    EXPECT_EQ(journal,
              QStringList({
                  QStringLiteral(
                      "Недопустимый номер радиочастотного канала! при установке номера канала радиомодема"),
                  QStringLiteral("Недопустимый уровень мощности радиопередатчика! при установке уровня "
                                 "мощности передачи радиомодема"),
                  QStringLiteral("Не удалось установить требуемый номер радиоканала передатчика!"),
              }));
    EXPECT_EQ(sim.Modem().Channel(), 16);
}

TEST_F(ModemSetup, ReconnectingReleasesThePreviousLink)
{
    ASSERT_TRUE(startSim(ModemPort));
    connect(ModemPort, 17, 2);
    ASSERT_TRUE(link->Connected);
    connect(ModemPort, 18, 2);
    EXPECT_TRUE(journal.isEmpty()) << journal.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(sim.Modem().Channel(), 18);
}
