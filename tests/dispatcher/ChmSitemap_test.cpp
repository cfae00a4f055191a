#include "dispatcher/ChmSitemap.h"
#include "support/QStringPrinter.h"

#include <gtest/gtest.h>

TEST(ChmSitemap, NestedListsBecomeChildrenOfTheItemBeforeThem)
{
    const auto topics = ParseChmSitemap(QStringLiteral(R"(
<ul>
 <li><object type="text/sitemap"><param name="Name" value="A"><param name="Local" value="a.htm"></object>
 <ul>
  <li><object type="text/sitemap"><param name="Name" value="A1"><param name="Local" value="a1.htm"></object>
  <ul><li><object type="text/sitemap"><param name="Name" value="A1x"></object></ul>
  <li><object type="text/sitemap"><param name="Name" value="A2"><param name="Local" value="a2.htm"></object>
 </ul>
 <li><object type="text/sitemap"><param name="Name" value="B"><param name="Local" value="b.htm"></object>
</ul>)"));
    ASSERT_EQ(topics.size(), 2u);
    EXPECT_EQ(topics[0].Name(), QStringLiteral("A"));
    ASSERT_EQ(topics[0].Children.size(), 2u);
    EXPECT_EQ(topics[0].Children[0].Name(), QStringLiteral("A1"));
    ASSERT_EQ(topics[0].Children[0].Children.size(), 1u);
    EXPECT_EQ(topics[0].Children[0].Children[0].Name(), QStringLiteral("A1x"));
    EXPECT_TRUE(topics[0].Children[0].Children[0].Local().isEmpty());
    EXPECT_EQ(topics[0].Children[1].Local(), QStringLiteral("a2.htm"));
    EXPECT_EQ(topics[1].Name(), QStringLiteral("B"));
    EXPECT_TRUE(topics[1].Children.empty());
}

TEST(ChmSitemap, ToleratesWhatHandEditedFilesDo)
{
    const auto topics = ParseChmSitemap(QStringLiteral(
        "<!-- <OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"commented out\"></OBJECT> -->"
        "<OBJECT type=\"text/site properties\"><param name=\"Name\" value=\"properties\"></OBJECT>"
        "<UL><LI><OBJECT TYPE='text/sitemap'><PARAM NAME=name VALUE='single &amp; quoted'>"
        "<param name=\"local\" value=sub/page.htm></OBJECT>"
        "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"&#1046;&#x436; &laquo;x&raquo; "
        "&bogus; &\">"
        "<param name=\"URL\" value=\"http://example.org/\"><param name=\"See Also\" "
        "value=\"other\"/></OBJECT>"
        "<LI><OBJECT type=\"text/sitemap\"></OBJECT>"
        "</UL></UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"after stray close\">"
        "<param name=\"Name\" value=\"unterminated"));
    ASSERT_EQ(topics.size(), 2u);
    EXPECT_EQ(topics[0].Name(), QStringLiteral("single & quoted"));
    EXPECT_EQ(topics[0].Local(), QStringLiteral("sub/page.htm"));
    EXPECT_EQ(topics[1].Name(), QStringLiteral("Жж «x» &bogus; &"));
    EXPECT_EQ(topics[1].Local(), QStringLiteral("http://example.org/"));
    EXPECT_EQ(topics[1].SeeAlso, QStringLiteral("other"));
    // The item after the stray </UL> never closes its object, so it is dropped.
}

TEST(ChmSitemap, EmptyOrForeignTextGivesNoTopics)
{
    EXPECT_TRUE(ParseChmSitemap(QString()).empty());
    EXPECT_TRUE(ParseChmSitemap(QStringLiteral("<html><body><p>no lists</p><")).empty());
    EXPECT_TRUE(ParseChmSitemap(QStringLiteral("<ul><li>text only</li></ul>")).empty());
}
