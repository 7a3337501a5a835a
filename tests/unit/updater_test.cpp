#include "update/updater.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/fake_platform.h"

namespace plenhall::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A feed of the given items, each as (build, short version, release notes, download page).
std::string feedOf(
    std::vector<std::tuple<std::string, std::string, std::string, std::string>> items) {
    std::string xml =
        R"(<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">)"
        "<channel>";
    for (const auto& [version, shortVersion, notes, download] : items) {
        xml += "<item><title>Plenhall " + shortVersion + "</title><link>" + download + "</link>" +
               "<sparkle:releaseNotesLink>" + notes + "</sparkle:releaseNotesLink>" +
               R"(<enclosure url="https://plenhall.com/p.tar.gz" sparkle:version=")" + version +
               R"(" sparkle:shortVersionString=")" + shortVersion + R"("/></item>)";
    }
    return xml + "</channel></rss>";
}

const std::string kNewer =
    feedOf({{"50", "1.5", "https://plenhall.com/notes", "https://plenhall.com/download"}});
const std::string kSame =
    feedOf({{"42", "1.4.2", "https://plenhall.com/notes", "https://plenhall.com/download"}});

class Updates : public ::testing::Test {
  public:
    // The fake desktop's build: 1.4.2 (42) with the feed https://plenhall.com/appcast.xml.
    void make(UpdateSchedule schedule = UpdateSchedule::automatic,
              std::optional<std::string> feed = std::nullopt) {
        auto settings = UpdaterSettings::of(desktop.build);
        if (feed) settings.feed = *feed;
        updater = std::make_unique<Updater>(
            UpdaterServices{desktop.mainQueue, desktop.http, desktop.dialogs, desktop.workspace,
                            desktop.log},
            settings, schedule,
            [this] { alertsWhenNoticed.push_back(desktop.dialogs.freeAlerts.size()); });
    }
    const Alert& shown() { return desktop.dialogs.freeAlerts.back().alert; }

    FakePlatform desktop;
    std::unique_ptr<Updater> updater;
    std::vector<std::size_t> alertsWhenNoticed;
};

TEST_F(Updates, ChecksTenSecondsAfterLaunchThenDaily) {
    make();
    desktop.clock.advance(9.9);
    EXPECT_THAT(desktop.http.sent, IsEmpty());
    desktop.clock.advance(0.1);
    ASSERT_EQ(desktop.http.sent.size(), 1u);
    EXPECT_EQ(desktop.http.sent[0].url, "https://plenhall.com/appcast.xml");
    EXPECT_EQ(desktop.http.sent[0].userAgent, "PlenhallDesktop/1.4.2");
    EXPECT_EQ(desktop.http.sent[0].maxBytes, 2u * 1024 * 1024);
    EXPECT_EQ(desktop.http.sent[0].deadline, std::chrono::seconds(60));
    desktop.http.answer(kSame);
    desktop.clock.advance(24 * 60 * 60 - 1);
    EXPECT_EQ(desktop.http.sent.size(), 1u);
    desktop.clock.advance(1);
    EXPECT_EQ(desktop.http.sent.size(), 2u);
    EXPECT_THAT(desktop.dialogs.freeAlerts, IsEmpty());  // nothing new: scheduled checks are quiet
}

TEST_F(Updates, NoScheduleUnlessStartingOrWithoutAFeed) {
    make(UpdateSchedule::onRequestOnly);
    desktop.clock.advance(3 * 24 * 60 * 60);
    EXPECT_THAT(desktop.http.sent, IsEmpty());
    make(UpdateSchedule::automatic, "");
    EXPECT_EQ(desktop.mainQueue.pendingTimers(), 0u);
}

