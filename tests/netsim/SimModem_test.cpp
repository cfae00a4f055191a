#include "tests/netsim/SimFrames.h"
#include "tools/netsim/SimModem.h"
#include "tools/netsim/SimWire.h"

#include <gtest/gtest.h>

using namespace SimFrames;

namespace {

class SimModemTest : public ::testing::Test
{
protected:
    // Feeds Bytes and returns everything the modem answers within a second.
    QByteArray Exchange(const QByteArray& Bytes)
    {
        Now += 1000;
        Modem.Feed(Bytes, Now);
        QByteArray out;
        for (const SimOutput& o : Modem.TakeDue(Now + 1000))
            out += o.Bytes;
        return out;
    }

    SimModem Modem;
    qint64 Now = 0;
};

} // namespace

TEST(SimWire, CrcIsModbusAndMatchesTheKnownPollingFrame)
{
    EXPECT_EQ(SimWire::Crc16(QByteArray("123456789")), 0x4B37);
    EXPECT_EQ(ModbusCrc("123456789"), 0x4B37);
    // The polling request of device 1234: four reads, checksum 3F D4.
    const QByteArray frame = QByteArray::fromHex("04d200001001020005010205040102090401020d04");
    const QByteArray expected = QByteArray::fromHex("04d200001001020005010205040102090401020d043fd4");
    QByteArray built = frame;
    SimWire::AppendCrc(built);
    EXPECT_EQ(built, expected);
    EXPECT_TRUE(SimWire::CrcMatches(expected));
    EXPECT_EQ(Request(1234, Read(0x0200, 5) + Read(0x0205, 4) + Read(0x0209, 4) + Read(0x020D, 4)), expected);
    EXPECT_EQ(SimWire::FloatBE(1.0f), QByteArray::fromHex("3f800000"));
}

TEST_F(SimModemTest, ModemCommandsChangeSettingsSilentlyAndStatusReportsThem)
{
    EXPECT_EQ(Exchange("#S"), QByteArray::fromHex("5310c0010102"));
    EXPECT_EQ(Exchange(QByteArray("#C\x17", 3)), QByteArray());
    EXPECT_EQ(Exchange(QByteArray("#P\x60", 3)), QByteArray());
    EXPECT_EQ(Modem.Channel(), 23);
    EXPECT_EQ(Modem.PowerCode(), 0x60);
    // A channel outside 16..23 is ignored.
    EXPECT_EQ(Exchange(QByteArray("#C\x18", 3)), QByteArray());
    EXPECT_EQ(Exchange("#S"), QByteArray::fromHex("531760010102"));

    // Commands back to back in one write are all taken.
    EXPECT_EQ(Exchange(QByteArray("#C\x10#P\x6E#S", 8)), QByteArray::fromHex("53106e010102"));

    Modem.SetStatusOverride(QByteArray::fromHex("532060010102"));
    EXPECT_EQ(Exchange("#S"), QByteArray::fromHex("532060010102"));
    Modem.SetStatusOverride(QByteArray());
    EXPECT_EQ(Exchange("#S"), QByteArray());
    Modem.SetStatusOverride(std::nullopt);
    EXPECT_EQ(Exchange("#S").size(), 6);
}

TEST_F(SimModemTest, StatusReplyWaitsForTheTurnaround)
{
    Modem.Feed("#S", 5000);
    EXPECT_EQ(Modem.NextDueMs(), 5000 + SimModem::DefaultTurnaroundMs);
    EXPECT_TRUE(Modem.TakeDue(5000 + SimModem::DefaultTurnaroundMs - 1).isEmpty());
    EXPECT_EQ(Modem.TakeDue(5000 + SimModem::DefaultTurnaroundMs).size(), 1);
    EXPECT_FALSE(Modem.NextDueMs().has_value());
}

TEST_F(SimModemTest, BytesInPiecesJoinButAPauseDropsAPartialCommandOrFrame)
{
    Modem.AddDevice(1234, 1, 16);
    const QByteArray frame = Request(1234, Read(0x0000, 2));
    Modem.Feed(frame.left(3), 1000);
    Modem.Feed(frame.mid(3, 4), 1010);
    Modem.Feed(frame.mid(7), 1020);
    EXPECT_EQ(Modem.TakeDue(2000).size(), 1);

    // Half a frame, then silence: the next frame starts afresh and is answered.
    Modem.Feed(frame.left(6), 3000);
    Modem.Feed(frame, 3000 + SimModem::GapMs + 10);
    const auto outs = Modem.TakeDue(4000);
    ASSERT_EQ(outs.size(), 1);
    EXPECT_TRUE(Parse(outs[0].Bytes).Valid);

    // "#C" without its channel byte, then a pause: the lone byte is not a channel.
    Modem.Feed("#C", 5000);
    Modem.Feed("#S", 5100);
    const auto status = Modem.TakeDue(6000);
    ASSERT_EQ(status.size(), 1);
    EXPECT_EQ(status[0].Bytes, QByteArray::fromHex("5310c0010102"));
}

