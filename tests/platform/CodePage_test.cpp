#include "platform/CodePage.h"

#include <gtest/gtest.h>

namespace {

QByteArray bytes(std::initializer_list<int> List)
{
    QByteArray b;
    for (const int v : List)
        b.append(char(v));
    return b;
}

} // namespace

TEST(CodePage, EncodesCyrillicAndSymbolsByteForByte)
{
    EXPECT_EQ(CodePage::ToWindows1251(u"Кловарис"), bytes({0xCA, 0xEB, 0xEE, 0xE2, 0xE0, 0xF0, 0xE8, 0xF1}));
    EXPECT_EQ(CodePage::ToWindows1251(u"ЁёЯя№"), bytes({0xA8, 0xB8, 0xDF, 0xFF, 0xB9}));
    // Latin C after the degree sign, Cyrillic С in the configuration window's suffix.
    EXPECT_EQ(CodePage::ToWindows1251(u"°C"), bytes({0xB0, 0x43}));
    EXPECT_EQ(CodePage::ToWindows1251(u" °С"), bytes({0x20, 0xB0, 0xD1}));
    EXPECT_EQ(CodePage::ToWindows1251(u"4-20 мА"), bytes({0x34, 0x2D, 0x32, 0x30, 0x20, 0xEC, 0xC0}));
    EXPECT_EQ(CodePage::ToWindows1251(u""), QByteArray());
}

TEST(CodePage, DecodesEveryByteAndEncodesItBack)
{
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    const QString text = CodePage::FromWindows1251(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(text.at(0), QChar(0));
    EXPECT_EQ(text.at(0xC0), QChar(0x0410)); // А
    EXPECT_EQ(text.at(0xFF), QChar(0x044F)); // я
    EXPECT_EQ(text.at(0xB9), QChar(0x2116)); // №
    EXPECT_EQ(text.at(0x88), QChar(0x20AC)); // €
    EXPECT_EQ(CodePage::ToWindows1251(text), all);
    EXPECT_TRUE(CodePage::IsWindows1251(text));
}

TEST(CodePage, CharactersOutsideTheCodePageBecomeQuestionMarks)
{
    EXPECT_EQ(CodePage::ToWindows1251(u"a中b"), QByteArray("a?b"));
    // A character outside the BMP is one character, so one byte.
    EXPECT_EQ(CodePage::ToWindows1251(QString::fromUtf8("x\xF0\x9F\x98\x80y")), QByteArray("x?y"));
    // A lone surrogate cannot be encoded either.
    const QChar lone[] = {QChar(0xD800), QLatin1Char('z')};
    EXPECT_EQ(CodePage::ToWindows1251(QStringView(lone, 2)), QByteArray("?z"));
    // A real U+001A in the same text keeps its byte; only the foreign one changes.
    const QString mixed = QString(QChar(0x1A)) + QChar(0x4E2D) + QStringLiteral("Ж");
    EXPECT_EQ(CodePage::ToWindows1251(mixed), bytes({0x1A, '?', 0xC6}));
    EXPECT_FALSE(CodePage::IsWindows1251(mixed));
    EXPECT_TRUE(CodePage::IsWindows1251(u"Температура, °C"));
}

TEST(CodePage, DecodingStopsAtNothing)
{
    // Zero bytes are characters here; cutting text fields is the register map's job.
    EXPECT_EQ(CodePage::FromWindows1251(bytes({0xCA, 0x00, 0x41})),
              QStringLiteral("К") + QChar(0) + QLatin1Char('A'));
}