TEST(FeedRule, HttpsOrPlainHttpOnLoopback) {
    const std::pair<const char*, FeedVerdict> cases[] = {
        {"https://plenhall.com/appcast.xml", FeedVerdict::allowed},
        {"http://127.0.0.1:8080/appcast.xml", FeedVerdict::allowed},
        {"http://localhost/appcast.xml", FeedVerdict::allowed},
        {"http://[::1]:80/appcast.xml", FeedVerdict::allowed},
        {"http://plenhall.com/appcast.xml", FeedVerdict::insecure},
        {"http://127.0.0.1.example.com/appcast.xml", FeedVerdict::insecure},
        {"http://localhost@example.com/appcast.xml", FeedVerdict::insecure},
        {"ftp://plenhall.com/appcast.xml", FeedVerdict::insecure},
        {"file:///etc/appcast.xml", FeedVerdict::insecure},
        {"HTTPS://plenhall.com/appcast.xml", FeedVerdict::insecure},  // schemes are exact text
        {"plenhall.com/appcast.xml", FeedVerdict::invalid},
        {"https://", FeedVerdict::invalid},
        {"https:appcast.xml", FeedVerdict::invalid},
    };
    for (const auto& [feed, verdict] : cases) EXPECT_EQ(checkFeed(feed), verdict) << feed;

    // A redirect never ends on a weaker connection than the one it came from.
    const std::tuple<const char*, const char*, FeedVerdict> redirects[] = {
        {"https://plenhall.com/appcast.xml", "https://cdn.example.net/a.xml", FeedVerdict::allowed},
        {"https://plenhall.com/appcast.xml", "http://plenhall.com/a.xml", FeedVerdict::insecure},
        {"https://plenhall.com/appcast.xml", "http://127.0.0.1/a.xml", FeedVerdict::insecure},
        {"https://plenhall.com/appcast.xml", "file:///etc/a.xml", FeedVerdict::insecure},
        {"http://127.0.0.1/appcast.xml", "https://plenhall.com/a.xml", FeedVerdict::allowed},
        {"http://127.0.0.1/appcast.xml", "http://localhost/a.xml", FeedVerdict::allowed},
        {"http://127.0.0.1/appcast.xml", "http://plenhall.com/a.xml", FeedVerdict::insecure},
    };
    for (const auto& [from, to, verdict] : redirects)
        EXPECT_EQ(checkRedirect(from, to), verdict) << from << " to " << to;
}

// What people read: a contract, pinned once.
TEST_F(Updates, EveryTextAUserCheckShows) {
    auto check = [this](std::optional<std::string> feed, std::optional<HttpResult> answer) {
        desktop.dialogs.freeAlerts.clear();
        make(UpdateSchedule::onRequestOnly, std::move(feed));
        updater->checkForUpdates();
        if (answer) desktop.http.answer(std::move(*answer));
        return desktop.dialogs.freeAlerts.size() == 1;
    };
    struct Shown {
        std::optional<std::string> feed;
        std::optional<HttpResult> answer;
        std::string message, informative, role;
    };
    const Shown shownCases[] = {
        {"", std::nullopt, "Updates for Plenhall come from your system's package manager.",
         "Use your software centre or package manager to keep it up to date.", "update-status"},
        {std::nullopt, kSame, "You're up to date.",
         "Plenhall 1.4.2 is the newest version available.", "update-status"},
        {std::nullopt, kNewer, "Plenhall 1.5 is available.",
         "You have 1.4.2. Get the new version from its download page.", "update"},
        {std::nullopt, std::string("<html>Not here</html>"), "Plenhall couldn't check for updates.",
         "The update feed is unreadable: the feed is not RSS.", "update-status"},
    };
    for (const auto& c : shownCases) {
        ASSERT_TRUE(check(c.feed, c.answer)) << c.message;
        EXPECT_EQ(shown().messageText, c.message);
        EXPECT_EQ(shown().informativeText, c.informative) << c.message;
        EXPECT_EQ(shown().role, c.role) << c.message;
        if (c.role == "update-status") {
            EXPECT_EQ(shown().buttons, std::vector<std::string>{"OK"});
        }
    }

    // A check that got no feed: the reason in brackets.
    const std::pair<HttpResult, std::string> failures[] = {
        {HttpError{HttpFailure::network, 0, "Could not resolve host"}, "Could not resolve host"},
        {HttpError{HttpFailure::status, 404, "Not Found"},
         "the update server answered 404 Not Found"},
        {HttpError{HttpFailure::tooLarge, 0, ""},
         "the update feed is larger than any feed should be"},
        {HttpError{HttpFailure::timedOut, 0, ""}, "the update server did not answer in time"},
        {HttpError{HttpFailure::invalidAddress, 0, ""},
         "the update feed address is not a valid URL"},
        {HttpRedirect{"http://plenhall.com/appcast.xml"},
         "the update server redirected to an address that is not https"},
    };
    const std::pair<std::string, std::string> refusedFeeds[] = {
        {"appcast.xml", "the update feed address is not a valid URL"},
        {"http://plenhall.com/appcast.xml", "the update feed must be an https address"},
    };
    auto expectFailure = [this](const std::string& reason) {
        EXPECT_EQ(shown().messageText, "Plenhall couldn't check for updates.") << reason;
        EXPECT_EQ(shown().informativeText,
                  "Check your internet connection, then try again (" + reason + ").");
    };
    for (const auto& [error, reason] : failures) {
        ASSERT_TRUE(check(std::nullopt, error)) << reason;
        expectFailure(reason);
    }
    for (const auto& [feed, reason] : refusedFeeds) {
        ASSERT_TRUE(check(feed, std::nullopt)) << feed;
        expectFailure(reason);
    }
    EXPECT_THAT(desktop.log.lines, IsEmpty());
}

