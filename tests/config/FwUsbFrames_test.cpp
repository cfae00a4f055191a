#include "config/FwUsbFrames.h"
#include "core/RegisterMap.h"
#include "tools/mkvfw/VfwWriter.h"

#include <gtest/gtest.h>

namespace {

QByteArray Hex(const char* Text)
{
    return QByteArray::fromHex(Text);
}

QByteArray withCrc(QByteArray Frame)
{
    const quint16 crc = VfwWriter::Crc16(Frame);
    Frame.append(char(crc >> 8));
    Frame.append(char(crc));
    return Frame;
}

} // namespace

TEST(FwUsbFrames, ParameterFrameLayout)
{
    const auto info = EncodeFwInfo(3, 2, 0xBEEF, 500);
    const QByteArray f = FwUsbFrames::ParamFrame(123, info);
    ASSERT_EQ(f.size(), 21);
    EXPECT_EQ(f.left(10), Hex("007b00000e02fff50a00"));
    EXPECT_EQ(f.mid(10, 9), Hex("030002beef000001f4"));
    EXPECT_EQ(f, withCrc(f.left(19)));
}

TEST(FwUsbFrames, BlockFramesOfAFiveHundredByteImage)
{
    const QByteArray image = VfwWriter::Pattern(500);
    const int offsets[] = {0, 236, 472};
    const int sizes[] = {253, 253, 45};
    for (int i = 0; i < 3; ++i) {
        const int n = std::min(236, 500 - offsets[i]);
        const QByteArray f = FwUsbFrames::BlockFrame(1234, quint32(offsets[i]), image.mid(offsets[i], n));
        ASSERT_EQ(f.size(), sizes[i]);
        EXPECT_EQ(quint8(f[4]), n + 10);
        EXPECT_EQ(f.mid(5, 3), Hex("02ffff"));
        EXPECT_EQ(quint8(f[8]), n + 6);
        EXPECT_EQ(quint32(quint8(f[11]) << 8 | quint8(f[12])), quint32(offsets[i]));
        EXPECT_EQ(quint8(f[13]) << 8 | quint8(f[14]), n);
        EXPECT_EQ(f.mid(15, n), image.mid(offsets[i], n));
        EXPECT_EQ(f, withCrc(f.left(f.size() - 2)));
    }
}

TEST(FwUsbFrames, ReplyChecks)
{
    using FwUsbFrames::TReplyCheck;
    const QByteArray echo = withCrc(Hex("000004d20402ffff26"));
    EXPECT_EQ(FwUsbFrames::CheckReply(echo), TReplyCheck::Ok);
    EXPECT_TRUE(FwUsbFrames::IsWriteEcho(echo, 0xFFFF, 38));
    EXPECT_FALSE(FwUsbFrames::IsWriteEcho(echo, 0xFFFF, 37));
    EXPECT_FALSE(FwUsbFrames::IsWriteEcho(echo, 0xFFF5, 38));
    quint8 code = 0;
    EXPECT_FALSE(FwUsbFrames::IsErrorReply(echo, code));

    QByteArray bad = echo;
    bad[10] = char(bad[10] ^ 1);
    EXPECT_EQ(FwUsbFrames::CheckReply(bad), TReplyCheck::WrongCrc);
    EXPECT_EQ(FwUsbFrames::CheckReply(echo.left(10)), TReplyCheck::WrongLength);
    EXPECT_EQ(FwUsbFrames::CheckReply(echo + Hex("00")), TReplyCheck::WrongLength);
    EXPECT_EQ(FwUsbFrames::CheckReply(QByteArray()), TReplyCheck::WrongLength);

    const QByteArray error = withCrc(Hex("000004d2028205"));
    EXPECT_EQ(FwUsbFrames::CheckReply(error), TReplyCheck::Ok);
    EXPECT_TRUE(FwUsbFrames::IsErrorReply(error, code));
    EXPECT_EQ(code, 5);
}
