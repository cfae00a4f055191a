#include "tools/netsim/SimFirmware.h"
#include "tools/netsim/SimUsbDevice.h"
#include "tools/netsim/SimWire.h"

#include <gtest/gtest.h>

namespace {

QByteArray info(const QByteArray& Image)
{
    QByteArray b(1, '\0');
    b.append(char(3));
    SimWire::AppendBE16(b, 1);
    SimWire::AppendBE16(b, SimWire::Crc16(Image));
    SimWire::AppendBE32(b, quint32(Image.size()));
    return b;
}

QByteArray block(const QByteArray& Image, int Offset, int N)
{
    QByteArray b;
    SimWire::AppendBE32(b, quint32(Offset));
    SimWire::AppendBE16(b, quint16(N));
    return b + Image.mid(Offset, N);
}

QByteArray image()
{
    QByteArray i;
    for (int k = 0; k < 70; ++k)
        i.append(char(k * 13 + 1));
    return i;
}

} // namespace

TEST(SimFirmware, GoodImageIsInstalledAndTheDeviceRestarts)
{
    SimFirmware fw;
    fw.SetRestartMs(300);
    const QByteArray img = image();
    ASSERT_EQ(fw.WriteInfo(info(img)), 0);
    EXPECT_EQ(fw.WriteData(block(img, 0, 32), 0), 0);
    EXPECT_EQ(fw.WriteData(block(img, 32, 32), 0), 0);
    SimFirmware::Installed what;
    EXPECT_FALSE(fw.TakeInstalled(what));
    EXPECT_EQ(fw.WriteData(block(img, 64, 6), 1000), 0);
    EXPECT_TRUE(fw.TakeInstalled(what));
    EXPECT_EQ(what.HwVersion, 3);
    EXPECT_EQ(fw.RunningCrc(), SimWire::Crc16(img));
    // The reply to the last block goes out; then the device is away while it restarts.
    EXPECT_FALSE(fw.Silent(1000));
    EXPECT_TRUE(fw.Silent(1001));
    EXPECT_TRUE(fw.Silent(1300));
    EXPECT_FALSE(fw.Silent(1301));
}

TEST(SimFirmware, FaultsKeepTheOldImage)
{
    const QByteArray img = image();
    SimFirmware bad;
    const quint16 old = bad.RunningCrc();
    bad.SetFault({SimFwFaultMode::BadCrc, 0, 5, false});
    bad.WriteInfo(info(img));
    bad.WriteData(block(img, 0, 32), 0);
    bad.WriteData(block(img, 32, 32), 0);
    EXPECT_EQ(bad.WriteData(block(img, 64, 6), 0), 0);
    SimFirmware::Installed what;
    EXPECT_FALSE(bad.TakeInstalled(what));
    EXPECT_EQ(bad.RunningCrc(), old);

    SimFirmware refuse;
    refuse.SetFault({SimFwFaultMode::Refuse, 1, 1, true});
    refuse.WriteInfo(info(img));
    EXPECT_EQ(refuse.WriteData(block(img, 0, 32), 0), 0);
    EXPECT_EQ(refuse.WriteData(block(img, 32, 32), 0), 1);
    EXPECT_EQ(refuse.WriteData(block(img, 32, 32), 0), 1);
    EXPECT_EQ(refuse.BlocksTaken(), 1);

    SimFirmware silent;
    silent.SetFault({SimFwFaultMode::Silence, 2, 5, false});
    EXPECT_FALSE(silent.Silent(0));
    silent.WriteInfo(info(img));
    silent.WriteData(block(img, 0, 32), 0);
    EXPECT_FALSE(silent.Silent(0));
    silent.WriteData(block(img, 32, 32), 0);
    EXPECT_TRUE(silent.Silent(0));
}

TEST(SimFirmware, FaultTexts)
{
    SimFwFault f;
    QString err;
    ASSERT_TRUE(SimFwFault::Parse(QStringLiteral("refuse 3 7 all"), f, err));
    EXPECT_EQ(f.Mode, SimFwFaultMode::Refuse);
    EXPECT_EQ(f.Block, 3);
    EXPECT_EQ(f.Code, 7);
    EXPECT_TRUE(f.All);
    ASSERT_TRUE(SimFwFault::Parse(QStringLiteral("silence 0"), f, err));
    EXPECT_EQ(f.Mode, SimFwFaultMode::Silence);
    ASSERT_TRUE(SimFwFault::Parse(QStringLiteral("crc"), f, err));
    EXPECT_EQ(f.Mode, SimFwFaultMode::BadCrc);
    for (const char* bad : {"", "refuse", "refuse x", "silence -1", "crc 1", "refuse 1 0", "refuse 1 5 some"})
        EXPECT_FALSE(SimFwFault::Parse(QString::fromLatin1(bad), f, err)) << bad;
}

TEST(SimUsbDevice, AnswersRawFramesAddressedToItAndDropsTheRest)
{
    SimUsbDevice dev(1234, 1);
    QByteArray frame;
    SimWire::AppendBE16(frame, 1234);
    SimWire::AppendBE16(frame, 0);
    frame.append(char(4));
    frame.append(char(1));
    SimWire::AppendBE16(frame, 0xFFF5);
    frame.append(char(10));
    SimWire::AppendCrc(frame);
    // Split in two writes: still one frame.
    dev.Feed(frame.left(5), 0);
    dev.Feed(frame.mid(5), 1);
    ASSERT_EQ(dev.NextDueMs(), 1 + SimUsbDevice::DefaultTurnaroundMs);
    const QList<SimOutput> out = dev.TakeDue(10);
    ASSERT_EQ(out.size(), 1);
    const QByteArray r = out[0].Bytes;
    ASSERT_EQ(r.size(), 21);
    EXPECT_EQ(quint8(r[4]) + 7, r.size());
    EXPECT_TRUE(SimWire::CrcMatches(r));
    EXPECT_EQ(r.mid(0, 4), QByteArray::fromHex("000004d2"));

    QByteArray other = frame;
    other[1] = char(0xD3);
    other.chop(2);
    SimWire::AppendCrc(other);
    QByteArray broken = frame;
    broken[6] = char(broken[6] ^ 1);
    dev.Feed(other + broken, 100);
    dev.DropFrames({1});
    dev.Feed(frame, 200);
    EXPECT_TRUE(dev.TakeDue(1000).isEmpty());
    EXPECT_EQ(dev.FramesReceived(), 2);
}