TEST_F(Updates, ScheduledFailuresGoToTheLogOnly) {
    make();
    desktop.clock.advance(10);
    desktop.http.answer(HttpError{HttpFailure::network, 0, "Connection refused"});
    desktop.clock.advance(24 * 60 * 60);
    desktop.http.answer(std::string("\xff<rss><item>"));
    desktop.clock.advance(24 * 60 * 60);
    desktop.http.answer(kSame);
    EXPECT_THAT(desktop.dialogs.freeAlerts, IsEmpty());
    ASSERT_EQ(desktop.log.lines.size(), 2u);
    EXPECT_EQ(desktop.log.lines[0], "PlenhallDesktop: update check failed: Connection refused");
    EXPECT_THAT(desktop.log.lines[1],
                ::testing::StartsWith(
                    "PlenhallDesktop: update check failed: the update feed is unreadable: "));
}

TEST_F(Updates, OffersTheNewestItemAfterTheNotice) {
    make();
    desktop.clock.advance(10);
    desktop.http.answer(feedOf({{"45", "1.4.5", "", "https://plenhall.com/d145"},
                                {"60", "1.6", "", "https://plenhall.com/d16"},
                                {"70", "1.7", "", "http://plenhall.com/d17"},  // not offerable
                                {"30", "1.3", "", "https://plenhall.com/d13"}}));
    ASSERT_EQ(desktop.dialogs.freeAlerts.size(), 1u);
    EXPECT_EQ(shown().messageText, "Plenhall 1.6 is available.");
    EXPECT_THAT(alertsWhenNoticed, ElementsAre(0u));  // the calendar goes before the offer comes
    desktop.dialogs.answerFreeAlert(AlertAnswer(1));  // "Download"
    EXPECT_THAT(desktop.workspace.opened, ElementsAre("https://plenhall.com/d16"));
}

