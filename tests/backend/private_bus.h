// A private D-Bus session bus for backend tests that talk to desktop services, and the processes
// started on it (or any a test needs); everything is stopped when it goes.
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

// Processes a test starts; each is stopped when this goes.
class TestProcesses {
  public:
    TestProcesses() = default;
    TestProcesses(const TestProcesses&) = delete;
    TestProcesses& operator=(const TestProcesses&) = delete;
    ~TestProcesses() {
        while (!children_.empty()) stop(children_.back());
    }

    // `environment` entries are NAME=value; `quiet` sends the child's stderr nowhere; `out`, when
    // given, receives the read end of its stdout.
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
    // The first line `fd` gives, which it then closes.
    static std::string firstLine(int fd) {
        std::string line;
        char c = 0;
        while (read(fd, &c, 1) == 1 && c != '\n') line += c;
        close(fd);
        return line;
    }

  private:
    std::vector<GPid> children_;
};

class PrivateBus : public TestProcesses {
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
        address = firstLine(out);
        bus = connect();
    }

    bool ready() const { return bus != nullptr; }
    GObjectPtr<GDBusConnection> connect() const {
        return adopt(g_dbus_connection_new_for_address_sync(
            address.c_str(),
            GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                 G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr));
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
};

}  // namespace plenhall::gtk::testing
