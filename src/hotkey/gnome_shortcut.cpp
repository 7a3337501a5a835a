#include "hotkey/gnome_shortcut.h"

#include <algorithm>
#include <cctype>
#include <utility>
#include <vector>

#include "text/product_name.h"

namespace plenhall {
namespace {

constexpr std::pair<std::uint32_t, std::string_view> kModifierOrder[] = {
    {Modifier::shift, "<Shift>"},
    {Modifier::control, "<Control>"},
    {Modifier::alt, "<Alt>"},
    {Modifier::super, "<Super>"}};

// Every modifier name GTK's accelerator parser takes, lower-cased. Those we never record get bits
// of their own, so an accelerator with them never equals ours.
// clang-format off
constexpr std::pair<std::string_view, std::uint32_t> kModifierNames[] = {
    {"shift", Modifier::shift}, {"shft", Modifier::shift}, {"control", Modifier::control},
    {"ctrl", Modifier::control}, {"ctl", Modifier::control}, {"primary", Modifier::control},
    {"alt", Modifier::alt}, {"mod1", Modifier::alt}, {"super", Modifier::super},
    {"mod4", Modifier::super}, {"meta", 1u << 27}, {"hyper", 1u << 28}, {"release", 1u << 29},
    {"mod2", 1u << 4}, {"mod3", 1u << 5}, {"mod5", 1u << 7}};
// clang-format on

std::string lowered(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), [](unsigned char c) {
        return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : char(c);
    });
    return result;
}

// The modifiers and the key's name of an accelerator (GTK lower-cases the keysym it binds);
// nothing for text that is none ("", "disabled" is a key without modifiers and matches no
// shortcut of ours).
std::optional<std::pair<std::uint32_t, std::string>> parsed(std::string_view text) {
    std::uint32_t modifiers = 0;
    while (!text.empty() && text.front() == '<') {
        const auto end = text.find('>');
        if (end == std::string_view::npos) return std::nullopt;
        const std::string name = lowered(text.substr(1, end - 1));
        const auto* known = std::find_if(std::begin(kModifierNames), std::end(kModifierNames),
                                         [&](const auto& entry) { return entry.first == name; });
        if (known == std::end(kModifierNames)) return std::nullopt;
        modifiers |= known->second;
        text.remove_prefix(end + 1);
    }
    if (text.empty()) return std::nullopt;
    return std::pair{modifiers, lowered(text)};
}

}  // namespace

std::string gnomeAccelerator(const KeyCombination& keys, std::string_view keysym) {
    if (keysym.empty()) return {};
    std::string result;
    for (const auto& [bit, name] : kModifierOrder)
        if (keys.modifiers & bit) result += name;
    return result + std::string(keysym);
}

bool sameAccelerator(std::string_view a, std::string_view b) {
    const auto first = parsed(a);
    return first && first == parsed(b);
}

std::string shellQuoted(std::string_view word) {
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](unsigned char c) {
        return std::isalnum(c) ||
               std::string_view("/._-+,:=@%").find(char(c)) != std::string_view::npos;
    });
    if (plain) return std::string(word);
    // Inside single quotes nothing is special but the quote itself, which closes, is escaped and
    // opens again.
    std::string result = "'";
    for (char c : word) result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

GnomeShortcut::GnomeShortcut(GnomeKeybindings& gnome, HotKey& hotKey, Log& log)
    : gnome_(gnome),
      hotKey_(hotKey),
      log_(log),
      // Once the desktop binds the shortcut itself (a GNOME with the portal), our entry would
      // bind the keys a second time. The subscription is a member, so `this` outlives it.
      hotKeyChanges_(hotKey.subscribeChanges([this] {
          if (hotKey_.isRegistered() && gnome_.customKeybindingsOffered() && present()) {
              log_.line(
                  "PlenhallDesktop: the desktop binds the shortcut now; removing ours from "
                  "GNOME's custom shortcuts");
              remove();
          }
      })) {}

bool GnomeShortcut::possible() const {
    return hotKey_.refusal() && hotKey_.refusal()->reason == HotKeyError::Reason::unsupported &&
           gnome_.customKeybindingsOffered();
}

bool GnomeShortcut::present() const {
    const auto paths = gnome_.customKeybindings();
    return std::find(paths.begin(), paths.end(), kGnomeEntryPath) != paths.end();
}

std::optional<std::string> GnomeShortcut::usedFor(const std::string& accelerator) const {
    for (const auto& path : gnome_.customKeybindings()) {
        if (path == kGnomeEntryPath) continue;
        const auto entry = gnome_.customKeybinding(path);
        if (entry && sameAccelerator(entry->binding, accelerator))
            return entry->name.empty() ? entry->command : entry->name;
    }
    for (const auto& bound : gnome_.boundAccelerators())
        if (sameAccelerator(bound.accelerator, accelerator)) return bound.usedFor;
    return std::nullopt;
}

std::optional<std::string> GnomeShortcut::write(const Shortcut& shortcut) {
    const auto keys = shortcut.keys();
    const std::string binding = gnomeAccelerator(keys, gnome_.keysymName(keys.keycode));
    if (binding.empty()) return std::string();
    if (auto use = usedFor(binding)) return use;
    // The entry is complete before it is listed: the settings daemon binds what it finds listed.
    gnome_.writeCustomKeybinding(
        kGnomeEntryPath,
        GnomeCustomKeybinding{kProductName, shellQuoted(gnome_.executable()) + " " + kGnomeEntryURL,
                              binding});
    auto paths = gnome_.customKeybindings();
    if (std::find(paths.begin(), paths.end(), kGnomeEntryPath) == paths.end()) {
        paths.push_back(kGnomeEntryPath);
        gnome_.setCustomKeybindings(paths);
    }
    log_.line("PlenhallDesktop: GNOME runs the shortcut " + binding);
    changes_.send();
    return std::nullopt;
}

void GnomeShortcut::remove() {
    auto paths = gnome_.customKeybindings();
    const auto end = std::remove(paths.begin(), paths.end(), kGnomeEntryPath);
    if (end != paths.end()) {
        paths.erase(end, paths.end());
        gnome_.setCustomKeybindings(paths);
    }
    gnome_.resetCustomKeybinding(kGnomeEntryPath);
    changes_.send();
}

}  // namespace plenhall
