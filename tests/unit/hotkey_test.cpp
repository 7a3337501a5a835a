// The global shortcut: recording one from a key press, storing it, and holding it at the desktop.
#include "hotkey/hot_key.h"

#include <gmock/gmock.h>

#include <set>

#include "hotkey/key_positions.h"
#include "prefs/prefs.h"
#include "support/fake_platform.h"

namespace plenhall::testing {
namespace {

using ::testing::ElementsAre;
using namespace Modifier;
constexpr std::uint32_t numLock = 1u << 4;  // GDK's Mod2: never part of a shortcut

KeyEvent key(std::uint16_t code, std::uint32_t modifiers, std::optional<std::string> plain,
             std::optional<std::string> ignoring = std::nullopt) {
    return KeyEvent{code, modifiers, std::move(plain), std::move(ignoring)};
}

// Keys arrive as XKB keycodes and GDK modifiers, and are kept in the stored form.
TEST(Shortcut, FromAKeyPressOnlyWithCtrlAltOrSuper) {
    const std::pair<KeyEvent, std::optional<Shortcut>> cases[] = {
        {key(38, super | shift, "a"), Shortcut{0, 0x300, "A"}},
        {key(65, control | alt, " "), Shortcut{49, 0x1800, "Space"}},
        {key(71, super, "\x10"), Shortcut{96, 0x100, "F5"}},
        {key(26, alt, "e", "\u00B4"), Shortcut{14, 0x800, "E"}},
        {key(20, super, "\u00DF"), Shortcut{27, 0x100, "SS"}},
        {key(54, control | capsLock | numLock, "c"), Shortcut{8, 0x1000, "C"}},
        {key(54, super, std::nullopt, "c"), Shortcut{8, 0x100, "C"}},
        {key(54, super, std::nullopt), Shortcut{8, 0x100, "?"}},
        {key(54, super, "", "c"), Shortcut{8, 0x100, ""}},
        {key(250, super, "x"), Shortcut{0x8000 + 250, 0x100, "X"}},  // a key the table lacks
        {key(38, shift, "a"), std::nullopt},
        {key(71, 0, "\x10"), std::nullopt},
        {key(38, capsLock | numLock, "a"), std::nullopt}};
    for (const auto& [event, expected] : cases)
        EXPECT_EQ(Shortcut::fromEvent(event), expected) << event.keycode << " " << event.modifiers;
}

// The keyboard table is one-to-one: every stored key has its own place, and back.
TEST(Shortcut, EveryStoredKeyHasItsOwnPlaceOnTheKeyboard) {
    std::set<std::uint16_t> places;
    for (std::uint32_t code = 0; code < 128; ++code) {
        const std::uint16_t keycode = keycodeOfStored(code);
        if (keycode == 0) continue;
        EXPECT_TRUE(places.insert(keycode).second) << code;
        EXPECT_EQ(storedKeyCodeOf(keycode), code);
    }
    EXPECT_EQ(places.size(), 118u);
    for (const auto& named : namedKeys()) EXPECT_NE(keycodeOfStored(named.keyCode), 0);
}

// Where a stored shortcut is on the keyboard, for the desktop's grab.
TEST(Shortcut, StoredKeysAreFoundOnTheKeyboard) {
    const std::pair<Shortcut, KeyCombination> cases[] = {
        {defaultShortcut(), {54, control | alt | super}},
        {Shortcut{40, 0x300, "K"}, {45, shift | super}},
        {Shortcut{122, 0x1000, "F1"}, {67, control}},
        {Shortcut{0x8000 + 250, 0x100, "X"}, {250, super}},
        {Shortcut{0x8000 + 3, 0x100, "X"}, {0, super}},  // below the first keycode: no such key
        {Shortcut{200, 0x1, "X"}, {0, 0}}};              // no key, no modifier there
    for (const auto& [shortcut, keys] : cases) EXPECT_EQ(shortcut.keys(), keys) << shortcut.keyCode;
}

// The stored form: what earlier versions wrote must read back, and nothing else.
TEST(Shortcut, StoredAsACompactObject) {
    const std::pair<const char*, std::optional<Shortcut>> cases[] = {
        {R"({"keyCode":8,"carbonModifiers":6400,"keyLabel":"C"})", Shortcut{8, 6400, "C"}},
        {R"({"keyLabel":"C","carbonModifiers":6400,"keyCode":8,"x":[1]})", Shortcut{8, 6400, "C"}},
        {R"({"keyCode":4294967295,"carbonModifiers":0,"keyLabel":""})", Shortcut{~0u, 0, ""}},
        {R"({"keyCode":8.0,"carbonModifiers":64e2,"keyLabel":"C"})", Shortcut{8, 6400, "C"}},
        {R"({"keyCode":0.0,"carbonModifiers":4294967295.0,"keyLabel":"C"})", Shortcut{0, ~0u, "C"}},
        {R"({"keyCode":8,"carbonModifiers":6400})", std::nullopt},
        {R"({"carbonModifiers":6400,"keyLabel":"C"})", std::nullopt},
        {R"({"keyCode":8,"keyLabel":"C"})", std::nullopt},
        {R"({"keyCode":"8","carbonModifiers":6400,"keyLabel":"C"})", std::nullopt},
        {R"({"keyCode":8,"carbonModifiers":6400,"keyLabel":67})", std::nullopt},
        {R"({"keyCode":8,"carbonModifiers":true,"keyLabel":"C"})", std::nullopt},
        {R"({"keyCode":8.5,"carbonModifiers":6400,"keyLabel":"C"})", std::nullopt},
        {R"({"keyCode":-1,"carbonModifiers":6400,"keyLabel":"C"})", std::nullopt},
        {R"({"keyCode":-1.0,"carbonModifiers":6400,"keyLabel":"C"})", std::nullopt},
        {R"({"keyCode":4294967296,"carbonModifiers":6400,"keyLabel":"C"})", std::nullopt},
        {R"({"keyCode":8,"carbonModifiers":1e300,"keyLabel":"C"})", std::nullopt},
        {"{\"keyCode\":8,\"carbonModifiers\":6400,\"keyLabel\":\"\xff\"}", std::nullopt},
        {R"({"keyCode":8,"carbonModifiers":6400,"keyLabel":"C"} trailing)", std::nullopt}};
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(Shortcut::fromJSON(text), expected) << text;
    EXPECT_EQ(defaultShortcut().toJSON(), R"({"keyCode":8,"carbonModifiers":6400,"keyLabel":"C"})");
    const Shortcut odd{4294967295u, 4294967295u, "\"quoted\\"};
    EXPECT_EQ(Shortcut::fromJSON(*odd.toJSON()), odd);
    EXPECT_EQ((Shortcut{8, 0x100, "\xff"}).toJSON(), std::nullopt);
}

}  // namespace
}  // namespace plenhall::testing
