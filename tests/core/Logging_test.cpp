#include "core/Logging.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <array>
#include <gtest/gtest.h>

TEST(Logging, Bin2CharFormatsUpperCaseHexWithTrailingBlanks)
{
    const std::array<quint8, 3> bytes{0x00, 0xAB, 0x0F};
    EXPECT_EQ(bin2char(bytes, 3), QStringLiteral("00 AB 0F "));
    EXPECT_EQ(bin2char(bytes, 2), QStringLiteral("00 AB "));
    EXPECT_EQ(bin2char(bytes, 0), QString());
    // A count past the data never reads past it.
    EXPECT_EQ(bin2char(bytes, 7), QStringLiteral("00 AB 0F "));
    EXPECT_EQ(HexDigit(0), QLatin1Char('0'));
    EXPECT_EQ(HexDigit(10), QLatin1Char('A'));
    EXPECT_EQ(HexDigit(15), QLatin1Char('F'));
}

TEST(Logging, TimeStampUsesGivenSeparatorsAndPadsEveryField)
{
    const QDateTime when(QDate(2026, 3, 7), QTime(4, 5, 6, 7));
    EXPECT_EQ(FormatLogTimeStamp(when, QLatin1Char('/'), QLatin1Char(':')),
              QStringLiteral("07/03/2026 04:05:06.007"));
    EXPECT_EQ(FormatLogTimeStamp(when, QLatin1Char('.'), QLatin1Char(':')),
              QStringLiteral("07.03.2026 04:05:06.007"));
    const QDateTime late(QDate(2026, 12, 31), QTime(23, 59, 59, 999));
    EXPECT_EQ(FormatLogTimeStamp(late, QLatin1Char('-'), QLatin1Char('.')),
              QStringLiteral("31-12-2026 23.59.59.999"));
}

class LoggingFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        SetLogFileName(dir.filePath(QStringLiteral("klov.log")));
    }
    void TearDown() override { SetLogFileName(QString()); }

    QStringList lines() const
    {
        QFile f(dir.filePath(QStringLiteral("klov.log")));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QTemporaryDir dir;
};

TEST_F(LoggingFile, LinesAppendInCallOrderWithStampAndSeparator)
{
    WriteLog(QStringLiteral("Sent to 1234: 04 D2 "));
    WriteLog(QStringLiteral("Ошибка контрольной суммы"));
    const QStringList got = lines();
    ASSERT_EQ(got.size(), 2);
    const QString stamp = FormatLogTimeStamp(QDateTime::currentDateTime());
    // Same shape as a fresh stamp: only the digits may differ.
    const QRegularExpression shape(QStringLiteral("^\\d\\d.\\d\\d.\\d{4} \\d\\d.\\d\\d.\\d\\d\\.\\d{3}: "));
    EXPECT_TRUE(shape.match(got[0]).hasMatch()) << got[0].toStdString();
    EXPECT_EQ(got[0].mid(stamp.size()), QStringLiteral(": Sent to 1234: 04 D2 "));
    EXPECT_EQ(got[1].mid(stamp.size()), QStringLiteral(": Ошибка контрольной суммы"));
}

TEST_F(LoggingFile, UnwritableLogLosesOnlyThatLine)
{
    SetLogFileName(dir.filePath(QStringLiteral("no/such/folder/klov.log")));
    WriteLog(QStringLiteral("lost"));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("no/such/folder/klov.log"))));
    // The log works again as soon as it can be written; the lost line stays lost.
    SetLogFileName(dir.filePath(QStringLiteral("klov.log")));
    WriteLog(QStringLiteral("kept"));
    const QStringList got = lines();
    ASSERT_EQ(got.size(), 1);
    EXPECT_TRUE(got[0].endsWith(QStringLiteral(": kept")));
}
