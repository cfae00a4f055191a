#include "tests/netsim/SimFrames.h"
#include "tools/netsim/SimDevice.h"
#include "tools/netsim/SimWire.h"

#include <QStringDecoder>
#include <gtest/gtest.h>

using namespace SimFrames;

namespace {

QByteArray Hex(const char* Text)
{
    return QByteArray::fromHex(Text);
}

} // namespace

TEST(SimDevice, AnswersItemsInRequestOrderWithErrorCodes)
{
    SimDevice d(1234, 1, 16);
    const QByteArray items = Read(0x0004, 1)              // hardware version
                             + Write(0x0004, Hex("07"))   // accepted
                             + Read(0x0040, 2)            // hole: no register
                             + Write(0x0007, Hex("c000")) // wrong length
                             + Write(0x0007, Hex("55"))   // not a power code
                             + Write(0x0000, Hex("0002")) // read-only
                             + Read(0x0004, 1);           // sees the write
    EXPECT_EQ(d.Answer(items, 0), Hex("0100040101") + Hex("02000401") + Hex("8102") + Hex("8203") +
                                      Hex("8205") + Hex("8204") + Hex("0100040107"));
    EXPECT_EQ(d.Register8(SimDevice::RegTxPower), 0xC0);
}

TEST(SimDevice, RegisterSetFollowsTheDeviceType)
{
    SimDevice t1(1, 1, 16);
    SimDevice t2(2, 2, 16);
    // Identification: 40 bytes on both, type code first.
    const QByteArray id1 = t1.Answer(Read(0x0000, 40), 0);
    ASSERT_EQ(id1.size(), 44);
    EXPECT_EQ(id1.mid(4, 4), Hex("00010001"));
    EXPECT_EQ(t2.Answer(Read(0x0000, 40), 0).mid(4, 2), Hex("0002"));
    // Configuration: 25 bytes on type 1 (one more is a hole), 40 on type 2.
    EXPECT_EQ(t1.Answer(Read(0x0100, 25), 0).size(), 29);
    EXPECT_EQ(t1.Answer(Read(0x0100, 26), 0), Hex("8102"));
    EXPECT_EQ(t2.Answer(Read(0x0100, 40), 0).size(), 44);
    // Names exist on type 2 only.
    EXPECT_EQ(t1.Answer(Read(0x0128, 40), 0), Hex("8102"));
    const QByteArray names = t2.Answer(Read(0x0128, 40), 0).mid(4);
    QStringDecoder decode("windows-1251");
    EXPECT_EQ(QString(decode(names.left(24))).trimmed(), QStringLiteral("Давление"));
    EXPECT_EQ(QString(decode(names.mid(24))).trimmed(), QStringLiteral("кПа"));
    // The range holds the high bound first.
    EXPECT_EQ(t2.Answer(Read(0x0118, 8), 0).mid(4), SimWire::FloatBE(100) + SimWire::FloatBE(0));
    // Zero length, the firmware data block (write-only) and the end of the address space.
    EXPECT_EQ(t1.Answer(Read(0x0004, 0), 0), Hex("8103"));
    EXPECT_EQ(t1.Answer(Read(0xFFFF, 1), 0), Hex("8104"));
    EXPECT_EQ(t1.Answer(Read(0xFFF5, 11), 0), Hex("8104"));
    EXPECT_EQ(t1.Answer(Read(0xFFF5, 12), 0), Hex("8102"));
    EXPECT_EQ(t1.Answer(Read(0xFFF5, 10), 0).size(), 14);
}

