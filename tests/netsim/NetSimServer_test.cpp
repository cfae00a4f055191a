#include "support/SureWait.h"
#include "tests/netsim/PtyClient.h"
#include "tools/netsim/NetSimServer.h"
#include "tools/netsim/SimWire.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <cerrno>
#include <gtest/gtest.h>

namespace {

QByteArray Status(quint8 Channel, quint8 Power)
{
    QByteArray s("S");
    s.append(char(Channel));
    s.append(char(Power));
    s.append(char(0x01));
    s.append(char(0x01));
    s.append(char(0x02));
    return s;
}

class NetSimServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Dir.isValid());
        QString err;
        ASSERT_TRUE(Server.Start(Dir.path(), 7, err)) << err.toStdString();
    }

    QTemporaryDir Dir;
    NetSimServer Server;
};

} // namespace

TEST_F(NetSimServerTest, PublishesLinkAndAnswersStatusOverThePty)
{
    const QString link = Dir.path() + QStringLiteral("/COM7");
    EXPECT_EQ(Server.LinkPath(), link);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), Server.SlavePath());

    PtyClient pc;
    ASSERT_TRUE(pc.Open(link));
    ASSERT_TRUE(pc.Write("#S"));
    EXPECT_EQ(pc.Read(6, SureWaitMs), Status(16, 0xC0));

    // Channel and power change silently, then show in the status.
    ASSERT_TRUE(pc.Write(QByteArray("#C\x13", 3)));
    ASSERT_TRUE(pc.Write(QByteArray("#P\x6E", 3)));
    ASSERT_TRUE(Server.WaitReceived(8, SureWaitMs));
    EXPECT_TRUE(pc.Read(1, 80).isEmpty());
    ASSERT_TRUE(pc.Write("#S"));
    EXPECT_EQ(pc.Read(6, SureWaitMs), Status(19, 0x6E));
    EXPECT_EQ(Server.Received(), QByteArray("#S#C\x13#P\x6E#S", 10));
}

TEST_F(NetSimServerTest, ControlBytesPassUnchangedInBothDirections)
{
    // 0x0D, 0x11 and 0x13 are what a cooked tty would eat or translate.
    Server.Modem().AddDevice(0x0D11, 1, 0x13);
    Server.Modem().SetChannel(0x13);
    Server.Modem().WithDevice(0x0D11, [](SimDevice& d) { d.SetPcLevel(0x0D); });
    QByteArray frame = QByteArray::fromHex("0d11000004") + QByteArray::fromHex("01011101");
    SimWire::AppendCrc(frame);

    PtyClient pc;
    ASSERT_TRUE(pc.Open(Server.LinkPath()));
    ASSERT_TRUE(pc.Write(frame));
    const QByteArray reply = pc.Read(15, SureWaitMs);
    ASSERT_EQ(reply.size(), 15);
    EXPECT_EQ(Server.Received(), frame);
    EXPECT_EQ(reply.mid(1, 4), QByteArray::fromHex("00000d11"));
    EXPECT_EQ(reply.mid(6, 5), QByteArray::fromHex("0101110101"));
    EXPECT_EQ(quint8(reply[13]), 0x0D);
}

TEST_F(NetSimServerTest, SurvivesThePortBeingClosedAndReopened)
{
    PtyClient pc;
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(pc.Open(Server.LinkPath())) << round;
        ASSERT_TRUE(pc.Write("#S"));
        EXPECT_EQ(pc.Read(6, SureWaitMs), Status(16, 0xC0)) << round;
        pc.Close();
    }
    // A client that leaves without reading does not disturb the next one.
    ASSERT_TRUE(pc.Open(Server.LinkPath()));
    ASSERT_TRUE(pc.Write("#S"));
    ASSERT_TRUE(Server.WaitSent(6 * 4, SureWaitMs));
    pc.Close();
    ASSERT_TRUE(pc.Open(Server.LinkPath()));
    pc.FlushInput();
    ASSERT_TRUE(pc.Write("#S"));
    EXPECT_EQ(pc.Read(6, SureWaitMs), Status(16, 0xC0));
}

