#include "core/StringFunc.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

TEST(StringFunc, DeleteSpacesRemovesOnlyBlanks)
{
    EXPECT_EQ(DeleteSpaces(QStringLiteral(" 1 2\t3 ")), QStringLiteral("12\t3"));
    EXPECT_EQ(DeleteSpaces(QStringLiteral("   ")), QString());
    EXPECT_EQ(DeleteSpaces(QString(QChar(0xA0)) + QLatin1Char('1')), QString(QChar(0xA0)) + QLatin1Char('1'));
}

TEST(StringFunc, IsIntStrAcceptsOptionalMinusAndDigitsWithin64Bits)
{
    struct Case
    {
        const char* text;
        bool ok;
    };
    const Case cases[] = {
        {" 12 3 ", true},
        {"0", true},
        {"-0", true},
        {"007", true},
        {"65535", true},
        {"- 5", true}, // blanks go first
        {"-", false},
        {"", false},
        {"   ", false},
        {"1,5", false},
        {",", false},
        {"+5", false},
        {"--1", false},
        {"1-", false},
        {"0x10", false},
        {"1e3", false},
        {"1.0", false},
        {"1\t2", false},
        {"12345678901234567890", false},
        {"9223372036854775807", true},
        {"9223372036854775808", false},
        {"-9223372036854775808", true},
        {"-9223372036854775809", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsIntStr(QString::fromLatin1(c.text)), c.ok) << '"' << c.text << '"';
    // Digits of other scripts are not digits here.
    EXPECT_FALSE(IsIntStr(QString(QChar(0x0661))));
}

TEST(StringFunc, IntegerConversionGivesTheValueOrNothing)
{
    EXPECT_EQ(StrToInt64Fixed(QStringLiteral(" 12 3 ")), 123);
    EXPECT_EQ(StrToInt64Fixed(QStringLiteral("-042")), -42);
    EXPECT_EQ(StrToInt64Fixed(QStringLiteral("-9223372036854775808")), std::numeric_limits<qint64>::min());
    EXPECT_EQ(StrToInt64Fixed(QStringLiteral("9223372036854775807")), std::numeric_limits<qint64>::max());
    EXPECT_FALSE(StrToInt64Fixed(QStringLiteral("99999999999999999999")).has_value());
    EXPECT_FALSE(StrToInt64Fixed(QStringLiteral("abc")).has_value());
}

TEST(StringFunc, IsFloatStrTakesTheCommaAndRefusesThePoint)
{
    struct Case
    {
        const char* text;
        bool ok;
    };
    const Case cases[] = {
        {"1,5", true},       {"1.5", false},     {"-0,25e-3", true}, {"1e", false},    {"e5", false},
        {"1E+5", true},      {"1,5E2,0", false}, {"1,", true},       {",5", true},     {",", false},
        {"-", false},        {"-e5", false},     {"-,e5", false},    {"", false},      {"  ", false},
        {" - 1 , 5 ", true}, {"+1", false},      {"1e+", false},     {"1e-", false},   {"1,5,2", false},
        {"1e2e3", false},    {"1E5,0", false},   {"1e5.0", false},   {"1e400", false}, {"-1e400", false},
        {"1e-400", true},    {"0e99999", true},  {"NaN", false},     {"inf", false},   {"\t1", false},
        {"1 000", true},     {"00,5", true},     {"-0", true},       {"1e0010", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsFloatStr(QString::fromLatin1(c.text)), c.ok) << '"' << c.text << '"';
}

TEST(StringFunc, FloatConversionUsesTheCommaWhateverTheLocale)
{
    EXPECT_DOUBLE_EQ(*StrToFloatFixed(QStringLiteral("-0,25e-3")), -0.00025);
    EXPECT_DOUBLE_EQ(*StrToFloatFixed(QStringLiteral("1E+5")), 100000.0);
    EXPECT_DOUBLE_EQ(*StrToFloatFixed(QStringLiteral(" - 1 , 5 ")), -1.5);
    EXPECT_DOUBLE_EQ(*StrToFloatFixed(QStringLiteral(",5")), 0.5);
    EXPECT_DOUBLE_EQ(*StrToFloatFixed(QStringLiteral("1 000")), 1000.0);
    EXPECT_EQ(*StrToFloatFixed(QStringLiteral("1e-400")), 0.0);
    EXPECT_FALSE(StrToFloatFixed(QStringLiteral("1.5")).has_value());
}

TEST(StringFunc, RoundToSignificantKeepsDigitsAndRoundsHalvesToEven)
{
    struct Case
    {
        int digits;
        double value;
        double expected;
    };
    const Case cases[] = {
        {4, 123.456, 123.5},
        {4, 12345.6, 12350},
        {4, 0.0123456, 0.01235},
        {4, 1000, 1000},
        {4, 1234.56, 1234.56},
        {4, -0.000123456, -0.0001235},
        {4, 9999.7, 9999.7},
        {5, 3.14159265, 3.1416},
        {4, -123.456, -123.5},
        // Exact binary halves: to the even neighbour, not away from zero.
        {2, 125, 120},
        {2, 175, 180},
        {2, -125, -120},
        {1, 25, 20},
        {1, 35, 40},
    };
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(float(RoundToSignificant(c.digits, c.value)), float(c.expected))
            << c.digits << " digits of " << c.value;
    EXPECT_EQ(RoundToSignificant(4, 0), 0);
    EXPECT_TRUE(std::isnan(RoundToSignificant(4, std::nan(""))));
    EXPECT_EQ(RoundToSignificant(4, std::numeric_limits<double>::infinity()),
              std::numeric_limits<double>::infinity());
    // A device reporting 0 digits must not wipe its values out.
    EXPECT_FLOAT_EQ(float(RoundToSignificant(0, 123.456)), 100.0f);
    // The smallest single still rounds without overflowing the scale.
    const double tiny = std::numeric_limits<float>::denorm_min();
    EXPECT_NEAR(RoundToSignificant(4, tiny) / tiny, 1.0, 1e-3);
}

TEST(StringFunc, FormatSignificantTruncatesToTheDigitsShown)
{
    struct Case
    {
        const char* text;
        int digits;
        const char* expected;
    };
    const Case cases[] = {
        {"12,3456", 4, "12,34"},   {"1,23456", 4, "1,234"},
        {"0,056789", 4, "0,057"},  {"12345,6", 4, "12346"},
        {"-12,3456", 4, "-12,34"}, {"0", 5, "0,0000"},
        {"0", 4, "0,000"},         {"12344,5", 4, "12344"},
        {"12345,5", 4, "12346"},   {"100", 4, "100,0"},
        {"1234", 5, "1234,0"},     {"0,5", 4, "0,500"},
        {"-0,0625", 4, "-0,063"},  {"9999,7", 4, "10000"},
        {"-0", 4, "0,000"},        {"0,100000001490116", 4, "0,100"},
        {"0", 1, "0,"},
    };
    for (const Case& c : cases) {
        QString r;
        EXPECT_TRUE(FormatSignificant(QString::fromLatin1(c.text), c.digits, r)) << c.text;
        EXPECT_EQ(r, QString::fromLatin1(c.expected)) << c.text << " with " << c.digits;
    }
    QString r = QStringLiteral("old");
    EXPECT_FALSE(FormatSignificant(QStringLiteral("1.5"), 4, r));
    EXPECT_TRUE(r.isEmpty());
    EXPECT_FALSE(FormatSignificant(QStringLiteral("INF"), 4, r));
}

TEST(StringFunc, PadStrPadsOnEitherSide)
{
    EXPECT_EQ(PadStr(QStringLiteral("7"), QLatin1Char('0'), 5, false), QStringLiteral("70000"));
    EXPECT_EQ(PadStr(QStringLiteral("123"), QLatin1Char('0'), 5, true), QStringLiteral("00123"));
    EXPECT_EQ(PadStr(QStringLiteral("123456"), QLatin1Char('0'), 5, true), QStringLiteral("123456"));
    EXPECT_EQ(PadStr(QStringLiteral("ab"), QLatin1Char(' '), -3, true), QStringLiteral("ab"));
    EXPECT_EQ(SerialToStr(0), QStringLiteral("00000"));
    EXPECT_EQ(SerialToStr(123), QStringLiteral("00123"));
    EXPECT_EQ(SerialToStr(65535), QStringLiteral("65535"));
}

TEST(StringFunc, BytesToSingleTakesTheMostSignificantByteFirst)
{
    EXPECT_EQ(BytesToSingle(0x42, 0x28, 0x00, 0x00), 42.0f);
    EXPECT_EQ(BytesToSingle(0x3D, 0xCC, 0xCC, 0xCD), 0.1f);
    EXPECT_EQ(BytesToSingle(0xC0, 0x00, 0x00, 0x00), -2.0f);
    EXPECT_TRUE(std::isnan(BytesToSingle(0x7F, 0xC0, 0x00, 0x00)));
    EXPECT_TRUE(std::isinf(BytesToSingle(0xFF, 0x80, 0x00, 0x00)));
}

TEST(StringFunc, FloatToStrPrintsFifteenSignificantDigits)
{
    struct Case
    {
        double value;
        const char* expected;
    };
    const Case cases[] = {
        {double(0.1f), "0,100000001490116"},
        {double(25.0f), "25"},
        {double(-12.34f), "-12,3400001525879"},
        {0.0, "0"},
        {-0.0, "0"},
        {-1.5, "-1,5"},
        {0.1, "0,1"},
        {0.0001, "0,0001"},
        {0.00001, "1E-5"},
        {0.0000442615029219009, "4,42615029219009E-5"},
        {0.000442615029219009, "0,000442615029219009"},
        {1234567890.123456789, "1234567890,12346"},
        {1234567890123456.123, "1,23456789012346E15"},
        {1e14, "100000000000000"},
        {1e15, "1E15"},
        {999999999999999.9, "1E15"},
        {1e100, "1E100"},
        {-2.5e-7, "-2,5E-7"},
        {double(std::numeric_limits<float>::max()), "3,40282346638529E38"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FloatToStr(c.value), QString::fromLatin1(c.expected)) << c.expected;
    EXPECT_EQ(FloatToStr(0.5, QLatin1Char('.')), QStringLiteral("0.5"));
    EXPECT_EQ(FloatToStr(std::nan("")), QStringLiteral("NAN"));
    EXPECT_EQ(FloatToStr(-std::numeric_limits<double>::infinity()), QStringLiteral("-INF"));
}

TEST(StringFunc, TrimRemovesBlanksAndControlCharactersAtTheEnds)
{
    EXPECT_EQ(TrimBlanksAndControls(QString::fromLatin1("\x01 a b \t\n")), QStringLiteral("a b"));
    EXPECT_EQ(TrimBlanksAndControls(QStringLiteral(" \x1f ")), QString());
    // A no-break space is a character, not a blank.
    EXPECT_EQ(TrimBlanksAndControls(QString(QChar(0xA0)) + QLatin1Char('x')),
              QString(QChar(0xA0)) + QLatin1Char('x'));
}

TEST(StringFunc, FormatSignificantBoundsTheDigitCount)
{
    QString r;
    ASSERT_TRUE(FormatSignificant(QStringLiteral("1,5"), 0, r));
    EXPECT_EQ(r, QStringLiteral("2")); // one digit at least, rounded as text
    ASSERT_TRUE(FormatSignificant(QStringLiteral("0,25"), 40, r));
    EXPECT_EQ(r, QStringLiteral("0,25000000000000"));
}
