#include "core/RS232Comm.h"
#include "support/RawPty.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <array>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>

namespace {

TComSettings modemSettings(int timeoutMs = 100)
{
    TComSettings s;
    s.PortNum = RawPty::PortNum;
    s.BaudRate = 57600;
    s.ReadTimeout = timeoutMs;
    return s;
}

QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray b;
    for (int v : list)
        b.append(static_cast<char>(v));
    return b;
}

class SerialLink : public ::testing::Test
{
protected:
    void SetUp() override { qputenv("KLOV_PORTS_DIR", pty.PortsDir().toLocal8Bit()); }
    void TearDown() override { qunsetenv("KLOV_PORTS_DIR"); }

    // Opens a link on the pty and checks that it is usable.
    void openLink(TComConnection& link)
    {
        QString err;
        ASSERT_TRUE(link.Open(false, err)) << err.toStdString();
        ASSERT_TRUE(link.Connected);
    }

    RawPty pty;
};

} // namespace

TEST_F(SerialLink, MissingPortsAreReportedAsNonexistent)
{
    for (int port : {200, 250}) {
        TComSettings s = modemSettings();
        s.PortNum = static_cast<quint8>(port);
        TComConnection link(s);
        QString err = QStringLiteral("kept");
        EXPECT_FALSE(link.Open(false, err));
        EXPECT_FALSE(link.Connected);
        EXPECT_EQ(err, QStringLiteral("Попытка открыть несуществующий COM-порт"));
    }
    // A COM entry whose target is gone (the simulator ended) is missing too.
    pty.CloseMaster();
    ASSERT_TRUE(QFile::remove(pty.LinkPath()));
    ASSERT_TRUE(QFile::link(pty.PortsDir() + QStringLiteral("/nowhere"), pty.LinkPath()));
    TComConnection link(modemSettings());
    QString err;
    EXPECT_FALSE(link.Open(false, err));
    EXPECT_EQ(err, QStringLiteral("Попытка открыть несуществующий COM-порт"));
}

TEST_F(SerialLink, PortHeldByAnotherLinkIsBusyAndFreedByClose)
{
    TComConnection first(modemSettings());
    openLink(first);
    TComConnection second(modemSettings());
    QString err;
    EXPECT_FALSE(second.Open(false, err));
    EXPECT_FALSE(second.Connected);
    EXPECT_EQ(err, QStringLiteral("Порт занят"));

    EXPECT_TRUE(first.Close(false, err));
    EXPECT_FALSE(first.Connected);
    err.clear();
    EXPECT_TRUE(second.Open(false, err)) << err.toStdString();
}

TEST_F(SerialLink, ReopenOnALinkMarkedClosedReleasesItsOwnPortFirst)
{
    TComConnection link(modemSettings());
    openLink(link);
    link.Connected = false; // as the exchange does after a write failure
    QString err;
    EXPECT_TRUE(link.Open(false, err)) << err.toStdString();
    EXPECT_TRUE(link.Connected);
}

TEST_F(SerialLink, SendWritesTheFrameAndRefusesOnAClosedLink)
{
    TComConnection link(modemSettings());
    const std::array<quint8, 5> frame{0x04, 0xD2, 0x00, 0x0D, 0x11};
    QString err;
    EXPECT_FALSE(link.Send(frame, 5, false, err));
    EXPECT_EQ(err, QStringLiteral("COM-порт не открыт!"));

    openLink(link);
    err.clear();
    ASSERT_TRUE(link.Send(frame, 5, false, err)) << err.toStdString();
    EXPECT_TRUE(err.isEmpty());
    // Raw mode: CR and XON pass untouched.
    EXPECT_EQ(pty.ReadExactly(5, SureWaitMs), bytes({0x04, 0xD2, 0x00, 0x0D, 0x11}));
}

TEST_F(SerialLink, ShortReplyCostsTheWholeTimeoutFullReplyReturnsAtOnce)
{
    TComConnection link(modemSettings(100));
    openLink(link);
    ASSERT_TRUE(pty.Write(QByteArray(20, '\x5A')));

    std::array<quint8, 65> buf{};
    int count = 65;
    QString err;
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(link.Receive(buf, false, err, count, false, false));
    const qint64 shortMs = timer.elapsed();
    EXPECT_EQ(count, 20);
    EXPECT_TRUE(err.isEmpty());
    EXPECT_GE(shortMs, 100);
    EXPECT_LT(shortMs, 1000);

    // With a long time-out, six bytes arriving after a moment end the read early.
    ASSERT_TRUE(link.SetReadTimeout(SureWaitMs, false, err));
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        pty.Write(bytes({'S', 17, 0x60, 1, 2, 3}));
    });
    timer.restart();
    count = 6;
    const bool ok = link.Receive(buf, false, err, count, false, false);
    const qint64 fullMs = timer.elapsed();
    writer.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(count, 6);
    EXPECT_EQ(buf[0], 'S');
    EXPECT_LT(fullMs, SureWaitMs / 2);
}

