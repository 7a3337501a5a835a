// Updates: the feed, the versions in it, and what the user is told.
#include <gmock/gmock.h>

#include "support/fake_platform.h"
#include "update/updater.h"

namespace plenhall::testing {
namespace {

using ::testing::ElementsAre;

TEST(Versions, NumbersThenPreReleaseTags) {
    const std::tuple<const char*, const char*, int> cases[] = {
        {"1.0", "1.0", 0},    {"1.10", "1.9", 1},      {"1.0.1", "1.0", 1},
        {"1.0", "1.0b1", 1},  {"1.0b2", "1.0b1", 1},   {"1.0rc1", "1.0beta2", 1},
        {"2", "10", -1},      {"010", "10", 0},        {"1.0", "1.0.0", -1},
        {"1.2a", "1.2", -1},  {"1.2 beta", "1.2", -1}, {"", "1", -1},
        {"abc", "1", -1},     {"1.0.", "1.0", 1},      {"1..2", "1.2", -1},
        {"1.0 b", "1.0 a", 1}};
    for (const auto& [a, b, expected] : cases) {
        EXPECT_EQ(compareVersions(a, b), expected) << a << " vs " << b;
        EXPECT_EQ(compareVersions(b, a), -expected) << b << " vs " << a;
    }
    EXPECT_EQ(compareVersions(std::string(30, '9'), "1"), 1);  // past any integer type
}

TEST(Appcast, ReadsItemsFromElementsAndEnclosures) {
    const char* feed = R"(<?xml version="1.0" encoding="utf-8"?>
<!-- the project's feed -->
<rss	version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
  <channel><title>Plenhall</title>
    <item>
      <title>	Version 1.2 &amp;&lt;&gt;&quot;&apos;&#65;&#x7f;&#x80;&#x7FF;&#x800;&#xFFFF;&#x10000;
</title>
      <link> https://plenhall.com/download </link>
      <sparkle:releaseNotesLink>https://plenhall.com/notes/1.2</sparkle:releaseNotesLink>
      <enclosure url = "https://plenhall.com/p-1.2.tar.gz" sparkle:version=" 120 " sparkle:shortVersionString="1.2 "/>
    </item>
    <item>
      <title><![CDATA[Version <1.1>]]></title>
      <sp:version xmlns:sp="http://www.andymatuschak.org/xml-namespaces/sparkle">110</sp:version>
      <enclosure url=' https://plenhall.com/p-1.1.tar.gz '/>
      <item><title>inner</title></item>
    </item>
    <item/><x-2.b>names may hold digits, dots and dashes</x-2.b>
    <item><title>no version</title><sparkle:shortVersionString>x</sparkle:shortVersionString></item>
  </channel>
</rss>)";
    auto result = parseAppcast(feed);
    ASSERT_TRUE(std::holds_alternative<std::vector<AppcastItem>>(result))
        << std::get<AppcastError>(result).reason;
    const auto& items = std::get<std::vector<AppcastItem>>(result);
    EXPECT_THAT(
        items,
        ElementsAre(
            AppcastItem{"Version 1.2 &<>\"'A\x7f\u0080\u07ff\u0800\uffff\U00010000", "120", "1.2",
                        "https://plenhall.com/notes/1.2", "https://plenhall.com/download"},
            AppcastItem{"Version <1.1>", "110", "110", "", "https://plenhall.com/p-1.1.tar.gz"},
            AppcastItem{}, AppcastItem{"no version", "", "x", "", ""}));
    EXPECT_EQ(newestUpdate(items, "119")->shortVersion, "1.2");
    EXPECT_FALSE(newestUpdate(items, "120"));
}

// Versions reach a dialog: an item whose versions are long or not plain text is passed over.
TEST(Appcast, OnlyItemsWithShowableVersionsAreOffered) {
    const std::string tooLong(kMaxVersionBytes + 1, '9');
    const AppcastItem older{"", "150", "1.5", "", "https://plenhall.com/d"};
    for (const std::string shortVersion :
         {"2.0\xc0\xae", "2\xe0\x80\xae", "2\xed\xa0\x80", "2\xf4\x90\x80\x80", "2\xe2\x82", "2\n",
          "\u202e2", "\u20662", "2\u200f", "2\u0085", "\x7f", tooLong.c_str()}) {
        const AppcastItem item{"", "200", shortVersion, "", "https://plenhall.com/d"};
        EXPECT_EQ(newestUpdate({item, older}, "100"), older) << shortVersion;
    }
    for (const std::string& fine :
         {std::string(kMaxVersionBytes - 2, '9') + "\u00fc",
          std::string("2\u00a0\u0800\U00010000\u206a\u202f\u2065\u2029\u061d")}) {
        const AppcastItem item{"", "200", fine, "", "https://plenhall.com/d"};
        EXPECT_EQ(newestUpdate({item, older}, "100"), item) << fine;
    }
}

TEST(Appcast, MalformedFeedsAreFailuresNotGuesses) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "the feed is empty"},
        {"  <!-- x --> <?pi?>\n", "the feed is empty"},
        {"<html><body>Not found</body></html>", "the feed is not RSS"},
        {"<rss><channel>", "the feed ends inside <channel>"},
        {"<rss></rss><rss></rss>", "more than one root element"},
        {"<rss><item><title>&bogus;</title></item></rss>", "unknown entity &bogus;"},
        {"<rss>&#0;</rss>", "character reference out of range"},
        {"<rss>&#x110000;</rss>", "character reference out of range"},
        {"<rss>&#x;</rss>", "malformed character reference"},
        {"<rss>&amp</rss>", "malformed reference"},
        {"<rss>&abcdefghijkl;</rss>", "malformed reference"},
        {"<rss>&abcdefghijk;</rss>", "unknown entity &abcdefghijk;"},
        {"<rss a=b></rss>", "unquoted attribute value"},
        {"<rss a></rss>", "attribute without a value"},
        {"<rss a=\"b></rss>", "'<' inside a value"},
        {"<rss a=\"b", "unterminated attribute value"},
        {"<rss></rss >x", "text outside the root element"},
        {"<rss></rss x>", "malformed end tag </rss>"},
        {"<![CDATA[x]]><rss/>", "text outside the root element"},
        {"<!DOCTYPE rss [<!ENTITY a \"aaaa\">]><rss></rss>",
         "document type declarations are not accepted"},
        {"<rss><!-- never ends", "unterminated comment"},
        {"<rss></1>", "malformed name"},
        {"<rss></rss", "malformed end tag </rss>"},
        // What a reason quotes of the feed is plain text and short: reasons reach a dialog.
        {"<rss><a\xff\xe2\x80\xae>", "the feed ends inside <a\uFFFD\uFFFD>"},
        {"<rss></" + std::string(100, 'a') + ">",
         "mismatched end tag </" + std::string(40, 'a') + "\u2026>"}};
    for (const auto& [xml, reason] : cases) {
        auto result = parseAppcast(xml);
        ASSERT_TRUE(std::holds_alternative<AppcastError>(result)) << xml;
        EXPECT_EQ(std::get<AppcastError>(result).reason, reason) << xml;
    }
    std::string deep = "<rss>";
    for (std::size_t i = 1; i < 64; ++i) deep += "<a>";
    EXPECT_EQ(std::get<AppcastError>(parseAppcast(deep)).reason, "the feed ends inside <a>");
    EXPECT_EQ(std::get<AppcastError>(parseAppcast(deep + "<a>")).reason,
              "the feed nests too deeply");
}

