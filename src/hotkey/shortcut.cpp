#include "hotkey/shortcut.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <utility>

#include "hotkey/key_positions.h"
#include "text/localized.h"

namespace plenhall {
namespace {

constexpr std::uint32_t kShortcutModifierMask = Modifier::control | Modifier::alt | Modifier::super;

std::optional<std::uint32_t> wholeUInt32(const nlohmann::json& value) {
    if (value.is_number_unsigned()) {
        auto v = value.get<std::uint64_t>();
        if (v > 0xFFFFFFFFull) return std::nullopt;
        return static_cast<std::uint32_t>(v);
    }
    if (value.is_number_integer()) {
        auto v = value.get<std::int64_t>();
        if (v < 0 || v > 0xFFFFFFFFll) return std::nullopt;
        return static_cast<std::uint32_t>(v);
    }
    if (value.is_number_float()) {
        // 8.0 and 8e0 are whole numbers; 8.5, -1.0, 4294967296.0 and non-finite values are not.
        double v = value.get<double>();
        if (!std::isfinite(v) || v != std::floor(v) || v < 0 || v > 4294967295.0)
            return std::nullopt;
        return static_cast<std::uint32_t>(v);
    }
    return std::nullopt;
}

}  // namespace

const std::vector<NamedKey>& namedKeys() {
    static const std::vector<NamedKey> table = {
        // Translators: names of keys in shortcuts, as GTK's keyboard labels write them.
        {49, "Space", trKey("Space")},
        {36, "\u21A9", trKey("Return")},
        {48, "\u21E5", trKey("Tab")},
        {51, "\u232B", trKey("BackSpace")},
        {117, "\u2326", trKey("Delete")},
        {123, "\u2190", trKey("Left")},
        {124, "\u2192", trKey("Right")},
        {126, "\u2191", trKey("Up")},
        {125, "\u2193", trKey("Down")},
        {115, "\u2196", trKey("Home")},
        {119, "\u2198", trKey("End")},
        {116, "\u21DE", trKey("Page Up")},
        {121, "\u21DF", trKey("Page Down")},
        // clang-format off
        {122, "F1"}, {120, "F2"}, {99, "F3"}, {118, "F4"}, {96, "F5"}, {97, "F6"}, {98, "F7"},
        {100, "F8"}, {101, "F9"}, {109, "F10"}, {103, "F11"}, {111, "F12"},
        // clang-format on
    };
    return table;
}

std::string uppercased(std::string_view text) {
    auto unicode = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
    unicode.toUpper(icu::Locale::getRoot());
    std::string result;
    unicode.toUTF8String(result);
    return result;
}

std::optional<Shortcut> Shortcut::fromEvent(const KeyEvent& event) {
    if ((event.modifiers & kShortcutModifierMask) == 0) return std::nullopt;

    Shortcut shortcut;
    shortcut.carbonModifiers = storedModifiersOf(event.modifiers);
    shortcut.keyCode = storedKeyCodeOf(event.keycode);

    for (const auto& named : namedKeys()) {
        if (named.keyCode == shortcut.keyCode) {
            shortcut.keyLabel = std::string(named.label);
            return shortcut;
        }
    }
    const std::optional<std::string>& text =
        event.plainText ? event.plainText : event.textIgnoringModifiers;
    shortcut.keyLabel = text ? uppercased(*text) : "?";
    return shortcut;
}

std::optional<Shortcut> Shortcut::fromJSON(std::string_view bytes) {
    auto json =
        nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, /*allow_exceptions=*/false);
    if (!json.is_object()) return std::nullopt;
    auto keyCode = json.find("keyCode");
    auto modifiers = json.find("carbonModifiers");
    auto label = json.find("keyLabel");
    if (keyCode == json.end() || modifiers == json.end() || label == json.end())
        return std::nullopt;
    auto code = wholeUInt32(*keyCode);
    auto mods = wholeUInt32(*modifiers);
    if (!code || !mods || !label->is_string()) return std::nullopt;
    return Shortcut{*code, *mods, label->get<std::string>()};
}

std::optional<std::string> Shortcut::toJSON() const {
    nlohmann::ordered_json json;
    json["keyCode"] = keyCode;
    json["carbonModifiers"] = carbonModifiers;
    json["keyLabel"] = keyLabel;
    try {
        return json.dump();
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;  // a label that is not valid UTF-8
    }
}

KeyCombination Shortcut::keys() const {
    return KeyCombination{keycodeOfStored(keyCode), modifiersOfStored(carbonModifiers)};
}

std::string Shortcut::label(std::string (*word)(const char*)) const {
    // GTK's order and words.
    constexpr std::pair<std::uint32_t, const char*> kModifiers[] = {
        // Translators: modifier keys in shortcuts ("Ctrl+Alt+Super+C"), as GTK writes them.
        {StoredModifier::shift, trKey("Shift")},
        {StoredModifier::control, trKey("Ctrl")},
        {StoredModifier::alt, trKey("Alt")},
        {StoredModifier::super, trKey("Super")},
    };
    std::string text;
    for (auto [mask, name] : kModifiers) {
        if (carbonModifiers & mask) text += word(name) + "+";
    }
    for (const auto& named : namedKeys()) {
        if (named.keyCode == keyCode && named.name) return text + word(named.name);
    }
    return text + keyLabel;
}

std::string Shortcut::display() const {
    return label([](const char* english) { return tr(english); });
}

std::string Shortcut::englishDisplay() const {
    return label([](const char* english) { return std::string(english); });
}

}  // namespace plenhall