TEST(SimDevice, WritesAreValidatedAgainstTheDeviceType)
{
    SimDevice t1(1, 1, 16);
    SimDevice t2(2, 2, 16);
    EXPECT_EQ(t1.Answer(Write(0x0112, Hex("0102")), 0), Hex("02011202")); // thermocouple S
    EXPECT_EQ(t1.Answer(Write(0x0112, Hex("0401")), 0), Hex("8205"));     // current on type 1
    EXPECT_EQ(t2.Answer(Write(0x0114, Hex("0401")), 0), Hex("02011402"));
    EXPECT_EQ(t2.Answer(Write(0x0114, Hex("0303")), 0), Hex("8205"));
    EXPECT_EQ(t1.Answer(Write(0x0118, Hex("03")), 0), Hex("02011801"));
    EXPECT_EQ(t1.Answer(Write(0x0118, Hex("04")), 0), Hex("8205"));
    EXPECT_EQ(t2.Answer(Write(0x0118, Hex("00")), 0), Hex("8203")); // type 2: an 8-byte range
    EXPECT_EQ(t1.Answer(Write(0x0110, Hex("02")), 0), Hex("8205"));
    EXPECT_EQ(t1.Answer(Write(0x0100, SimWire::FloatBE(1) + Hex("7fc00000")), 0), Hex("8205")); // NaN
    EXPECT_EQ(t1.Answer(Write(0x0301, Hex("18")), 0), Hex("8205"));
    EXPECT_EQ(t1.Answer(Write(0x0002, Hex("0000")), 0), Hex("8205"));
    EXPECT_EQ(t1.Answer(Write(0x0005, Hex("0000")), 0), Hex("8204")); // inside nothing writable
    EXPECT_EQ(t1.Answer(Write(0x0009, Hex("20")), 0), Hex("8202"));   // inside the comment
    // A comment is written whole and read back byte for byte.
    const QByteArray comment = QByteArray("Boiler room 3").leftJustified(32, ' ');
    EXPECT_EQ(t1.Answer(Write(0x0008, comment) + Read(0x0008, 32), 0),
              Hex("02000820") + Hex("01000820") + comment);
}

TEST(SimDevice, ReplyLongerThanAFrameGetsErrorSeven)
{
    SimDevice d(1, 2, 16);
    // 44 bytes of reply fit; after them not even an error item does, so the second
    // read goes unanswered.
    EXPECT_EQ(d.Answer(Read(0x0128, 40) + Read(0x0004, 1), 0).size(), 44);
    EXPECT_EQ(d.Answer(Read(0x0004, 1) + Read(0x0128, 40), 0), Hex("0100040101") + Hex("8107"));
}

TEST(SimDevice, UnknownFunctionEndsTheItems)
{
    SimDevice d(1, 1, 16);
    EXPECT_EQ(d.Answer(Read(0x0004, 1) + Hex("05000401") + Read(0x0004, 1), 0),
              Hex("0100040101") + Hex("8504"));
    // An item that runs past the payload is not answered.
    EXPECT_EQ(d.Answer(Read(0x0004, 1) + Hex("020008"), 0), Hex("0100040101"));
}

TEST(SimDevice, FaultRegisterChangeIsReportedOnceAsAnExtraRecord)
{
    SimDevice d(1, 2, 16);
    EXPECT_EQ(d.Answer(Read(0x0004, 1), 0), Hex("0100040101"));
    d.SetFaultRegister(0x00000009);
    const QByteArray record = Hex("0302000400000009");
    EXPECT_EQ(d.Answer(Read(0x0004, 1), 0), Hex("0100040101") + record);
    EXPECT_EQ(d.Answer(Read(0x0004, 1), 0), Hex("0100040101"));

    // No room next to a 40-byte read: the record waits for the next reply.
    d.SetFaultRegister(0);
    EXPECT_EQ(d.Answer(Read(0x0128, 40), 0).size(), 44);
    EXPECT_EQ(d.Answer(Read(0x0004, 1), 0), Hex("0100040101") + Hex("0302000400000000"));

    d.SetReportFaultChanges(false);
    d.SetFaultRegister(1);
    EXPECT_EQ(d.Answer(Read(0x0004, 1), 0), Hex("0100040101"));
}