TEST_F(SimModemTest, RoutesByAddressAndByTheModemChannel)
{
    ASSERT_TRUE(Modem.AddDevice(1234, 1, 16));
    ASSERT_TRUE(Modem.AddDevice(1235, 2, 17));
    EXPECT_FALSE(Modem.AddDevice(1234, 2, 16));
    ASSERT_TRUE(Modem.AddDevice(1234, 2, 18)); // same number on another channel

    const QByteArray readType = Read(0x0000, 2);
    Reply r = Parse(Exchange(Request(1234, readType)));
    ASSERT_TRUE(r.Valid);
    EXPECT_EQ(r.Source, 1234);
    EXPECT_EQ(r.Dest, 0);
    EXPECT_EQ(r.Items, QByteArray::fromHex("010000020001"));
    EXPECT_EQ(Exchange(Request(1235, readType)), QByteArray());
    EXPECT_EQ(Exchange(Request(999, readType)), QByteArray());

    Exchange(QByteArray("#C\x11", 3));
    EXPECT_EQ(Exchange(Request(1234, readType)), QByteArray());
    r = Parse(Exchange(Request(1235, readType)));
    EXPECT_EQ(r.Items, QByteArray::fromHex("010000020002"));
    Exchange(QByteArray("#C\x12", 3));
    EXPECT_EQ(Parse(Exchange(Request(1234, readType))).Items, QByteArray::fromHex("010000020002"));
    EXPECT_EQ(Modem.FramesReceived(), 6);
}

TEST_F(SimModemTest, DropsFramesWithABadChecksumOrAnImpossibleLength)
{
    Modem.AddDevice(1234, 1, 16);
    QByteArray bad = Request(1234, Read(0x0000, 2));
    bad[bad.size() - 1] = char(bad[bad.size() - 1] ^ 1);
    EXPECT_EQ(Exchange(bad), QByteArray());
    EXPECT_EQ(Modem.FramesDropped(), 1);

    // L = 45 makes a 52-byte frame, more than the radio carries: everything up to
    // the next pause goes, even a good frame right behind it.
    QByteArray tooLong = QByteArray::fromHex("04d200002d");
    Now += 1000;
    Modem.Feed(tooLong + Request(1234, Read(0x0000, 2)), Now);
    EXPECT_TRUE(Modem.TakeDue(Now + 1000).isEmpty());
    EXPECT_EQ(Modem.FramesDropped(), 2);
    EXPECT_TRUE(Parse(Exchange(Request(1234, Read(0x0000, 2)))).Valid);
}

TEST_F(SimModemTest, ReplyToAKnownReadIsByteExact)
{
    Modem.AddDevice(1234, 1, 16);
    Modem.WithDevice(1234, [](SimDevice& d) { d.SetPcLevel(0x41); });
    // Device type and serial number: 01 00 00 04 | 00 01 04 D2.
    QByteArray frame =
        QByteArray::fromHex("000004d2") + QByteArray(1, char(8)) + QByteArray::fromHex("01000004000104d2");
    frame = WithCrc(frame);
    QByteArray expected(1, char(frame.size()));
    expected += frame;
    expected += QByteArray::fromHex("4100");
    EXPECT_EQ(Exchange(Request(1234, Read(0x0000, 4))), expected);
    EXPECT_EQ(expected.size(), 8 + 10);
}

TEST_F(SimModemTest, PollingReadGivesTheFourValuesOfTheRegisterMap)
{
    Modem.AddDevice(1234, 1, 16);
    Modem.WithDevice(1234, [](SimDevice& d) {
        d.SetFaultRegister(0x00000802);
        d.SetReportFaultChanges(false);
        d.SetDeviceLevel(0x7F);
        d.SetWaveform(1, SimWaveform::Constant(321.5f));
        d.SetWaveform(2, SimWaveform::Constant(-7.25f));
        d.SetColdJunctionTemp(19.0f);
    });
    const QByteArray raw =
        Exchange(Request(1234, Read(0x0200, 5) + Read(0x0205, 4) + Read(0x0209, 4) + Read(0x020D, 4)));
    ASSERT_EQ(raw.size(), 43);
    const Reply r = Parse(raw);
    ASSERT_TRUE(r.Valid);
    EXPECT_EQ(r.Length, 33);
    EXPECT_EQ(r.Items, QByteArray::fromHex("01020005000008027f") + QByteArray::fromHex("01020504") +
                           SimWire::FloatBE(321.5f) + QByteArray::fromHex("01020904") +
                           SimWire::FloatBE(-7.25f) + QByteArray::fromHex("01020d04") +
                           SimWire::FloatBE(19.0f));
}

