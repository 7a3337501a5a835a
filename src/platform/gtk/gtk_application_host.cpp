#include "platform/gtk/gtk_application_host.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

namespace plenhall::gtk {

struct GtkApplicationHost::Action {
    MenuTarget* target;
    MenuAction action;
    bool targetsController;
    SignalConnection activated;

    void onActivate(GVariant*) {
        if (targetsController) target->performMenuAction(action);
    }
};

namespace {

// Where the running instance keeps the activation token of the launch it is handling.
constexpr const char* kLaunchToken = "plenhall-launch-token";
GApplicationClass* gtkApplicationClass = nullptr;

// A launch that forwards to the running instance hands over its launcher's activation token, so
// the window it asks for is presented with it (a desktop may refuse the focus to a window
// presented without one).
// GTK 3 forwards only DESKTOP_STARTUP_ID, as "desktop-startup-id"; Wayland launchers set
// XDG_ACTIVATION_TOKEN, which goes as "activation-token", the key GTK 4 uses.
void addPlatformData(GApplication* application, GVariantBuilder* builder) {
    gtkApplicationClass->add_platform_data(application, builder);
    const char* token = g_getenv("XDG_ACTIVATION_TOKEN");
    if (token && *token && g_utf8_validate(token, -1, nullptr))
        g_variant_builder_add(builder, "{sv}", "activation-token", g_variant_new_string(token));
}

// Runs before every "open" and "activate", so a token never outlives its launch.
void beforeEmit(GApplication* application, GVariant* platformData) {
    gtkApplicationClass->before_emit(application, platformData);
    const char* token = nullptr;
    if (!g_variant_lookup(platformData, "activation-token", "&s", &token))
        g_variant_lookup(platformData, "desktop-startup-id", "&s", &token);
    g_object_set_data_full(G_OBJECT(application), kLaunchToken, g_strdup(token), g_free);
}

GType applicationType() {
    static const GType type = g_type_register_static_simple(
        GTK_TYPE_APPLICATION, "PlenhallApplication", sizeof(GtkApplicationClass),
        [](gpointer klass, gpointer) {
            gtkApplicationClass = G_APPLICATION_CLASS(g_type_class_peek_parent(klass));
            G_APPLICATION_CLASS(klass)->add_platform_data = addPlatformData;
            G_APPLICATION_CLASS(klass)->before_emit = beforeEmit;
        },
        sizeof(GtkApplication), nullptr, GTypeFlags(0));
    return type;
}

const char* actionName(MenuAction action) {
    switch (action) {
        case MenuAction::toggle:
            return "toggle";
        case MenuAction::reload:
            return "reload";
        case MenuAction::openSettings:
            return "settings";
        case MenuAction::checkForUpdates:
            return "check-for-updates";
        case MenuAction::hideFromMenu:
            return "hide-calendar";
        case MenuAction::terminate:
            return "quit";
        case MenuAction::zoomIn:
            return "zoom-in";
        case MenuAction::zoomOut:
            return "zoom-out";
        case MenuAction::actualSize:
            return "actual-size";
        default:
            return nullptr;
    }
}

// "," → "<Primary>comma"; an upper-case letter adds Shift. The keypad's keys and, for "+", the
// key it shares with "=" on most layouts count too, as in browsers.
std::vector<std::string> accelerators(const std::string& accelerator) {
    if (accelerator.size() != 1) return {};
    char key = accelerator[0];
    GdkModifierType modifiers = GDK_CONTROL_MASK;
    if (g_ascii_isupper(key)) {
        modifiers = GdkModifierType(modifiers | GDK_SHIFT_MASK);
        key = g_ascii_tolower(key);
    }
    std::vector<guint> keys = {gdk_unicode_to_keyval(guchar(key))};
    if (key == '+') keys.insert(keys.end(), {GDK_KEY_equal, GDK_KEY_KP_Add});
    if (key == '-') keys.push_back(GDK_KEY_KP_Subtract);
    if (key == '0') keys.push_back(GDK_KEY_KP_0);
    std::vector<std::string> names;
    for (guint keyval : keys) names.push_back(takeString(gtk_accelerator_name(keyval, modifiers)));
    return names;
}

}  // namespace

GtkApplicationHost::GtkApplicationHost(int argc, char** argv, PageEditingKeys& editingKeys,
                                       Log& log)
    : argc_(argc), argv_(argv), editingKeys_(editingKeys), log_(log) {
    // A session bus address that leads nowhere is as good as none, and goes while the process
    // still has one thread: WebKit hands the address to its sandbox's bus proxy and aborts the
    // program when the proxy cannot reach it.
    const char* bus = g_getenv("DBUS_SESSION_BUS_ADDRESS");
    if (bus && *bus) {
        GErrorHolder error;
        if (!adopt(g_dbus_address_get_stream_sync(bus, nullptr, nullptr, error.out()))) {
            unreachableBus_ = error.message();
            g_unsetenv("DBUS_SESSION_BUS_ADDRESS");
        }
    }
    application_ =
        adopt(GTK_APPLICATION(g_object_new(applicationType(), "application-id", kApplicationId,
                                           "flags", G_APPLICATION_HANDLES_OPEN, nullptr)));
    // The connections go before the host does.
    connections_.push_back(SignalConnection::withInstance<&GtkApplicationHost::onStartup>(
        application_.get(), "startup", this));
    connections_.push_back(SignalConnection::to<&GtkApplicationHost::onActivate>(application_.get(),
                                                                                 "activate", this));
    connections_.push_back(
        SignalConnection::to<&GtkApplicationHost::onOpen>(application_.get(), "open", this));
}

GtkApplicationHost::~GtkApplicationHost() {
    releaseInstanceLock();
}

int GtkApplicationHost::run() {
    // Asked to stop (logout, kill), the program quits like Quit does, so the web engine can write
    // out what it still holds (cookies are stored by another process).
    // The host owns the watches, which go with it.
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        signalWatches_.push_back(ScheduledCall::onUnixSignal(signal, [this] { terminate(); }));
    }
    const int status = g_application_run(G_APPLICATION(application_.get()), argc_, argv_);
    // The bus name is gone now; the lock goes with it, not at the end of the process, so a launch
    // right after this one finds neither.
    releaseInstanceLock();
    return endedEarly_.value_or(status);
}

