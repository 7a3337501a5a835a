// Small process-wide services of the desktop: the main queue, the clock, the log and the build's
// information dictionary.
//
// Thread: everything here is used on the main thread only. Ownership: the composition root owns
// the implementations for the life of the process; the core holds references.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace plenhall {

// The main dispatch queue: work posted here runs later on the main thread, in the order posted,
// after the current event has been handled.
class MainQueue {
  public:
    // Work waiting for its time; destroying the handle before then means it never runs.
    class Timer {
      public:
        virtual ~Timer() = default;
    };

    virtual ~MainQueue() = default;
    virtual void async(std::function<void()> work) = 0;
    // Runs `work` once on the main thread after `delay` of steady time (a wall clock set back or
    // forward does not move it).
    [[nodiscard]] virtual std::unique_ptr<Timer> asyncAfter(std::chrono::milliseconds delay,
                                                            std::function<void()> work) = 0;
};

// Wall-clock time. It may jump backwards (the user or NTP sets the clock).
class Clock {
  public:
    using TimePoint = std::chrono::system_clock::time_point;
    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
};

// One plain-text line per operational failure. The line is written as given, never used as a
// format pattern.
class Log {
  public:
    virtual ~Log() = default;
    virtual void line(std::string_view text) = 0;
};

// What the build says about itself; a field the build does not set is empty.
struct BuildInfo {
    std::string version;        // the version people read, e.g. "1.4.2"
    std::string build;          // the build number, compared with the update feed's versions
    std::string updateFeedURL;  // the appcast; empty when updates come from the package manager
};

// The user's language for the program's fixed texts. Each text is keyed by its English wording;
// a text built from parts is keyed by its English format, whose %s (or %1$s, %2$s where a
// language orders the parts differently) stand for the parts.
class Localization {
  public:
    virtual ~Localization() = default;
    // `english` in the user's language; `english` itself where no translation is known.
    virtual std::string translate(const char* english) const = 0;
};

// The desktop's URL opener: hands a URL to the user's default handler for its scheme.
class Workspace {
  public:
    virtual ~Workspace() = default;
    // True when a handler was started; callers that only fire and forget may ignore it.
    virtual bool openURL(const std::string& url) = 0;
};

}  // namespace plenhall