TEST(SimDevice, CalibrationCommandRunsThenSetsItsStatusBit)
{
    SimDevice d(1, 2, 16);
    d.SetCommandBusyMs(1000);
    EXPECT_EQ(d.Answer(Write(0x0302, Hex("01")), 0), Hex("8205"));
    EXPECT_EQ(d.Answer(Write(0x0302, Hex("00")) + Write(0x0300, Hex("69")) + Read(0x0300, 1), 0),
              Hex("02030201") + Hex("02030001") + Hex("0103000169"));
    // Busy: another command is refused with "device busy".
    EXPECT_EQ(d.Answer(Write(0x0300, Hex("6a")), 500), Hex("8201"));
    EXPECT_EQ(d.Answer(Read(0x0300, 1) + Read(0x0302, 1), 999), Hex("0103000169") + Hex("0103020100"));
    // Voltage input of channel 1 at 10 V is bit 4 on type 2.
    EXPECT_EQ(d.Answer(Read(0x0300, 1) + Read(0x0302, 1), 1000), Hex("0103000100") + Hex("0103020110"));
    // Codes of the other type, and unknown codes, are refused.
    SimDevice t1(2, 1, 16);
    EXPECT_EQ(t1.Answer(Write(0x0300, Hex("69")), 0), Hex("8205"));
    EXPECT_EQ(t1.Answer(Write(0x0300, Hex("67")), 0), Hex("02030001"));
    EXPECT_EQ(t1.Answer(Read(0x0302, 1), 5000), Hex("0103020104"));
    EXPECT_EQ(t1.Answer(Write(0x0300, Hex("02")), 5000), Hex("02030001"));
    EXPECT_EQ(t1.Restarts(), 1);
}

TEST(SimDevice, FirmwareUpdateTakesTheImageWhenItsChecksumMatches)
{
    SimDevice d(1, 1, 16);
    QByteArray image;
    for (int i = 0; i < 45; ++i)
        image.append(char(i * 7 + 3));
    const quint16 crc = ModbusCrc(image);
    QByteArray info = Hex("0003") + Hex("0002");
    info.append(char(crc >> 8)).append(char(crc & 0xFF));
    info += Hex("0000002d");
    const auto block = [&](int Offset, int N) {
        QByteArray b;
        SimWire::AppendBE32(b, quint32(Offset));
        SimWire::AppendBE16(b, quint16(N));
        return b + image.mid(Offset, N);
    };
    EXPECT_EQ(d.Answer(Write(0xFFFF, block(0, 32)), 0), Hex("8204")); // no update started
    EXPECT_EQ(d.Answer(Write(0xFFF5, info), 0), Hex("02fff50a"));
    EXPECT_EQ(d.Answer(Write(0xFFFF, block(0, 32)), 0), Hex("02ffff26"));
    EXPECT_EQ(d.Answer(Write(0xFFFF, block(0, 32)), 0), Hex("02ffff26")); // repeated block
    EXPECT_EQ(d.Answer(Write(0xFFFF, block(40, 5)), 0), Hex("8205"));     // gap
    EXPECT_EQ(d.Answer(Write(0xFFFF, block(32, 13)), 0), Hex("02ffff13"));
    EXPECT_EQ(d.FirmwareImage(), image);
    EXPECT_EQ(d.FirmwareCrc(), crc);
    EXPECT_EQ(d.Answer(Read(0xFFF5, 10), 0).mid(8, 2), info.mid(4, 2));
    // The new image was made for a type 2 device, hardware version 3.
    EXPECT_EQ(d.Answer(Read(0x0000, 2) + Read(0x0004, 1), 0), Hex("0100000200020100040103"));

    // A bad zero byte or an empty image is refused.
    EXPECT_EQ(d.Answer(Write(0xFFF5, Hex("01") + info.mid(1)), 0), Hex("8205"));
    EXPECT_EQ(d.Answer(Write(0xFFF5, info.left(6) + Hex("00000000")), 0), Hex("8205"));
}

