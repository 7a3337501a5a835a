#include "platform/gtk/updater.h"

#include <gtk/gtk.h>

namespace plenhall::gtk {

// One request in flight. Callbacks reach the updater through it only while the updater still
// wants the answer.
struct FeedUpdater::Check {
    explicit Check(FeedUpdater* owner) : owner(owner) {}
    FeedUpdater* owner;
    GObjectPtr<GCancellable> cancellable = adopt(g_cancellable_new());
    GObjectPtr<SoupMessage> message;
    GObjectPtr<GInputStream> stream;
    std::string body;
};

namespace {

constexpr gsize kReadChunk = 64 * 1024;

bool isLoopback(const char* host) {
    return host && (g_strcmp0(host, "127.0.0.1") == 0 || g_strcmp0(host, "localhost") == 0 ||
                    g_strcmp0(host, "::1") == 0);
}

// The feed decides what the program offers to install: it must come over an authenticated
// connection (plain http only on this machine, for tests and local mirrors).
std::optional<std::string> feedProblem(const std::string& feed) {
    GUri* uri = g_uri_parse(feed.c_str(), G_URI_FLAGS_NONE, nullptr);
    if (!uri) return "the update feed address is not a valid URL";
    const char* scheme = g_uri_get_scheme(uri);
    const bool secure = g_strcmp0(scheme, "https") == 0 ||
                        (g_strcmp0(scheme, "http") == 0 && isLoopback(g_uri_get_host(uri)));
    g_uri_unref(uri);
    if (!secure) return "the update feed must be an https address";
    return std::nullopt;
}

bool isWebLink(const std::string& url) {
    return url.rfind("https://", 0) == 0 || url.rfind("http://", 0) == 0;
}

GtkWidget* messageDialog(const std::string& primary, const std::string& secondary,
                         const char* role) {
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GtkDialogFlags(0), GTK_MESSAGE_INFO,
                                               GTK_BUTTONS_NONE, "%s", primary.c_str());
    if (!secondary.empty()) {
        gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                                 secondary.c_str());
    }
    gtk_window_set_title(GTK_WINDOW(dialog), "Plenhall");
    gtk_window_set_role(GTK_WINDOW(dialog), role);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    return dialog;
}

}  // namespace

FeedUpdater::FeedUpdater(UpdaterSettings settings, bool startingUpdater, UserDriverDelegate& driver,
                         Workspace& workspace, Log& log)
    : settings_(std::move(settings)), driver_(driver), workspace_(workspace), log_(log) {
    std::string agent = "PlenhallDesktop/" + settings_.currentShortVersion;
    session_ = adopt(soup_session_new_with_options("timeout", 30u, "idle-timeout", 30u,
                                                   "user-agent", agent.c_str(), nullptr));
    if (startingUpdater && !settings_.feed.empty()) schedule(kFirstCheckSeconds);
}

FeedUpdater::~FeedUpdater() {
    if (check_) {
        check_->owner = nullptr;
        g_cancellable_cancel(check_->cancellable.get());
    }
}

void FeedUpdater::schedule(unsigned seconds) {
    scheduled_ = SourceId(g_timeout_add_seconds(
        seconds,
        [](gpointer data) -> gboolean {
            auto* self = static_cast<FeedUpdater*>(data);
            self->scheduled_.release();
            self->start(Origin::scheduled);
            self->schedule(kCheckIntervalSeconds);
            return G_SOURCE_REMOVE;
        },
        this));
}

void FeedUpdater::checkForUpdates() {
    if (settings_.feed.empty()) {
        showMessage("Updates for Plenhall come from your system's package manager.",
                    "Use your software centre or package manager to keep it up to date.");
        return;
    }
    start(Origin::user);
}

void FeedUpdater::start(Origin origin) {
    if (origin == Origin::user) userWaiting_ = true;
    if (check_) return;  // the check in flight answers this request too
    if (auto problem = feedProblem(settings_.feed)) {
        fail(*problem);
        return;
    }
    check_ = std::make_shared<Check>(this);
    check_->message = adopt(soup_message_new("GET", settings_.feed.c_str()));
    if (!check_->message) {
        fail("the update feed address is not a valid URL");
        return;
    }
    deadline_ = SourceId(g_timeout_add_seconds(
        kDeadlineSeconds,
        [](gpointer data) -> gboolean {
            auto* self = static_cast<FeedUpdater*>(data);
            self->deadline_.release();
            self->fail("the update server did not answer in time");
            return G_SOURCE_REMOVE;
        },
        this));
    // The callbacks hold the check, never the updater.
    auto* pending = new std::shared_ptr<Check>(check_);
    soup_session_send_async(session_.get(), check_->message.get(), G_PRIORITY_DEFAULT,
                            check_->cancellable.get(), onSent, pending);
}

void FeedUpdater::onSent(GObject* source, GAsyncResult* result, gpointer data) {
    auto* pending = static_cast<std::shared_ptr<Check>*>(data);
    std::shared_ptr<Check> check = *pending;
    GErrorHolder error;
    auto stream = adopt(soup_session_send_finish(SOUP_SESSION(source), result, error.out()));
    FeedUpdater* self = check->owner;
    if (!self || self->check_ != check) {
        delete pending;
        return;
    }
    if (!stream) {
        delete pending;
        self->fail(error.message());
        return;
    }
    guint status = soup_message_get_status(check->message.get());
    if (status != SOUP_STATUS_OK) {
        delete pending;
        self->fail("the update server answered " + std::to_string(status) + " " +
                   (soup_message_get_reason_phrase(check->message.get()) ?: ""));
        return;
    }
    check->stream = std::move(stream);
    g_input_stream_read_bytes_async(check->stream.get(), kReadChunk, G_PRIORITY_DEFAULT,
                                    check->cancellable.get(), onRead, pending);
}