TEST_F(SimModemTest, ValuesFollowTheirWaveform)
{
    Modem.AddDevice(7, 2, 16);
    Modem.WithDevice(7, [](SimDevice& d) { d.SetWaveform(1, SimWaveform::Ramp(0, 100, 10000)); });
    QList<float> seen;
    for (int i = 0; i < 3; ++i) {
        const Reply r = Parse(Exchange(Request(7, Read(0x0205, 4))));
        ASSERT_TRUE(r.Valid);
        seen.append(SimWire::FloatFromBE(reinterpret_cast<const quint8*>(r.Items.constData()) + 4));
    }
    // One second apart on a ten-second ramp: ten units each.
    EXPECT_FLOAT_EQ(seen[1] - seen[0], 10.0f);
    EXPECT_FLOAT_EQ(seen[2] - seen[1], 10.0f);
}

TEST_F(SimModemTest, SerialNumberWithACommandHighByteIsTakenAsACommand)
{
    // 0x2353 is '#','S' and 0x2341 is '#','A'.
    Modem.AddDevice(0x2353, 1, 16);
    Modem.AddDevice(0x2341, 1, 16);
    EXPECT_EQ(Parse(Exchange(Request(0x2341, Read(0x0000, 2)))).Source, 0x2341);
    const QByteArray out = Exchange(Request(0x2353, Read(0x0000, 2)));
    EXPECT_EQ(out.left(6), QByteArray::fromHex("5310c0010102"));
}

TEST_F(SimModemTest, RadioChannelWrittenToADeviceTakesEffectAfterItsReply)
{
    Modem.AddDevice(1234, 1, 16);
    Now += 1000;
    Modem.Feed(Request(1234, Write(0x0301, QByteArray(1, char(17)))), Now);
    int channel = 0;
    Modem.WithDevice(1234, [&](SimDevice& d) { channel = d.Channel(); });
    EXPECT_EQ(channel, 16);
    const auto outs = Modem.TakeDue(Now + 1000);
    ASSERT_EQ(outs.size(), 1);
    EXPECT_EQ(Parse(outs[0].Bytes).Items, QByteArray::fromHex("02030101"));
    Modem.WithDevice(1234, [&](SimDevice& d) { channel = d.Channel(); });
    EXPECT_EQ(channel, 17);
    EXPECT_EQ(Exchange(Request(1234, Read(0x0000, 2))), QByteArray());
    Exchange(QByteArray("#C\x11", 3));
    EXPECT_TRUE(Parse(Exchange(Request(1234, Read(0x0000, 2)))).Valid);
}

TEST_F(SimModemTest, SerialNumberWrittenToADeviceTakesEffectAfterItsReply)
{
    Modem.AddDevice(1234, 1, 16);
    Now += 1000;
    Modem.Feed(Request(1234, Write(0x0002, QByteArray::fromHex("10e1"))), Now);
    // Before the reply is out the device still answers to its old number only.
    Modem.Feed(Request(4321, Read(0x0002, 2)), Now + 1);
    const auto outs = Modem.TakeDue(Now + 1000);
    ASSERT_EQ(outs.size(), 1);
    const Reply r = Parse(outs[0].Bytes);
    EXPECT_EQ(r.Source, 1234);
    EXPECT_EQ(r.Items, QByteArray::fromHex("02000202"));

    EXPECT_EQ(Exchange(Request(1234, Read(0x0002, 2))), QByteArray());
    const Reply after = Parse(Exchange(Request(4321, Read(0x0002, 2))));
    EXPECT_EQ(after.Source, 4321);
    EXPECT_EQ(after.Items, QByteArray::fromHex("0100020210e1"));
    EXPECT_EQ(Modem.Serials(), QList<quint16>{4321});
}