std::string feedOf(std::string notes, std::string download, std::string version = "50") {
    return "<rss><channel><item><title>x</title><link>" + download +
           "</link><sparkle:releaseNotesLink>" + notes +
           R"(</sparkle:releaseNotesLink><enclosure url="https://plenhall.com/p.tar.gz" )"
           R"(sparkle:version=")" +
           version + R"(" sparkle:shortVersionString="1.5"/></item></channel></rss>)";
}
const std::string kNewer = feedOf("https://plenhall.com/n", "https://plenhall.com/d");
const std::string kSame = feedOf("", "https://plenhall.com/d", "42");

class Updates : public ::testing::Test {
  public:
    // The fake desktop's build: 1.4.2 (42), its feed https://plenhall.com/appcast.xml.
    void make(UpdateSchedule schedule = UpdateSchedule::automatic,
              std::optional<std::string> feed = std::nullopt) {
        auto settings = UpdaterSettings::of(desktop.build);
        if (feed) settings.feed = *feed;
        updater = std::make_unique<Updater>(
            UpdaterServices{desktop.mainQueue, desktop.http, desktop.dialogs, desktop, desktop.log},
            settings, schedule, [this] { noticed.push_back(desktop.dialogs.alerts.size()); });
    }
    // What a check the user asked for shows, the feed answering so: "message|text|role|buttons".
    std::string check(std::optional<HttpResult> answer, std::optional<std::string> feed = {}) {
        desktop.dialogs.alerts.clear();
        make(UpdateSchedule::onRequestOnly, std::move(feed));
        updater->checkForUpdates();
        if (answer) desktop.http.answer(std::move(*answer));
        if (desktop.dialogs.alerts.size() != 1) return "(nothing)";
        const auto& a = desktop.dialogs.alerts.front().alert;
        std::string shown = a.text + "|" + a.secondaryText + "|" + a.role;
        for (const auto& button : a.buttons) shown += "|" + button;
        return shown;
    }
    FakePlatform desktop;
    std::unique_ptr<Updater> updater;
    std::vector<std::size_t> noticed;  // alerts up when the controller heard of an offer
};

