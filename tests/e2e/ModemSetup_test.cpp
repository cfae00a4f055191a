#include "dispatcher/ModemSetup.h"
#include "tools/netsim/NetSimServer.h"

#include "support/QStringPrinter.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

constexpr int ModemPort = 16;

class ModemSetup : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        qputenv("KLOV_PORTS_DIR", dir.path().toLocal8Bit());
    }
    void TearDown() override
    {
        if (link && link->Connected) {
            QString err;
            link->Close(false, err);
        }
        sim.Stop();
        qunsetenv("KLOV_PORTS_DIR");
    }

    void startSim()
    {
        QString err;
        ASSERT_TRUE(sim.Start(dir.path(), ModemPort, err)) << err.toStdString();
    }

    void connect(int port, int channel, int power)
    {
        journal.clear();
        ConnectModem(link, port, channel, power, [this](const QString& t) { journal << t; });
    }

    QTemporaryDir dir;
    NetSimServer sim;
    std::unique_ptr<TComConnection> link;
    QStringList journal;
};

} // namespace

TEST_F(ModemSetup, ModemIsBroughtToTheConfiguredChannelAndPowerQuietly)
{
    startSim();
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
    EXPECT_EQ(journal[0], QStringLiteral("Попытка открыть несуществующий COM-порт при соединении с СОМ-портом"));
    ASSERT_TRUE(link);
    EXPECT_FALSE(link->Connected);
}

TEST_F(ModemSetup, ModemThatNeverReportsItsChannelIsJournalledOnce)
{
    startSim();
    sim.Modem().SetStatusOverride(QByteArray());
    connect(ModemPort, 16, 2);
    ASSERT_EQ(journal.size(), 1);
    EXPECT_EQ(journal[0], QStringLiteral("Не удалось установить требуемый номер радиоканала передатчика!"));
    EXPECT_TRUE(link->Connected);
}

TEST_F(ModemSetup, ImpossibleChannelAndPowerAreJournalledWithTheirStep)
{
    startSim();
    connect(ModemPort, 30, 7);
    EXPECT_EQ(journal, QStringList({
                           QStringLiteral("Недопустимый номер радиочастотного канала! при установке номера канала радиомодема"),
                           QStringLiteral("Недопустимый уровень мощности радиопередатчика! при установке уровня "
                                          "мощности передачи радиомодема"),
                           QStringLiteral("Не удалось установить требуемый номер радиоканала передатчика!"),
                       }));
    EXPECT_EQ(sim.Modem().Channel(), 16);
}

TEST_F(ModemSetup, ReconnectingReleasesThePreviousLink)
{
    startSim();
    connect(ModemPort, 17, 2);
    ASSERT_TRUE(link->Connected);
    connect(ModemPort, 18, 2);
    EXPECT_TRUE(journal.isEmpty()) << journal.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(sim.Modem().Channel(), 18);
}
