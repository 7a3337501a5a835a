#include "prefs/preference_file_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "text/utf8.h"

namespace plenhall {
namespace {

// Larger files are not preferences this program wrote.
constexpr std::size_t kMaxFileSize = 4 * 1024 * 1024;
constexpr std::string_view kTemporarySuffix = ".tmp-";

std::string directoryOf(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool makeDirectories(const std::string& directory) {
    struct stat info {};
    if (stat(directory.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
    auto parent = directoryOf(directory);
    if (parent != directory && !makeDirectories(parent)) return false;
    return mkdir(directory.c_str(), 0700) == 0 || errno == EEXIST;
}

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64Encode(std::string_view bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t chunk = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) chunk |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) chunk |= static_cast<unsigned char>(bytes[i + 2]);
        out += kBase64Alphabet[(chunk >> 18) & 63];
        out += kBase64Alphabet[(chunk >> 12) & 63];
        out += i + 1 < bytes.size() ? kBase64Alphabet[(chunk >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kBase64Alphabet[chunk & 63] : '=';
    }
    return out;
}

std::optional<std::string> base64Decode(std::string_view text) {
    std::string out;
    std::uint32_t buffer = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=') break;
        const char* position = std::strchr(kBase64Alphabet, c);
        if (c == '\0' || position == nullptr) return std::nullopt;
        buffer = (buffer << 6) | static_cast<std::uint32_t>(position - kBase64Alphabet);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((buffer >> bits) & 0xFF);
        }
    }
    return out;
}

std::string timestamp() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

// The file at the end of `path`'s chain of symbolic links, which need not exist yet; `path` itself
// when it is no link. A chain longer than the kernel follows is left as it is, and opening it
// fails as a loop.
std::string followLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
        std::string target(PATH_MAX, '\0');
        const ssize_t length = readlink(path.c_str(), target.data(), target.size());
        if (length <= 0 || std::size_t(length) >= target.size()) return path;
        target.resize(std::size_t(length));
        path = target.front() == '/' ? target : directoryOf(path) + "/" + target;
    }
    return path;
}

}  // namespace

PreferenceFileStore::PreferenceFileStore(std::string path, Log& log, MainQueue& queue)
    : path_(std::move(path)), log_(log), queue_(queue) {
    load();
}

PreferenceFileStore::~PreferenceFileStore() {
    synchronize();
}

void PreferenceFileStore::load() {
    removeLeftoverTemporaryFiles();

    int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        // Nothing stored yet, or a link to a file not made yet.
        if (errno == ENOENT || errno == ENOTDIR) return;
        writable_ = false;
        log_.line("PlenhallDesktop: preferences file " + path_ + " could not be read (" +
                  std::strerror(errno) + "); changes will not be saved");
        return;
    }
    std::string contents;
    char buffer[65536];
    bool tooLarge = false;
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        contents.append(buffer, static_cast<std::size_t>(n));
        if (contents.size() > kMaxFileSize) {
            tooLarge = true;
            break;
        }
    }
    close(fd);

    if (tooLarge) {
        moveAside("it is larger than any preferences file");
        return;
    }
    if (contents.find_first_not_of(" \t\r\n") == std::string::npos) return;
    auto parsed = nlohmann::json::parse(contents, nullptr, /*allow_exceptions=*/false);
    if (!parsed.is_object()) {
        moveAside(parsed.is_discarded() ? "it is not valid JSON"
                                        : "it does not hold a JSON object");
        return;
    }
    entries_ = std::move(parsed);
}

void PreferenceFileStore::removeLeftoverTemporaryFiles() const {
    // A crash between creating and renaming a temporary file leaves it behind.
    const std::string file = followLinks(path_);
    const std::string prefix = baseNameOf(file) + std::string(kTemporarySuffix);
    const std::string directory = directoryOf(file);
    DIR* dir = opendir(directory.c_str());
    if (!dir) return;
    while (dirent* item = readdir(dir)) {
        std::string_view name = item->d_name;
        if (name.starts_with(prefix) && name.size() == prefix.size() + 6) {
            unlink((directory + "/" + std::string(name)).c_str());
        }
    }
    closedir(dir);
}

