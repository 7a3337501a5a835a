#include "platform/gtk/gtk_web_processes.h"

#include <glib.h>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace plenhall::gtk {
namespace {

std::string readFile(const std::string& path) {
    std::string contents;
    if (FILE* file = std::fopen(path.c_str(), "r")) {
        char buffer[4096];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) contents.append(buffer, n);
        std::fclose(file);
    }
    return contents;
}

// Adds the processes below `pid`, down to `depth` levels, to `found`.
void addDescendants(int pid, int depth, std::vector<int>& found) {
    if (depth == 0) return;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    GDir* threads = g_dir_open(tasks.c_str(), 0, nullptr);
    if (!threads) return;
    while (const char* thread = g_dir_read_name(threads)) {
        std::istringstream children(readFile(tasks + "/" + thread + "/children"));
        for (int child = 0; children >> child;) {
            found.push_back(child);
            addDescendants(child, depth - 1, found);
        }
    }
    g_dir_close(threads);
}

// The engine's page processes below this one (the sandbox starts them through bwrap). After a
// crash or a change of site there can be more than one, the page's not always the oldest.
std::vector<int> webProcesses() {
    std::vector<int> descendants;
    addDescendants(getpid(), 4, descendants);
    std::vector<int> pages;
    for (int pid : descendants) {
        if (readFile("/proc/" + std::to_string(pid) + "/comm").rfind("WebKitWebProces", 0) == 0)
            pages.push_back(pid);
    }
    return pages;
}

long residentKilobytes(int pid) {
    std::string status = readFile("/proc/" + std::to_string(pid) + "/status");
    auto at = status.find("VmRSS:");
    return at == std::string::npos ? -1 : std::atol(status.c_str() + at + 6);
}

}  // namespace

std::vector<WebProcessUse> GtkWebProcesses::list() const {
    std::vector<WebProcessUse> processes;
    for (int pid : webProcesses()) {
        const long kilobytes = residentKilobytes(pid);
        if (kilobytes >= 0) processes.push_back({pid, std::uint64_t(kilobytes)});
    }
    return processes;
}

void GtkWebProcesses::end(int pid) {
    kill(pid, SIGKILL);
}

}  // namespace plenhall::gtk