// Reading on belongs to the read before it: it waits out only what is left of
// that read's time-out, so an exchange never waits longer than one read; past a
// complete reply only what has come or keeps coming is taken, so a device that
// answered once does not cost the rest of the wait.
TEST_F(SerialLink, ReadingOnStaysWithinTheReadBeforeIt)
{
    constexpr int TimeoutMs = 1000;
    TComConnection link(modemSettings(TimeoutMs));
    openLink(link);
    ASSERT_TRUE(pty.Write(bytes({1, 2, 3, 4, 5, 6})));
    std::array<quint8, 65> buf{};
    int count = 2;
    QString err;
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(link.Receive(buf, false, err, count, false, false));
    count = 2;
    EXPECT_TRUE(link.ReceiveMore(buf, err, count));
    EXPECT_EQ(buf[1], 4);
    // Bytes still in the port after the read took its own.
    ASSERT_TRUE(pty.Write(bytes({7, 8})));
    count = 10;
    EXPECT_TRUE(link.ReceiveWaiting(buf, err, count));
    EXPECT_EQ(count, 4);
    EXPECT_EQ(buf[3], 8);
    count = 10;
    EXPECT_FALSE(link.ReceiveWaiting(buf, err, count));
    // Either read waiting would last until the read's deadline.
    EXPECT_LT(timer.elapsed(), TimeoutMs / 2);

    timer.start();
    count = 10;
    EXPECT_FALSE(link.ReceiveMore(buf, err, count));
    // A wait of its own would last the whole time-out again.
    EXPECT_LT(timer.elapsed(), TimeoutMs);
}

TEST_F(SerialLink, SilenceIsATimeoutWithNoBytes)
{
    TComConnection link(modemSettings(50));
    openLink(link);
    std::array<quint8, 65> buf{};
    int count = 65;
    QString err = QStringLiteral("old");
    EXPECT_FALSE(link.Receive(buf, false, err, count, false, false));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(err, QStringLiteral("Превышен таймаут ожидания ответа"));
}

TEST_F(SerialLink, PeerVanishingDuringAReadFailsItWithoutWaitingOut)
{
    TComConnection link(modemSettings(SureWaitMs));
    openLink(link);
    std::thread killer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pty.CloseMaster();
    });
    std::array<quint8, 65> buf{};
    int count = 65;
    QString err;
    QElapsedTimer timer;
    timer.start();
    const bool ok = link.Receive(buf, false, err, count, false, false);
    killer.join();
    EXPECT_FALSE(ok);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(err, QStringLiteral("Ошибка функции ClearCommError"));
    EXPECT_LT(timer.elapsed(), SureWaitMs / 2);

    // Writing to the vanished port fails with a port error, which starts with "Ошибка".
    const std::array<quint8, 3> frame{1, 2, 3};
    err.clear();
    EXPECT_FALSE(link.Send(frame, 3, false, err));
    EXPECT_TRUE(err.startsWith(QStringLiteral("Ошибка"))) << err.toStdString();

    // The modem comes back under the same name: the same link opens it again.
    ASSERT_TRUE(pty.Reopen());
    err.clear();
    EXPECT_TRUE(link.Open(false, err)) << err.toStdString();
    err.clear();
    EXPECT_TRUE(link.Send(frame, 3, false, err)) << err.toStdString();
    EXPECT_EQ(pty.ReadExactly(3, SureWaitMs), bytes({1, 2, 3}));
}

TEST_F(SerialLink, ModemCommandsOutOfRangeSendNothing)
{
    TComConnection link(modemSettings());
    QString err;
    EXPECT_FALSE(link.SetRfChannel(16, false, err));
    EXPECT_EQ(err, QStringLiteral("COM-порт не подключен!"));

    openLink(link);
    for (int channel : {15, 24, -1, 255}) {
        err.clear();
        EXPECT_FALSE(link.SetRfChannel(channel, false, err));
        EXPECT_EQ(err, QStringLiteral("Недопустимый номер радиочастотного канала!"));
    }
    for (int level : {-1, 3}) {
        err.clear();
        EXPECT_FALSE(link.SetRfPowerLevel(level, false, err));
        EXPECT_EQ(err, QStringLiteral("Недопустимый уровень мощности радиопередатчика!"));
    }
    EXPECT_TRUE(pty.ReadAvailable(100).isEmpty());

    EXPECT_TRUE(link.SetRfChannel(16, false, err));
    EXPECT_TRUE(link.SetRfChannel(23, false, err));
    EXPECT_TRUE(link.SetRfPowerLevel(0, false, err));
    EXPECT_TRUE(link.SetRfPowerLevel(1, false, err));
    EXPECT_TRUE(link.SetRfPowerLevel(2, false, err));
    EXPECT_EQ(pty.ReadExactly(15, SureWaitMs),
              bytes({'#', 'C', 16, '#', 'C', 23, '#', 'P', 0x6E, '#', 'P', 0x60, '#', 'P', 0xC0}));
}