// An https feed vouches only for https pages; a loopback feed over plain http may name http ones.
// An update without such a download page is not offered.
TEST_F(Updates, OnlyLinksAsSecureAsTheFeedAreOfferedOrOpened) {
    const std::string loopback = "http://127.0.0.1/appcast.xml";
    struct Case {
        std::optional<std::string> feed;
        std::string notes, download;
        std::vector<std::string> buttons;  // none: the update is not offered
    };
    const Case cases[] = {
        {{},
         "https://plenhall.com/n",
         "https://plenhall.com/d",
         {"Release Notes", "Later", "Download"}},
        {{}, "http://plenhall.com/n", "https://plenhall.com/d", {"Later", "Download"}},
        {{}, "javascript:alert(1)", "https://plenhall.com/d", {"Later", "Download"}},
        {{}, "https://plenhall.com/n", "http://plenhall.com/d", {}},
        {{}, "", "file:///bin/sh", {}},
        {{}, "", "mailto:a@plenhall.com", {}},
        {{}, "", "https:plenhall.com/d", {}},
        {loopback,
         "http://127.0.0.1/n",
         "http://localhost/d",
         {"Release Notes", "Later", "Download"}},
        {loopback, "", "smb://share/p", {}},
    };
    for (const auto& c : cases) {
        make(UpdateSchedule::onRequestOnly, c.feed);
        desktop.dialogs.freeAlerts.clear();
        updater->checkForUpdates();
        desktop.http.answer(feedOf({{"50", "1.5", c.notes, c.download}}));
        ASSERT_EQ(desktop.dialogs.freeAlerts.size(), 1u) << c.download;
        if (c.buttons.empty()) {
            EXPECT_EQ(shown().informativeText,
                      "The update feed has no secure download link for its new version.")
                << c.download;
            continue;
        }
        EXPECT_EQ(shown().buttons, c.buttons) << c.download;
        EXPECT_EQ(shown().defaultButton, c.buttons.size() - 1) << c.download;
        // Every button in turn, and closing unanswered.
        desktop.dialogs.freeAlerts.back().completion(std::nullopt);
        for (std::size_t button = 0; button < 4; ++button)
            desktop.dialogs.freeAlerts.back().completion(button);
    }
    EXPECT_THAT(
        desktop.workspace.opened,
        ElementsAre("https://plenhall.com/n", "https://plenhall.com/d", "https://plenhall.com/d",
                    "https://plenhall.com/d", "http://127.0.0.1/n", "http://localhost/d"));
}

// The client follows no redirect; the updater follows a few, on https, within the one deadline.
TEST_F(Updates, RedirectsAreFollowedOnlyOnHttpsAndWithinOneDeadline) {
    make(UpdateSchedule::onRequestOnly);
    updater->checkForUpdates();
    desktop.http.answer(HttpRedirect{"https://cdn.example.net/feed.xml"});
    ASSERT_EQ(desktop.http.sent.size(), 2u);
    EXPECT_EQ(desktop.http.sent[1].url, "https://cdn.example.net/feed.xml");
    EXPECT_EQ(desktop.http.sent[1].userAgent, "PlenhallDesktop/1.4.2");
    desktop.http.answer(kNewer);
    EXPECT_EQ(shown().messageText, "Plenhall 1.5 is available.");

    auto failedWith = [this](const std::string& reason) {
        EXPECT_EQ(desktop.http.waiting(), 0u) << reason;
        EXPECT_EQ(shown().informativeText,
                  "Check your internet connection, then try again (" + reason + ").");
    };
    updater->checkForUpdates();
    for (int hop = 0; hop <= Updater::kMaxRedirects; ++hop)
        desktop.http.answer(HttpRedirect{"https://plenhall.com/appcast.xml"});
    failedWith("the update server redirected too many times");

    updater->checkForUpdates();
    desktop.clock.advance(40);
    desktop.http.answer(HttpRedirect{"https://cdn.example.net/feed.xml"});
    desktop.clock.advance(20);
    failedWith("the update server did not answer in time");
    EXPECT_EQ(desktop.mainQueue.pendingTimers(), 0u);
}

TEST_F(Updates, ACheckInFlightAnswersTheUserToo) {
    make();
    desktop.clock.advance(10);
    updater->checkForUpdates();
    updater->checkForUpdates();
    EXPECT_EQ(desktop.http.sent.size(), 1u);
    desktop.http.answer(kSame);
    ASSERT_EQ(desktop.dialogs.freeAlerts.size(), 1u);
    EXPECT_EQ(shown().messageText, "You're up to date.");
    updater->checkForUpdates();  // a new request once the last one is answered
    EXPECT_EQ(desktop.http.sent.size(), 2u);
}

TEST_F(Updates, DestroyingTheUpdaterCancelsButLeavesAnOfferWorking) {
    make();
    desktop.clock.advance(10);
    desktop.http.answer(kNewer);
    updater->checkForUpdates();
    EXPECT_EQ(desktop.http.waiting(), 1u);
    updater.reset();
    EXPECT_EQ(desktop.http.waiting(), 0u);
    EXPECT_EQ(desktop.mainQueue.pendingTimers(), 0u);
    desktop.dialogs.answerFreeAlert(AlertAnswer(2));  // "Download"
    EXPECT_THAT(desktop.workspace.opened, ElementsAre("https://plenhall.com/download"));
}

}  // namespace
}  // namespace plenhall::testing
