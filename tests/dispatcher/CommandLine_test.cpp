#include "dispatcher/CommandLine.h"
#include "support/QStringPrinter.h"

#include <gtest/gtest.h>

namespace {

QString paramValue(const QStringList& RealArgs, const QString& Key)
{
    return GetParamValue(QStringList{QStringLiteral("/opt/klov/klov")} + RealArgs, Key);
}

} // namespace

TEST(GetParamValue, AnyLeadCharacterKeyCaseAndSeparator)
{
    const QString path = QStringLiteral("/home/оператор/klov.ini");
    for (const QString& lead : {QStringLiteral("-"), QStringLiteral("/"), QStringLiteral("+")}) {
        for (const QString& key : {QStringLiteral("ini"), QStringLiteral("INI"), QStringLiteral("iNi")}) {
            for (const QString& sep : {QStringLiteral("="), QStringLiteral(":"), QStringLiteral(" ")}) {
                const QString param = lead + key + sep + path;
                EXPECT_EQ(paramValue({param}, QStringLiteral("ini")), path) << param.toStdString();
                EXPECT_EQ(paramValue({param}, QStringLiteral("INI")), path) << param.toStdString();
            }
        }
    }
}

TEST(GetParamValue, ValueIsEverythingAfterTheOneSeparator)
{
    // Further separators belong to the value.
    EXPECT_EQ(paramValue({QStringLiteral("-ini==a=b")}, QStringLiteral("ini")), QStringLiteral("=a=b"));
    // Any one character separates, a letter too: a longer word with the key in
    // front matches.
    EXPECT_EQ(paramValue({QStringLiteral("-initial=5")}, QStringLiteral("ini")), QStringLiteral("ial=5"));
    // The key must stand right after the one lead character.
    EXPECT_EQ(paramValue({QStringLiteral("--ini=a")}, QStringLiteral("ini")), QString());
    EXPECT_EQ(paramValue({QStringLiteral("-in")}, QStringLiteral("ini")), QString());
}

TEST(GetParamValue, KeyWithoutValueGivesEmpty)
{
    EXPECT_EQ(paramValue({QStringLiteral("-ini")}, QStringLiteral("ini")), QString());
    EXPECT_EQ(paramValue({QStringLiteral("-ini=")}, QStringLiteral("ini")), QString());
    EXPECT_EQ(paramValue({}, QStringLiteral("ini")), QString());
    EXPECT_EQ(GetParamValue({}, QStringLiteral("ini")), QString());
}

TEST(GetParamValue, FirstMatchWinsEvenWhenItIsEmpty)
{
    const QStringList args{QStringLiteral("-pwd=1"), QStringLiteral("-ini=/a.ini"),
                           QStringLiteral("/INI:/b.ini")};
    EXPECT_EQ(paramValue(args, QStringLiteral("ini")), QStringLiteral("/a.ini"));
    EXPECT_EQ(paramValue(args, QStringLiteral("pwd")), QStringLiteral("1"));
    EXPECT_EQ(paramValue({QStringLiteral("-ini"), QStringLiteral("-ini=/b.ini")}, QStringLiteral("ini")),
              QString());
}

TEST(GetParamValue, ProgramPathIsNotAParameter)
{
    // On Linux argv[0] is the program's path, which may itself look like a
    // parameter; the first real parameter is argv[1].
    EXPECT_EQ(GetParamValue({QStringLiteral("-ini=/x.ini")}, QStringLiteral("ini")), QString());
    EXPECT_EQ(
        GetParamValue({QStringLiteral("/ini/klov"), QStringLiteral("-ini=/y.ini")}, QStringLiteral("ini")),
        QStringLiteral("/y.ini"));
}