bool GtkApplicationHost::takeInstanceLock() {
    const std::string directory = g_get_user_runtime_dir();
    g_mkdir_with_parents(directory.c_str(), 0700);
    const std::string path = directory + "/" + kApplicationId + ".lock";
    instanceLock_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (instanceLock_ >= 0 && flock(instanceLock_, LOCK_EX | LOCK_NB) == 0) return true;
    if (instanceLock_ >= 0 && errno == EWOULDBLOCK) {
        releaseInstanceLock();
        return false;
    }
    // Without the lock the bus still finds this instance for launches on it.
    log_.line("PlenhallDesktop: cannot lock " + path + ": " + std::strerror(errno));
    releaseInstanceLock();
    return true;
}

void GtkApplicationHost::releaseInstanceLock() {
    if (instanceLock_ >= 0) close(std::exchange(instanceLock_, -1));
}

void GtkApplicationHost::onStartup(GApplication* application) {
    // Only the first instance of this bus starts up; another may run elsewhere all the same.
    if (!takeInstanceLock()) {
        UnreachableInstance instance;
        if (!g_application_get_dbus_connection(application)) {
            GErrorHolder error;
            auto bus = adopt(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, error.out()));
            if (!bus) instance.noSessionBus = unreachableBus_.value_or(error.message());
        }
        endedEarly_ = delegate_->cannotReachRunningInstance(instance);
        return;
    }
    // The program lives in the status area: no window on screen is no reason to quit.
    g_application_hold(application);
    delegate_->started();
}

void GtkApplicationHost::onActivate() {
    if (std::exchange(launchPending_, false) || endedEarly_) return;
    delegate_->activated(launcherInput());
    gdk_notify_startup_complete();
}

void GtkApplicationHost::onOpen(GFile** files, gint count, const gchar*) {
    launchPending_ = false;
    if (endedEarly_) return;
    std::vector<std::string> urls;
    for (gint i = 0; i < count; ++i) {
        // The URI as given: GIO's scheme accessors lower-case the scheme, and the command test
        // is case-sensitive.
        urls.push_back(takeString(g_file_get_uri(files[i])));
    }
    delegate_->openURLs(urls, launcherInput());
    gdk_notify_startup_complete();
}

UserInput GtkApplicationHost::launcherInput() const {
    const auto* token =
        static_cast<const char*>(g_object_get_data(G_OBJECT(application_.get()), kLaunchToken));
    return UserInput{0, token ? token : ""};
}

void GtkApplicationHost::setMainMenu(const Menu& menu, MenuTarget& target) {
    for (const auto& top : menu.items) {
        if (!top.submenu) continue;
        for (const auto& item : top.submenu->items) addAction(item, target);
    }
}

void GtkApplicationHost::addAction(const MenuItem& item, MenuTarget& target) {
    // The editing items act on the page, and only for keys the page leaves alone: they are the web
    // view's keys, not application accelerators, which would reach the application first.
    const char* name = item.action ? actionName(*item.action) : nullptr;
    if (!name) {
        editingKeys_.add(item);
        return;
    }
    auto action = adopt(g_simple_action_new(name, nullptr));
    auto& entry = *actions_.emplace_back(
        std::make_unique<Action>(Action{&target, *item.action, item.targetsController, {}}));
    // The entry owns the connection that hands it to C.
    entry.activated = SignalConnection::to<&Action::onActivate>(action.get(), "activate", &entry);
    g_action_map_add_action(G_ACTION_MAP(application_.get()), G_ACTION(action.get()));
    const auto names = accelerators(item.accelerator);
    if (!names.empty()) {
        std::vector<const gchar*> accels;
        for (const auto& accel : names) accels.push_back(accel.c_str());
        accels.push_back(nullptr);
        gtk_application_set_accels_for_action(application_.get(),
                                              (std::string("app.") + name).c_str(), accels.data());
    }
}

void GtkApplicationHost::terminate() {
    g_application_quit(G_APPLICATION(application_.get()));
}

}  // namespace plenhall::gtk
