#include "update/updater.h"

#include <utility>

#include "text/localized.h"
#include "text/product_name.h"
#include "web/navigation_policy.h"
#include "web/url.h"

namespace plenhall {
namespace {

constexpr const char* kLogPrefix = "PlenhallDesktop: update check failed: ";

bool isLoopback(std::string_view host) {
    return host == "127.0.0.1" || host == "localhost" || host == "::1";
}

// Feed links are web pages for the browser. An https feed vouches for a link only as far as the
// connection it came over, so its links must be https too; a plain http feed (loopback only) may
// name plain http pages.
bool isOfferableLink(std::string_view link, std::string_view feed) {
    auto scheme = urlScheme(link);
    if (!scheme || !urlHost(link)) return false;
    return *scheme == "https" || (*scheme == "http" && urlScheme(feed) == "http");
}

// Why a check failed: in English for the log, in the user's language for the user.
struct Reason {
    std::string english;
    std::string localized;
};

Reason reason(const char* english, std::initializer_list<std::string_view> parts = {}) {
    return Reason{fillFormat(english, parts), tr(english, parts)};
}

Reason failureReason(const HttpError& error) {
    switch (error.failure) {
        case HttpFailure::invalidAddress:
            return reason(trKey("the update feed address is not a valid URL"));
        case HttpFailure::network:
            return Reason{error.detail, error.detail};
        case HttpFailure::status:
            return reason(trKey("the update server answered %s %s"),
                          {std::to_string(error.status), error.detail});
        case HttpFailure::tooLarge:
            return reason(trKey("the update feed is larger than any feed should be"));
        case HttpFailure::timedOut:
            return reason(trKey("the update server did not answer in time"));
    }
    return Reason{error.detail, error.detail};
}

}  // namespace

FeedVerdict checkFeed(std::string_view feed) {
    auto scheme = urlScheme(feed);
    if (!scheme) return FeedVerdict::invalid;
    if (!isWebScheme(*scheme)) return FeedVerdict::insecure;
    auto host = urlHost(feed);
    if (!host) return FeedVerdict::invalid;
    if (*scheme == "http" && !isLoopback(*host)) return FeedVerdict::insecure;
    return FeedVerdict::allowed;
}

FeedVerdict checkRedirect(std::string_view from, std::string_view to) {
    if (urlScheme(from) == "https" && urlScheme(to) != "https") return FeedVerdict::insecure;
    return checkFeed(to);
}

UpdaterSettings UpdaterSettings::of(const BuildInfo& build) {
    const std::string shortVersion = build.version.empty() ? "0" : build.version;
    return UpdaterSettings{build.updateFeedURL, build.build.empty() ? shortVersion : build.build,
                           shortVersion};
}

Updater::Updater(UpdaterServices services, UpdaterSettings settings, UpdateSchedule mode,
                 std::function<void()> willShowUpdate)
    : services_(services),
      settings_(std::move(settings)),
      willShowUpdate_(std::move(willShowUpdate)) {
    if (mode == UpdateSchedule::automatic && !settings_.feed.empty()) schedule(kFirstCheck);
}

void Updater::schedule(std::chrono::milliseconds delay) {
    // The timer and the request are ours, so `this` outlives their work.
    nextCheck_ = services_.mainQueue.asyncAfter(delay, [this] {
        start(Origin::scheduled);
        schedule(kCheckInterval);
    });
}

void Updater::checkForUpdates() {
    if (settings_.feed.empty()) {
        showMessage(tr("Updates for Plenhall come from your system's package manager."),
                    tr("Use your software centre or package manager to keep it up to date."));
        return;
    }
    start(Origin::user);
}

void Updater::start(Origin origin) {
    if (origin == Origin::user) userWaiting_ = true;
    if (request_) return;  // the check in flight answers this request too
    std::optional<Reason> refused;
    switch (checkFeed(settings_.feed)) {
        case FeedVerdict::invalid:
            refused = reason(trKey("the update feed address is not a valid URL"));
            break;
        case FeedVerdict::insecure:
            refused = reason(trKey("the update feed must be an https address"));
            break;
        case FeedVerdict::allowed:
            break;
    }
    if (refused) {
        fail(refused->english, refused->localized);
        return;
    }
    redirects_ = 0;
    // The timer and the requests are ours, so `this` outlives their work.
    deadline_ = services_.mainQueue.asyncAfter(kDeadline, [this] {
        received(HttpError{HttpFailure::timedOut, 0, ""});
    });
    fetch(settings_.feed);
}

void Updater::fetch(std::string url) {
    url_ = std::move(url);
    request_ =
        services_.http.get(HttpRequest{url_, "PlenhallDesktop/" + settings_.currentShortVersion,
                                       kMaxFeedBytes, kDeadline},
                           [this](HttpResult result) { received(std::move(result)); });
}

void Updater::redirected(const std::string& location) {
    std::optional<Reason> refused;
    if (++redirects_ > kMaxRedirects) {
        refused = reason(trKey("the update server redirected too many times"));
    } else if (checkRedirect(url_, location) != FeedVerdict::allowed) {
        refused = reason(trKey("the update server redirected to an address that is not https"));
    }
    if (!refused) {
        fetch(location);
        return;
    }
    deadline_.reset();
    fail(refused->english, refused->localized);
}

void Updater::received(HttpResult result) {
    request_.reset();
    if (auto* redirect = std::get_if<HttpRedirect>(&result)) {
        redirected(redirect->location);
        return;
    }
    deadline_.reset();
    if (auto* error = std::get_if<HttpError>(&result)) {
        const Reason why = failureReason(*error);
        fail(why.english, why.localized);
        return;
    }
    const bool user = std::exchange(userWaiting_, false);
    auto feed = parseAppcast(std::get<std::string>(result));
    if (auto* error = std::get_if<AppcastError>(&feed)) {
        unusableFeed(user, "the update feed is unreadable: " + error->reason,
                     tr("The update feed is unreadable: %s.", {error->reason}));
        return;
    }
    const auto& items = std::get<std::vector<AppcastItem>>(feed);
    std::vector<AppcastItem> offerable;
    for (const auto& item : items) {
        if (isOfferableLink(item.downloadLink, settings_.feed)) offerable.push_back(item);
    }
    if (auto update = newestUpdate(offerable, settings_.currentVersion)) {
        offer(*update);
    } else if (newestUpdate(items, settings_.currentVersion)) {
        unusableFeed(user, "the update feed has no secure download link for its new version",
                     tr("The update feed has no secure download link for its new version."));
    } else if (user) {
        showMessage(tr("You're up to date."), tr("Plenhall %s is the newest version available.",
                                                 {settings_.currentShortVersion}));
    }
}

void Updater::fail(const std::string& forLog, const std::string& forUser) {
    if (std::exchange(userWaiting_, false)) {
        showMessage(tr("Plenhall couldn't check for updates."),
                    tr("Check your internet connection, then try again (%s).", {forUser}));
    } else {
        services_.log.line(kLogPrefix + forLog);
    }
}

void Updater::unusableFeed(bool user, const std::string& forLog, const std::string& forUser) {
    if (user) {
        showMessage(tr("Plenhall couldn't check for updates."), forUser);
    } else {
        services_.log.line(kLogPrefix + forLog);
    }
}

void Updater::offer(const AppcastItem& item) {
    // The calendar floats above everything; the controller puts it away first.
    if (willShowUpdate_) willShowUpdate_();

    const bool notes = isOfferableLink(item.releaseNotesLink, settings_.feed);
    Alert alert;
    alert.text = tr("Plenhall %s is available.", {item.shortVersion});
    alert.secondaryText = tr("You have %s. Get the new version from its download page.",
                             {settings_.currentShortVersion});
    alert.role = "update";
    alert.title = kProductName;
    if (notes) alert.buttons.push_back(tr("Release Notes"));
    alert.buttons.push_back(tr("Later"));
    alert.buttons.push_back(tr("Download"));
    alert.defaultButton = alert.buttons.size() - 1;
    const AlertAnswer notesAnswer = notes ? AlertAnswer(0) : std::nullopt;
    const AlertAnswer downloadAnswer = alert.defaultButton;
    // The alert may outlive the updater: it holds only the opener, which lives as long as the
    // process.
    services_.dialogs.showAlert(alert, [&workspace = services_.workspace, notesAnswer,
                                        downloadAnswer, notesLink = item.releaseNotesLink,
                                        downloadLink = item.downloadLink](AlertAnswer given) {
        if (!given) return;
        if (given == notesAnswer) workspace.openURL(notesLink);
        if (given == downloadAnswer) workspace.openURL(downloadLink);
    });
}

void Updater::showMessage(const std::string& primary, const std::string& secondary) {
    Alert alert;
    alert.text = primary;
    alert.secondaryText = secondary;
    alert.buttons = {tr("OK")};
    alert.role = "update-status";
    alert.title = kProductName;
    services_.dialogs.showAlert(alert, [](AlertAnswer) {});
}

}  // namespace plenhall