TEST_F(NetSimServerTest, ReplyComesNoSoonerThanTheTurnaround)
{
    PtyClient pc;
    ASSERT_TRUE(pc.Open(Server.LinkPath()));
    // The PC flushes its input right after writing: a reply before that would be lost.
    const qint64 start = NetSimServer::NowMs();
    ASSERT_TRUE(pc.Write("#S"));
    EXPECT_EQ(pc.Read(6, SureWaitMs).size(), 6);
    EXPECT_GE(NetSimServer::NowMs() - start, SimModem::DefaultTurnaroundMs);
}

TEST_F(NetSimServerTest, DroppedPortFailsThePcAndRestoreBringsItBack)
{
    PtyClient pc;
    ASSERT_TRUE(pc.Open(Server.LinkPath()));
    Server.DropPort();
    EXPECT_FALSE(Server.PortOpen());
    // The PC's descriptor is dead: writes fail, and the link no longer leads anywhere.
    EXPECT_FALSE(pc.Write("#S"));
    EXPECT_TRUE(QFileInfo(Server.LinkPath()).isSymLink());
    EXPECT_FALSE(QFileInfo(Server.LinkPath()).exists());
    pc.Close();
    PtyClient other;
    EXPECT_FALSE(other.Open(Server.LinkPath()));

    QString err;
    ASSERT_TRUE(Server.RestorePort(err)) << err.toStdString();
    ASSERT_TRUE(pc.Open(Server.LinkPath()));
    ASSERT_TRUE(pc.Write("#S"));
    EXPECT_EQ(pc.Read(6, SureWaitMs), Status(16, 0xC0));
}

TEST_F(NetSimServerTest, PortGoneFaultClosesThePtyWhenTheDeviceIsAddressed)
{
    Server.Modem().AddDevice(1234, 1, 16);
    Server.Modem().SetFault(1234, SimFault::PortGone());
    QByteArray frame = QByteArray::fromHex("04d2000004") + QByteArray::fromHex("01000002");
    SimWire::AppendCrc(frame);
    PtyClient pc;
    ASSERT_TRUE(pc.Open(Server.LinkPath()));
    ASSERT_TRUE(pc.Write(frame));
    // No reply: the read ends at the hang-up, which comes after the port is marked closed.
    EXPECT_TRUE(pc.Read(1, SureWaitMs).isEmpty());
    EXPECT_FALSE(Server.PortOpen());
    // The port is marked closed just before its descriptors are.
    QDeadlineTimer bound(SureWaitMs);
    bool written = true;
    while ((written = pc.Write("#S")) && !bound.hasExpired())
        QThread::msleep(1);
    EXPECT_FALSE(written);
}

TEST(NetSimServer, StopRemovesTheLinkAndReplacesAnOldOne)
{
    QTemporaryDir dir;
    const QString link = dir.path() + QStringLiteral("/COM3");
    // A stale link from a previous run is replaced.
    ASSERT_EQ(::symlink("/nonexistent/pts", QFile::encodeName(link).constData()), 0);
    NetSimServer server;
    QString err;
    ASSERT_TRUE(server.Start(dir.path(), 3, err)) << err.toStdString();
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), server.SlavePath());
    EXPECT_FALSE(server.Start(dir.path(), 3, err));
    server.Stop();
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_FALSE(QFileInfo(link).exists());
    server.Stop();

    // A ports folder that does not exist yet is created.
    NetSimServer again;
    ASSERT_TRUE(again.Start(dir.path() + QStringLiteral("/sub/ports"), 255, err)) << err.toStdString();
    EXPECT_TRUE(QFileInfo(dir.path() + QStringLiteral("/sub/ports/COM255")).isSymLink());
    EXPECT_FALSE(NetSimServer().Start(dir.path(), 0, err));
}
