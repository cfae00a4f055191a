#include "platform/SystemError.h"
#include "support/QStringPrinter.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>

// One system text can hold another ("No such device" in "No such device or
// address"): each reason is replaced whole, never the shorter one inside it.
TEST(SystemError, ReasonsAreReplacedWholeAndAnUnknownOneIsSaidInRussian)
{
    for (const int number : {ENXIO, ENFILE, ENODEV, EMFILE}) {
        const QString english = QString::fromLocal8Bit(std::strerror(number));
        EXPECT_EQ(SystemError::Russian(QStringLiteral("Cannot open /tmp/x: ") + english),
                  QStringLiteral("Cannot open /tmp/x: ") + SystemError::Text(number))
            << number;
    }
    EXPECT_EQ(SystemError::Text(ENXIO), QStringLiteral("нет такого устройства или адреса"));
    EXPECT_EQ(SystemError::Russian(QStringLiteral("Unknown error")), QStringLiteral("неизвестная ошибка"));
    EXPECT_EQ(SystemError::Text(1234), QStringLiteral("неизвестная ошибка 1234"));
}