void PreferenceFileStore::moveAside(const std::string& reason) {
    // The file, not a link to it: the link then names the file written next.
    const std::string file = followLinks(path_);
    std::string aside = file + ".unreadable-" + timestamp();
    for (int n = 2; access(aside.c_str(), F_OK) == 0; ++n) {
        aside = file + ".unreadable-" + timestamp() + "-" + std::to_string(n);
    }
    if (rename(file.c_str(), aside.c_str()) == 0) {
        log_.line("PlenhallDesktop: preferences file " + file + " could not be read (" + reason +
                  "); moved it to " + aside + " and started from defaults");
    } else {
        writable_ = false;
        log_.line("PlenhallDesktop: preferences file " + file + " could not be read (" + reason +
                  ") nor moved aside (" + std::strerror(errno) + "); changes will not be saved");
    }
}

const nlohmann::json* PreferenceFileStore::entry(std::string_view key) const {
    auto it = entries_.find(key);
    return it == entries_.end() ? nullptr : &*it;
}

std::optional<std::string> PreferenceFileStore::dataForKey(std::string_view key) const {
    const auto* value = entry(key);
    if (!value || !value->is_object() || value->size() != 1) return std::nullopt;
    if (auto text = value->find("data"); text != value->end() && text->is_string()) {
        return text->get<std::string>();
    }
    if (auto encoded = value->find("base64"); encoded != value->end() && encoded->is_string()) {
        return base64Decode(encoded->get<std::string>());
    }
    return std::nullopt;
}

std::optional<std::string> PreferenceFileStore::stringForKey(std::string_view key) const {
    const auto* value = entry(key);
    if (!value || !value->is_string()) return std::nullopt;
    return value->get<std::string>();
}

bool PreferenceFileStore::boolForKey(std::string_view key) const {
    const auto* value = entry(key);
    return value && value->is_boolean() && value->get<bool>();
}

void PreferenceFileStore::setData(std::string_view key, const std::string& bytes) {
    // Data that is text (the shortcut's JSON) stays readable in the file.
    entries_[std::string(key)] = isWellFormed(bytes)
                                     ? nlohmann::json{{"data", bytes}}
                                     : nlohmann::json{{"base64", base64Encode(bytes)}};
    changed();
}

void PreferenceFileStore::setString(std::string_view key, const std::string& value) {
    entries_[std::string(key)] = value;
    changed();
}

void PreferenceFileStore::setBool(std::string_view key, bool value) {
    entries_[std::string(key)] = value;
    changed();
}

void PreferenceFileStore::changed() {
    // The store owns the timer, so `this` outlives it.
    if (!pendingWrite_)
        pendingWrite_ = queue_.asyncAfter(kPreferenceWriteDelay, [this] { save(); });
}

void PreferenceFileStore::synchronize() {
    if (pendingWrite_) save();
}

void PreferenceFileStore::save() {
    pendingWrite_.reset();
    if (!writable_) return;
    std::string contents =
        entries_.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    auto written = writeAtomically(contents);
    if (written) {
        saveFailing_ = false;
        return;
    }
    if (!saveFailing_) {
        log_.line("PlenhallDesktop: preferences not saved to " + path_ + " (" +
                  written.error().detail + "); they are kept until the program quits");
    }
    saveFailing_ = true;
}

Result<WriteError> PreferenceFileStore::writeAtomically(const std::string& contents) const {
    const std::string file = followLinks(path_);
    const std::string directory = directoryOf(file);
    if (!makeDirectories(directory)) {
        return WriteError{WriteError::Kind::cannotCreateDirectory,
                          "cannot create " + directory + ": " + std::strerror(errno)};
    }
    std::string temporary = file + std::string(kTemporarySuffix) + "XXXXXX";
    int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return WriteError{WriteError::Kind::cannotWrite, std::strerror(errno)};
    // Leaves nothing behind but the old file.
    auto fail = [&](bool open) {
        WriteError error{WriteError::Kind::cannotWrite, std::strerror(errno)};
        if (open) close(fd);
        unlink(temporary.c_str());
        return error;
    };
    if (fchmod(fd, 0600) != 0) return fail(true);
    std::size_t written = 0;
    while (written < contents.size()) {
        ssize_t n = write(fd, contents.data() + written, contents.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return fail(true);
        }
        written += static_cast<std::size_t>(n);
    }
    if (fsync(fd) != 0) return fail(true);
    if (close(fd) != 0) return fail(false);
    if (rename(temporary.c_str(), file.c_str()) != 0) return fail(false);
    // The rename itself survives a power cut only once the directory is on disk too.
    int dirfd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirfd >= 0) {
        fsync(dirfd);
        close(dirfd);
    }
    return {};
}

}  // namespace plenhall
