// A private D-Bus session bus for backend tests that talk to desktop services, and the processes
// started on it; everything is stopped when it goes.
#pragma once

#include <gio/gio.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "main_loop.h"
#include "platform/gtk/glib_ptr.h"
#include "platform/system.h"

namespace plenhall::gtk::testing {

class RecordingLog : public Log {
  public:
    void line(std::string_view text) override { lines.emplace_back(text); }
    std::vector<std::string> lines;
};

class PrivateBus {
  public:
    // Its configuration has no service directories: nothing is started behind the test's back,
    // so "no service" stays true until the test starts one.
    static inline const std::string kConfigDir = PLENHALL_PORTAL_TEST_DIR;

    PrivateBus() {
        int out = -1;
        if (!spawn({"dbus-daemon", "--nofork", "--print-address=1",
                    "--config-file=" + kConfigDir + "/bus.conf"},
                   {}, true, &out))
            return;
        char c = 0;
        while (read(out, &c, 1) == 1 && c != '\n') address += c;
        close(out);
        bus = connect();
    }
    ~PrivateBus() {
        while (!children_.empty()) stop(children_.back());
    }

    bool ready() const { return bus != nullptr; }
    GObjectPtr<GDBusConnection> connect() const {
        return adopt(g_dbus_connection_new_for_address_sync(
            address.c_str(),
            GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                 G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr));
    }

    // `environment` entries are NAME=value; `quiet` sends the child's stderr nowhere.
    GPid spawn(std::vector<std::string> argv, const std::vector<std::string>& environment,
               bool quiet = false, int* out = nullptr) {
        std::vector<char*> args;
        for (auto& arg : argv) args.push_back(arg.data());
        args.push_back(nullptr);
        CPtr<gchar*, g_strfreev> env(g_get_environ());
        for (const auto& entry : environment) {
            const auto eq = entry.find('=');
            env.reset(g_environ_setenv(env.release(), entry.substr(0, eq).c_str(),
                                       entry.substr(eq + 1).c_str(), TRUE));
        }
        GPid pid = 0;
        if (!g_spawn_async_with_pipes(nullptr, args.data(), env.get(),
                                      GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD |
                                                  (quiet ? G_SPAWN_STDERR_TO_DEV_NULL : 0)),
                                      nullptr, nullptr, &pid, nullptr, out, nullptr, nullptr))
            return 0;
        children_.push_back(pid);
        return pid;
    }
    void stop(GPid pid) {
        std::erase(children_, pid);
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }

    bool owned(const std::string& name) const {
        GVariantPtr reply(g_dbus_connection_call_sync(
            bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "NameHasOwner", g_variant_new("(s)", name.c_str()), G_VARIANT_TYPE("(b)"),
            G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr));
        gboolean has = FALSE;
        if (reply) g_variant_get(reply.get(), "(b)", &has);
        return has;
    }

    std::string address;
    GObjectPtr<GDBusConnection> bus;

  private:
    std::vector<GPid> children_;
};

}  // namespace plenhall::gtk::testing
