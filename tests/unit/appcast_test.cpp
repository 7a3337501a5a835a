#include "update/appcast.h"

#include <gtest/gtest.h>

namespace plenhall {
namespace {

TEST(VersionComparison, NumbersThenPreReleaseTags) {
    const std::tuple<const char*, const char*, int> cases[] = {
        {"1.0", "1.0", 0},   {"1.10", "1.9", 1},      {"1.0.1", "1.0", 1},
        {"1.0", "1.0b1", 1}, {"1.0b2", "1.0b1", 1},   {"1.0rc1", "1.0beta2", 1},
        {"2", "10", -1},     {"010", "10", 0},        {"1.0", "1.0.0", -1},
        {"1.2a", "1.2", -1}, {"1.2 beta", "1.2", -1}, {"", "1", -1},
        {"", "", 0},         {"abc", "1", -1},        {"99999999999999999999999", "1", 1},
        {"1.0.", "1.0", 1},  {"1..2", "1.2", -1},
    };
    for (const auto& [a, b, expected] : cases) {
        EXPECT_EQ(compareVersions(a, b), expected) << a << " vs " << b;
        EXPECT_EQ(compareVersions(b, a), -expected) << b << " vs " << a;
    }
}

const char* kFeed = R"(<?xml version="1.0" encoding="utf-8"?>
<!-- the project's feed -->
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
  <channel>
    <title>Plenhall</title>
    <item>
      <title>Version 1.2 &amp; more</title>
      <link>https://plenhall.com/download</link>
      <sparkle:releaseNotesLink>https://plenhall.com/notes/1.2</sparkle:releaseNotesLink>
      <enclosure url="https://plenhall.com/p-1.2.tar.gz" sparkle:version="120" sparkle:shortVersionString="1.2"/>
    </item>
    <item>
      <title><![CDATA[Version <1.1>]]></title>
      <sp:version xmlns:sp="http://www.andymatuschak.org/xml-namespaces/sparkle">110</sp:version>
      <enclosure url='https://plenhall.com/p-1.1.tar.gz'/>
    </item>
    <item><title>no version</title></item>
  </channel>
</rss>)";

TEST(Appcast, ReadsItemsFromElementsAndEnclosures) {
    auto result = parseAppcast(kFeed);
    ASSERT_TRUE(std::holds_alternative<std::vector<AppcastItem>>(result))
        << std::get<AppcastError>(result).reason;
    const auto& items = std::get<std::vector<AppcastItem>>(result);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0],
              (AppcastItem{"Version 1.2 & more", "120", "1.2", "https://plenhall.com/notes/1.2",
                           "https://plenhall.com/download"}));
    EXPECT_EQ(items[1], (AppcastItem{"Version <1.1>", "110", "110", "",
                                     "https://plenhall.com/p-1.1.tar.gz"}));
    EXPECT_EQ(newestUpdate(items, "119")->shortVersion, "1.2");
    EXPECT_FALSE(newestUpdate(items, "120"));
    EXPECT_FALSE(newestUpdate(items, "121"));
    EXPECT_FALSE(newestUpdate({}, "1"));
    auto empty = parseAppcast("<rss version='2.0'><channel><title>x</title></channel></rss>");
    EXPECT_TRUE(std::get<std::vector<AppcastItem>>(empty).empty());
}

// Versions reach a dialog: an item whose versions are long or not plain text is passed over.
TEST(Appcast, OnlyItemsWithShowableVersionsAreOffered) {
    const std::pair<std::string, std::string> unshowable[] = {
        {"200", std::string(kMaxVersionBytes + 1, '9')},
        {std::string(kMaxVersionBytes + 1, '9'), "2.0"},
        {"200", "2.0\xff"},
        {"200", "2.0\xc0\xae"},  // an overlong "."
        {"200", "2.0\n\nGet it from example.com"},
        {"200", "\u202e0.2"},
    };
    const AppcastItem older{"", "150", "1.5", "", "https://plenhall.com/d"};
    for (const auto& [version, shortVersion] : unshowable) {
        const AppcastItem item{"", version, shortVersion, "", "https://plenhall.com/d"};
        EXPECT_EQ(newestUpdate({item, older}, "100"), older) << shortVersion;
    }
    const AppcastItem longest{"", "200", std::string(kMaxVersionBytes - 2, '9') + "\u00fc", "",
                              "https://plenhall.com/d"};
    EXPECT_EQ(newestUpdate({longest, older}, "100"), longest);
}

TEST(Appcast, MalformedFeedsAreFailuresNotGuesses) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "the feed is empty"},
        {"   \n", "the feed is empty"},
        {"<html><body>Not found</body></html>", "the feed is not RSS"},
        {"<rss><channel>", "the feed ends inside <channel>"},
        {"<rss><channel></rss>", "mismatched end tag </rss>"},
        {"<rss></rss><rss></rss>", "more than one root element"},
        {"<rss><item><title>&bogus;</title></item></rss>", "unknown entity &bogus;"},
        {"<rss><item><title>&#0;</title></item></rss>", "character reference out of range"},
        {"<rss><item><title>&#x110000;</title></item></rss>", "character reference out of range"},
        {"<rss a=b></rss>", "unquoted attribute value"},
        {"<rss a=\"b></rss>", "'<' inside a value"},
        {"<!DOCTYPE rss [<!ENTITY a \"aaaa\">]><rss></rss>",
         "document type declarations are not accepted"},
        {"<rss><!-- never ends", "unterminated comment"},
        {"<rss><![CDATA[ never ends", "unterminated CDATA section"},
        {"garbage<rss></rss>", "text outside the root element"},
        {std::string(1000, '<'), "malformed name"},
        {"<rss><a>", "the feed ends inside <a>"},
        // What a reason quotes of the feed is plain text and short: reasons reach a dialog.
        {"<rss><a\xff\xe2\x80\xae>", "the feed ends inside <a\uFFFD\uFFFD>"},
        {"<rss></" + std::string(100, 'a') + ">",
         "mismatched end tag </" + std::string(40, 'a') + "\u2026>"},
    };
    for (const auto& [xml, reason] : cases) {
        auto result = parseAppcast(xml);
        ASSERT_TRUE(std::holds_alternative<AppcastError>(result)) << xml;
        EXPECT_EQ(std::get<AppcastError>(result).reason, reason) << xml;
    }
    std::string deep = "<rss>";
    for (int i = 0; i < 100; ++i) deep += "<a>";
    EXPECT_EQ(std::get<AppcastError>(parseAppcast(deep)).reason, "the feed nests too deeply");
}

}  // namespace
}  // namespace plenhall