TEST(SimFault, ParsesTheControlChannelForms)
{
    QString err;
    SimFault f;
    ASSERT_TRUE(SimFault::Parse(QStringLiteral("attempt 2 repeat"), f, err));
    EXPECT_EQ(f, SimFault::ReplyOnAttempt(2, true));
    ASSERT_TRUE(SimFault::Parse(QStringLiteral("late"), f, err));
    EXPECT_EQ(f, SimFault::Late(150));
    ASSERT_TRUE(SimFault::Parse(QStringLiteral("  error 1 all "), f, err));
    EXPECT_EQ(f, SimFault::ErrorItem(1, -1));
    ASSERT_TRUE(SimFault::Parse(QStringLiteral("source 0x4d3"), f, err));
    EXPECT_EQ(f, SimFault::OtherSource(1235));
    for (const SimFault& each :
         {SimFault::None(), SimFault::Silence(), SimFault::ReplyOnAttempt(3), SimFault::Late(200),
          SimFault::Truncated(7), SimFault::WrongLength(), SimFault::BadCrc(), SimFault::OtherSource(9),
          SimFault::ErrorItem(5, 1), SimFault::ShortItem(2), SimFault::ShortItem(-1),
          SimFault::ExtraRecords(3), SimFault::PortGone()}) {
        SimFault back;
        ASSERT_TRUE(SimFault::Parse(each.ToText(), back, err)) << each.ToText().toStdString();
        EXPECT_EQ(back, each) << each.ToText().toStdString();
    }
    EXPECT_FALSE(SimFault::Parse(QStringLiteral("truncated"), f, err));
    EXPECT_FALSE(SimFault::Parse(QStringLiteral("sometimes"), f, err));
    EXPECT_FALSE(SimFault::Parse(QStringLiteral("attempt 0"), f, err));
    EXPECT_FALSE(err.isEmpty());
}

TEST(SimWaveform, ParsesAndEvaluates)
{
    QString err;
    SimWaveform w;
    ASSERT_TRUE(SimWaveform::Parse(QStringLiteral("12.5"), w, err));
    EXPECT_FLOAT_EQ(w.ValueAt(123456), 12.5f);
    ASSERT_TRUE(SimWaveform::Parse(QStringLiteral("sine:20:5:4000"), w, err));
    EXPECT_NEAR(w.ValueAt(1000), 25.0f, 1e-4);
    EXPECT_NEAR(w.ValueAt(3000), 15.0f, 1e-4);
    ASSERT_TRUE(SimWaveform::Parse(QStringLiteral("square:0:1:1000"), w, err));
    EXPECT_FLOAT_EQ(w.ValueAt(1250), 0.0f);
    EXPECT_FLOAT_EQ(w.ValueAt(1750), 1.0f);
    EXPECT_FALSE(SimWaveform::Parse(QStringLiteral("sine:1:2"), w, err));
    EXPECT_FALSE(SimWaveform::Parse(QStringLiteral("saw:1:2:3"), w, err));
    EXPECT_FALSE(SimWaveform::Parse(QStringLiteral("ramp:a:2:3"), w, err));
}

TEST(SimDevice, ARestartIsAcknowledgedThenTheDeviceIsSilentForAMoment)
{
    SimDevice d(1234, 2, 16);
    d.SetRestartSilenceMs(1000);
    ASSERT_TRUE(d.AdmitFrame(0));
    EXPECT_EQ(d.Answer(Write(0x0300, Hex("02")), 100), Hex("02030001"));
    EXPECT_EQ(d.Restarts(), 1);
    EXPECT_FALSE(d.AdmitFrame(200));
    EXPECT_FALSE(d.AdmitFrame(1099));
    EXPECT_TRUE(d.AdmitFrame(1100));
    // Settings written before the restart are still there.
    EXPECT_EQ(d.Answer(Write(0x0004, Hex("09")), 1100), Hex("02000401"));
    EXPECT_EQ(d.Answer(Read(0x0004, 1), 1100), Hex("0100040109"));
}

TEST(SimDevice, AShortItemFaultAnswersOneByteLess)
{
    SimDevice d(1234, 1, 16);
    d.SetFault(SimFault::ShortItem(1));
    // The second item's answer is one byte short, the others are whole.
    EXPECT_EQ(d.Answer(Write(0x0004, Hex("07")) + Write(0x0008, QByteArray(32, 'x')) + Read(0x0004, 1), 0),
              Hex("02000401") + Hex("0200081f") + Hex("0100040107"));
    d.SetFault(SimFault::ShortItem(-1));
    EXPECT_EQ(d.Answer(Read(0x0005, 2) + Write(0x0004, Hex("09")), 0),
              Hex("01000501") + Hex("01") + Hex("02000400"));
}
