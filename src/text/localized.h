// The program's fixed texts in the user's language, for every core module that shows one.
//
// The composition root installs the desktop's Localization for the life of the process; until
// then (and in unit tests) texts stay in English. Mark each text where it is written, so the
// extraction script finds it: `tr("Reload")`, `tr("%s is available.", {version})`.
//
// Thread: main thread only.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/system.h"

namespace plenhall {

// `english` in the user's language.
std::string tr(const char* english);

// Marks a text kept in English where it is written and translated with tr() where it is shown.
constexpr const char* trKey(const char* english) {
    return english;
}

// The translation of the format `english` with its %s (or %1$s, %2$s) replaced by `parts`, in
// order. Parts are inserted as given, never read as formats.
std::string tr(const char* english, std::initializer_list<std::string_view> parts);

// `format` with its placeholders replaced by `parts`: %s takes the next part, %N$s the Nth, %%
// is a percent sign. A placeholder without its part becomes nothing; anything else stays as
// written.
std::string fillFormat(std::string_view format, std::initializer_list<std::string_view> parts);

// Makes `localization` the language of every text while it lives; the one before comes back
// after it.
class ScopedLocalization {
  public:
    explicit ScopedLocalization(const Localization& localization);
    ScopedLocalization(const ScopedLocalization&) = delete;
    ScopedLocalization& operator=(const ScopedLocalization&) = delete;
    ~ScopedLocalization();

  private:
    const Localization* previous_;
};

}  // namespace plenhall
