// The global shortcut: recording one from a key press, storing it, and holding it at the desktop.
#include "hotkey/hot_key.h"

#include <gmock/gmock.h>

#include "prefs/prefs.h"
#include "support/fake_platform.h"

namespace plenhall::testing {
namespace {

using ::testing::ElementsAre;
using namespace ModifierFlag;

KeyEvent key(std::uint16_t code, std::uint32_t flags, std::optional<std::string> plain,
             std::optional<std::string> ignoring = std::nullopt) {
    return KeyEvent{code, flags, std::move(plain), std::move(ignoring)};
}

TEST(Shortcut, FromAKeyPressOnlyWithCtrlAltOrSuper) {
    const std::pair<KeyEvent, std::optional<Shortcut>> cases[] = {
        {key(0, command | shift, "a"), Shortcut{0, 0x300, "A"}},
        {key(49, control | option, " "), Shortcut{49, 0x1800, "Space"}},
        {key(96, command | function, "\x10"), Shortcut{96, 0x100, "F5"}},
        {key(14, option, "e", "\u00B4"), Shortcut{14, 0x800, "E"}},
        {key(27, command, "\u00DF"), Shortcut{27, 0x100, "SS"}},
        {key(8, control | capsLock | numericPad, "c"), Shortcut{8, 0x1000, "C"}},
        {key(8, command, std::nullopt, "c"), Shortcut{8, 0x100, "C"}},
        {key(8, command, std::nullopt), Shortcut{8, 0x100, "?"}},
        {key(8, command, "", "c"), Shortcut{8, 0x100, ""}},
        {key(0, shift, "a"), std::nullopt},
        {key(96, 0, "\x10"), std::nullopt},
        {key(0, capsLock | function, "a"), std::nullopt}};
    for (const auto& [event, expected] : cases)
        EXPECT_EQ(Shortcut::fromEvent(event), expected)
            << event.keyCode << " " << event.modifierFlags;
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