TEST_F(SimModemTest, FaultSilenceAndReplyOnAttempt)
{
    Modem.AddDevice(1234, 1, 16);
    const QByteArray frame = Request(1234, Read(0x0000, 2));
    ASSERT_TRUE(Modem.SetFault(1234, SimFault::Silence()));
    EXPECT_FALSE(Modem.SetFault(999, SimFault::Silence()));
    EXPECT_EQ(Exchange(frame), QByteArray());
    EXPECT_EQ(Exchange(frame), QByteArray());
    Modem.SetFault(1234, SimFault::None());
    EXPECT_TRUE(Parse(Exchange(frame)).Valid);

    Modem.SetFault(1234, SimFault::ReplyOnAttempt(3));
    QList<bool> answered;
    for (int i = 0; i < 4; ++i)
        answered.append(!Exchange(frame).isEmpty());
    EXPECT_EQ(answered, (QList<bool>{false, false, true, true}));

    Modem.SetFault(1234, SimFault::ReplyOnAttempt(2, true));
    answered.clear();
    for (int i = 0; i < 4; ++i)
        answered.append(!Exchange(frame).isEmpty());
    EXPECT_EQ(answered, (QList<bool>{false, true, false, true}));
}

TEST_F(SimModemTest, FaultLateReplyComesPastTheReadTimeOut)
{
    Modem.AddDevice(1234, 1, 16);
    Modem.SetFault(1234, SimFault::Late(150));
    Modem.Feed(Request(1234, Read(0x0000, 2)), 1000);
    EXPECT_TRUE(Modem.TakeDue(1100).isEmpty());
    const auto outs = Modem.TakeDue(1000 + SimModem::DefaultTurnaroundMs + 150);
    ASSERT_EQ(outs.size(), 1);
    EXPECT_TRUE(Parse(outs[0].Bytes).Valid);
}

TEST_F(SimModemTest, FaultsThatDamageTheReply)
{
    Modem.AddDevice(1234, 1, 16);
    const QByteArray frame = Request(1234, Read(0x0000, 2));
    const QByteArray good = Exchange(frame);
    ASSERT_TRUE(Parse(good).Valid);

    Modem.SetFault(1234, SimFault::Truncated(5));
    EXPECT_EQ(Exchange(frame), good.left(5));

    Modem.SetFault(1234, SimFault::BadCrc());
    QByteArray out = Exchange(frame);
    EXPECT_EQ(out.size(), good.size());
    EXPECT_EQ(out.left(good.size() - 4), good.left(good.size() - 4));
    EXPECT_NE(out.mid(good.size() - 4, 2), good.mid(good.size() - 4, 2));
    EXPECT_FALSE(Parse(out).Valid);

    // The length byte is one too large; everything else, checksum included, agrees with it.
    Modem.SetFault(1234, SimFault::WrongLength());
    out = Exchange(frame);
    EXPECT_EQ(out.size(), good.size());
    EXPECT_EQ(quint8(out[5]), quint8(good[5]) + 1);
    EXPECT_EQ(out.mid(1, out.size() - 5), good.mid(1, 4) + char(good[5] + 1) + good.mid(6, good.size() - 10));
    EXPECT_EQ(WithCrc(out.mid(1, out.size() - 5)), out.mid(1, out.size() - 3));

    Modem.SetFault(1234, SimFault::OtherSource(1235));
    const Reply other = Parse(Exchange(frame));
    EXPECT_TRUE(other.Valid);
    EXPECT_EQ(other.Source, 1235);

    Modem.SetFault(1234, SimFault::PortGone());
    Modem.Feed(frame, 100000);
    const auto outs = Modem.TakeDue(101000);
    ASSERT_EQ(outs.size(), 1);
    EXPECT_TRUE(outs[0].ClosePort);
}

TEST_F(SimModemTest, FaultErrorItemAndExtraRecords)
{
    Modem.AddDevice(1234, 1, 16);
    Modem.SetFault(1234, SimFault::ErrorItem(1, 0));
    Reply r = Parse(Exchange(Request(1234, Write(0x0004, QByteArray(1, char(9))) + Read(0x0004, 1))));
    ASSERT_TRUE(r.Valid);
    // The refused write was not applied.
    EXPECT_EQ(r.Items, QByteArray::fromHex("8201") + QByteArray::fromHex("0100040101"));

    Modem.SetFault(1234, SimFault::ErrorItem(6, -1));
    r = Parse(Exchange(Request(1234, Read(0x0000, 2) + Read(0x0004, 1))));
    EXPECT_EQ(r.Items, QByteArray::fromHex("81068106"));

    Modem.SetFault(1234, SimFault::ExtraRecords(2));
    r = Parse(Exchange(Request(1234, Read(0x0000, 2) + Read(0x0004, 1))));
    const QByteArray record = QByteArray::fromHex("0302000400000000");
    EXPECT_EQ(r.Items,
              QByteArray::fromHex("010000020001") + record + record + QByteArray::fromHex("0100040101"));

    // Injected records are not held to the payload limit: twelve of them go out.
    Modem.SetFault(1234, SimFault::ExtraRecords(12));
    r = Parse(Exchange(Request(1234, Read(0x0000, 2))));
    EXPECT_EQ(r.Length, 6 + 12 * 8);
}