TEST_F(SerialLink, StatusRepliesUpdateOnlyWhatTheyValidlyCarry)
{
    TComConnection link(modemSettings(100));
    openLink(link);
    auto answerOnce = [&](const QByteArray& reply) {
        return std::thread([this, reply] {
            if (pty.ReadExactly(2, SureWaitMs) == QByteArray("#S"))
                pty.Write(reply);
        });
    };
    int channel = -1;
    int level = -1;
    QString err;

    // No reply: still true, with the values of no valid reply at all.
    std::thread silent([this] { pty.ReadExactly(2, SureWaitMs); });
    EXPECT_TRUE(link.GetRfChannel(channel, false, err));
    silent.join();
    EXPECT_EQ(channel, 0);

    // The replies come from a thread: a read that gave up on one late reply would
    // take it for the next.
    ASSERT_TRUE(link.SetReadTimeout(SureWaitMs, false, err));

    std::thread t1 = answerOnce(bytes({'S', 19, 0x60, 7, 0x12, 0x34}));
    EXPECT_TRUE(link.GetRfChannel(channel, false, err));
    t1.join();
    EXPECT_EQ(channel, 19);
    EXPECT_EQ(link.RfPowerLevel(), 1);

    // Channel 32 and an unknown power code leave the stored values.
    std::thread t2 = answerOnce(bytes({'S', 32, 0x11, 0, 0, 0}));
    EXPECT_TRUE(link.GetRfPowerLevel(level, false, err));
    t2.join();
    EXPECT_EQ(level, 1);
    EXPECT_EQ(link.RfChannel(), 19);

    // A reply not starting with 'S' is ignored; a good one for high power is taken.
    std::thread t3 = answerOnce(bytes({'X', 20, 0xC0, 0, 0, 0}));
    EXPECT_TRUE(link.GetRfChannel(channel, false, err));
    t3.join();
    EXPECT_EQ(channel, 19);
    std::thread t4 = answerOnce(bytes({'S', 31, 0xC0, 0, 0, 0}));
    EXPECT_TRUE(link.GetRfPowerLevel(level, false, err));
    t4.join();
    EXPECT_EQ(level, 2);
    EXPECT_EQ(link.RfChannel(), 31);
}

TEST_F(SerialLink, PortListShowsPresentPortsOnly)
{
    ASSERT_TRUE(
        QFile::link(pty.PortsDir() + QStringLiteral("/gone"), pty.PortsDir() + QStringLiteral("/COM201")));
    TComConnection holder(modemSettings());
    QComboBox combo;
    combo.addItem(QStringLiteral("stale"));
    FillComPortList(combo);
    QStringList items;
    for (int i = 0; i < combo.count(); ++i)
        items << combo.itemText(i);
    EXPECT_TRUE(items.contains(QStringLiteral("COM7")));
    EXPECT_FALSE(items.contains(QStringLiteral("COM201")));
    EXPECT_FALSE(items.contains(QStringLiteral("stale")));

    // A port in use by another program is listed all the same.
    openLink(holder);
    EXPECT_TRUE(ComPortNames().contains(QStringLiteral("COM7")));
}

TEST_F(SerialLink, DeviceNodeWithoutHardwareIsReportedAsNonexistent)
{
    // A serial device node whose UART is not there (as /dev/ttyS3 on most PCs).
    const QString node = pty.PortsDir() + QStringLiteral("/ttyS63");
    if (::mknod(QFile::encodeName(node).constData(), S_IFCHR | 0600, makedev(4, 127)) != 0)
        GTEST_SKIP() << "cannot make a device node here";
    QFile::remove(pty.LinkPath());
    ASSERT_TRUE(QFile::link(node, pty.LinkPath()));
    TComConnection link(modemSettings());
    QString err = QStringLiteral("old");
    EXPECT_FALSE(link.Open(false, err));
    EXPECT_FALSE(link.Connected);
    EXPECT_EQ(err, QStringLiteral("Попытка открыть несуществующий COM-порт"));
    EXPECT_FALSE(ComPortNames().contains(QStringLiteral("COM7")));
}