// What people read: pinned once.
TEST_F(Updates, EveryTextAUserCheckShows) {
    const std::string failed = "Plenhall couldn't check for updates.|";
    auto because = [&](const std::string& reason) {
        return failed + "Check your internet connection, then try again (" + reason +
               ").|update-status|OK";
    };
    const std::pair<std::string, std::string> shown[] = {
        {check(std::nullopt, ""),
         "Updates for Plenhall come from your system's package manager.|Use your software centre "
         "or "
         "package manager to keep it up to date.|update-status|OK"},
        {check(kSame),
         "You're up to date.|Plenhall 1.4.2 is the newest version available.|update-status|OK"},
        {check(kNewer),
         "Plenhall 1.5 is available.|You have 1.4.2. Get the new version from its "
         "download page.|update|Release Notes|Later|Download"},
        {check(std::string("<html/>")),
         failed + "The update feed is unreadable: the feed is not RSS.|update-status|OK"},
        {check(feedOf("", "http://plenhall.com/d")),
         failed +
             "The update feed has no secure download link for its new version.|update-status|OK"},
        {check(HttpError{HttpFailure::network, 0, "No route"}), because("No route")},
        {check(HttpError{HttpFailure::status, 404, "Not Found"}),
         because("the update server answered 404 Not Found")},
        {check(HttpError{HttpFailure::tooLarge, 0, ""}),
         because("the update feed is larger than any feed should be")},
        {check(HttpError{HttpFailure::timedOut, 0, ""}),
         because("the update server did not answer in time")},
        {check(HttpRedirect{"http://plenhall.com/a.xml"}),
         because("the update server redirected to an address that is not https")},
        {check(std::nullopt, "appcast.xml"), because("the update feed address is not a valid URL")},
        {check(std::nullopt, "http://plenhall.com/a.xml"),
         because("the update feed must be an https address")}};
    for (const auto& [actual, expected] : shown) EXPECT_EQ(actual, expected);
    EXPECT_TRUE(desktop.log.lines.empty());
}

// An https feed vouches only for https pages; a loopback feed over plain http may name http ones.
TEST_F(Updates, OffersTheNewestItemWithLinksAsSecureAsTheFeed) {
    make();
    desktop.clock.advance(10);
    desktop.http.answer("<rss>" + feedOf("", "https://plenhall.com/d45", "45") +
                        feedOf("https://plenhall.com/n6", "https://plenhall.com/d6", "60") +
                        feedOf("", "http://plenhall.com/d7", "70") + "</rss>");
    EXPECT_THAT(noticed, ElementsAre(0u));  // the calendar goes before the offer comes
    EXPECT_EQ(desktop.dialogs.alerts.front().alert.defaultButton, 2u);
    for (std::size_t button : {0, 1, 2}) desktop.dialogs.alerts.front().done(button, std::nullopt);
    EXPECT_THAT(desktop.opened, ElementsAre("https://plenhall.com/n6", "https://plenhall.com/d6"));
    updater.reset();  // the offer on screen outlives the updater
    desktop.dialogs.alerts.front().done(AlertAnswer(2), std::nullopt);
    EXPECT_EQ(desktop.opened.size(), 3u);

    const std::string loopback = "http://127.0.0.1/appcast.xml";
    const std::tuple<std::optional<std::string>, std::string, std::string, std::string> cases[] = {
        {{}, "http://plenhall.com/n", "https://plenhall.com/d", "Later|Download"},
        {{}, "https:n", "https://plenhall.com/d", "Later|Download"},
        {{}, "", "https:plenhall.com/d", "OK"},
        {loopback, "http://127.0.0.1/n", "http://localhost/d", "Release Notes|Later|Download"},
    };
    for (const auto& [feed, notes, download, buttons] : cases)
        EXPECT_THAT(check(feedOf(notes, download), feed), ::testing::EndsWith("|" + buttons));
}

}  // namespace
}  // namespace plenhall::testing