void FeedUpdater::onRead(GObject* source, GAsyncResult* result, gpointer data) {
    auto* pending = static_cast<std::shared_ptr<Check>*>(data);
    std::shared_ptr<Check> check = *pending;
    GErrorHolder error;
    GBytes* bytes = g_input_stream_read_bytes_finish(G_INPUT_STREAM(source), result, error.out());
    FeedUpdater* self = check->owner;
    if (!self || self->check_ != check) {
        if (bytes) g_bytes_unref(bytes);
        delete pending;
        return;
    }
    if (!bytes) {
        delete pending;
        self->fail(error.message());
        return;
    }
    gsize size = 0;
    const auto* chunk = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    if (size > 0) check->body.append(chunk, size);
    g_bytes_unref(bytes);
    if (check->body.size() > kMaxFeedBytes) {
        delete pending;
        self->fail("the update feed is larger than any feed should be");
        return;
    }
    if (size > 0) {
        g_input_stream_read_bytes_async(check->stream.get(), kReadChunk, G_PRIORITY_DEFAULT,
                                        check->cancellable.get(), onRead, pending);
        return;
    }
    delete pending;
    self->finish(parseAppcast(check->body));
}

void FeedUpdater::finish(const AppcastResult& result) {
    deadline_.remove();
    check_.reset();
    const bool user = std::exchange(userWaiting_, false);
    if (const auto* error = std::get_if<AppcastError>(&result)) {
        if (user) {
            showMessage("Plenhall couldn't check for updates.",
                        "The update feed is unreadable: " + error->reason + ".");
        } else {
            log_.line("PlenhallDesktop: update check failed: the update feed is unreadable: " +
                      error->reason);
        }
        return;
    }
    auto update =
        newestUpdate(std::get<std::vector<AppcastItem>>(result), settings_.currentVersion);
    if (update) {
        showUpdate(*update);
    } else if (user) {
        showMessage("You're up to date.", "Plenhall " + settings_.currentShortVersion +
                                              " is the newest version available.");
    }
}

void FeedUpdater::fail(const std::string& reason) {
    deadline_.remove();
    if (check_) {
        check_->owner = nullptr;
        g_cancellable_cancel(check_->cancellable.get());
        check_.reset();
    }
    if (std::exchange(userWaiting_, false)) {
        showMessage("Plenhall couldn't check for updates.",
                    "Check your internet connection, then try again (" + reason + ").");
    } else {
        log_.line("PlenhallDesktop: update check failed: " + reason);
    }
}

void FeedUpdater::showUpdate(const AppcastItem& item) {
    // The calendar floats above everything; the controller puts it away first.
    driver_.standardUserDriverWillHandleShowingUpdate();
    GtkWidget* dialog = messageDialog("Plenhall " + item.shortVersion + " is available.",
                                      "You have " + settings_.currentShortVersion +
                                          ". Get the new version from its "
                                          "download page.",
                                      "update");
    constexpr int kDownload = 1;
    constexpr int kNotes = 2;
    if (isWebLink(item.releaseNotesLink))
        gtk_dialog_add_button(GTK_DIALOG(dialog), "Release Notes", kNotes);
    gtk_dialog_add_button(GTK_DIALOG(dialog), "Later", GTK_RESPONSE_CLOSE);
    if (isWebLink(item.downloadLink))
        gtk_dialog_add_button(GTK_DIALOG(dialog), "Download", kDownload);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog),
                                    isWebLink(item.downloadLink) ? kDownload : GTK_RESPONSE_CLOSE);

    struct Links {
        Workspace& workspace;
        std::string download;
        std::string notes;
    };
    auto* links = new Links{workspace_, item.downloadLink, item.releaseNotesLink};
    g_object_set_data_full(G_OBJECT(dialog), "plenhall-links", links,
                           [](gpointer data) { delete static_cast<Links*>(data); });
    g_signal_connect(dialog, "response",
                     G_CALLBACK(+[](GtkDialog* self, int response, gpointer data) {
                         auto* links = static_cast<Links*>(data);
                         // Feed links are only ever web pages for the browser.
                         if (response == kDownload && isWebLink(links->download))
                             links->workspace.openURL(links->download);
                         if (response == kNotes && isWebLink(links->notes))
                             links->workspace.openURL(links->notes);
                         gtk_widget_destroy(GTK_WIDGET(self));
                     }),
                     links);
    gtk_window_present(GTK_WINDOW(dialog));
}

void FeedUpdater::showMessage(const std::string& primary, const std::string& secondary) {
    GtkWidget* dialog = messageDialog(primary, secondary, "update-status");
    gtk_dialog_add_button(GTK_DIALOG(dialog), "OK", GTK_RESPONSE_OK);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    g_signal_connect(dialog, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
    gtk_window_present(GTK_WINDOW(dialog));
}

}  // namespace plenhall::gtk
