#include "hotkey/shortcut.h"

#include <gtest/gtest.h>

#include "prefs/prefs.h"

namespace plenhall {
namespace {

KeyEvent key(std::uint16_t code, std::uint32_t flags, std::optional<std::string> plain,
             std::optional<std::string> ignoring = std::nullopt) {
    return KeyEvent{code, flags, std::move(plain), std::move(ignoring)};
}

struct EventCase {
    const char* name;
    KeyEvent event;
    std::optional<Shortcut> expected;
};

TEST(ShortcutFromEvent, BuildsOnlyWithControlOptionOrCommand) {
    using namespace ModifierFlag;
    const EventCase cases[] = {
        {"Command+Shift+A", key(0, command | shift, "a"), Shortcut{0, 0x300, "A"}},
        {"Control+Option+Space", key(49, control | option, " "), Shortcut{49, 0x1800, "Space"}},
        {"Command+F5 named, not typed", key(96, command | function, "\x10"),
         Shortcut{96, 0x100, "F5"}},
        {"Command+Return", key(36, command, "\r"), Shortcut{36, 0x100, "\u21A9"}},
        {"Option+E uses the unmodified character", key(14, option, "e", "\u00B4"),
         Shortcut{14, 0x800, "E"}},
        {"Command+sharp s upper-cases fully", key(27, command, "\u00DF"),
         Shortcut{27, 0x100, "SS"}},
        {"accented letter", key(41, control, "\u00E9"), Shortcut{41, 0x1000, "\u00C9"}},
        {"dotless i in any locale", key(34, control, "i"), Shortcut{34, 0x1000, "I"}},
        {"caps lock and pad flags dropped", key(8, control | capsLock | numericPad, "c"),
         Shortcut{8, 0x1000, "C"}},
        {"falls back to characters ignoring modifiers", key(8, command, std::nullopt, "c"),
         Shortcut{8, 0x100, "C"}},
        {"no text at all gives ?", key(8, command, std::nullopt, std::nullopt),
         Shortcut{8, 0x100, "?"}},
        {"an empty text stays empty", key(8, command, "", "c"), Shortcut{8, 0x100, ""}},
        {"Shift alone", key(0, shift, "a"), std::nullopt},
        {"no modifier", key(0, 0, "a"), std::nullopt},
        {"F5 alone", key(96, 0, "\x10"), std::nullopt},
        {"caps lock alone", key(0, capsLock, "a"), std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Shortcut::fromEvent(c.event), c.expected) << c.name;
    }
}

TEST(ShortcutDisplay, ModifiersInGtksOrderThenTheKey) {
    const std::pair<Shortcut, std::string> cases[] = {
        {defaultShortcut(), "Ctrl+Alt+Super+C"},
        {Shortcut{0, 0x300, "A"}, "Shift+Super+A"},
        {Shortcut{49, 0x1800, "Space"}, "Ctrl+Alt+Space"},
        {Shortcut{8, 0x1B00, "C"}, "Shift+Ctrl+Alt+Super+C"},
        {Shortcut{8, 0x1901, "C"}, "Ctrl+Alt+Super+C"},  // unknown bits are not shown
        {Shortcut{8, 0, "C"}, "C"},
        {Shortcut{116, 0x1000, "\u21DE"}, "Ctrl+Page Up"},  // named keys by name, not label
        {Shortcut{96, 0x100, "F5"}, "Super+F5"},
    };
    for (const auto& [shortcut, text] : cases) EXPECT_EQ(shortcut.display(), text);
}

TEST(ShortcutJSON, ReadsOnlyWhatTheRulesAllow) {
    const std::pair<const char*, std::optional<Shortcut>> cases[] = {
        {R"({"keyCode":8,"carbonModifiers":6400,"keyLabel":"C"})", Shortcut{8, 6400, "C"}},
        {R"({"keyLabel":"C","carbonModifiers":6400,"keyCode":8})", Shortcut{8, 6400, "C"}},
        {R"({"keyCode":8,"carbonModifiers":6400,"keyLabel":"C","extra":[1]})",
         Shortcut{8, 6400, "C"}},
        {R"({"keyCode":4294967295,"carbonModifiers":0,"keyLabel":""})",
         Shortcut{4294967295u, 0, ""}},
        {R"({"keyCode":8.0,"carbonModifiers":64e2,"keyLabel":"C"})", Shortcut{8, 6400, "C"}},
        {R"( {"keyCode":8,"carbonModifiers":6400,"keyLabel":"\u00df"} )",
         Shortcut{8, 6400, "\u00DF"}},
        {R"({"keyCode":8,"carbonModifiers":6400})", std::nullopt},
        {R"({"carbonModifiers":6400,"keyLabel":"C"})", std::nullopt},
        {R"({"keyCode":8,"keyLabel":"C"})", std::nullopt},
        {R"({"keyCode":"8","carbonModifiers":6400,"keyLabel":"C"})", std::nullopt},
        {R"({"keyCode":8,"carbonModifiers":6400,"keyLabel":67})", std::nullopt},
        {R"({"keyCode":null,"carbonModifiers":6400,"keyLabel":"C"})", std::nullopt},
        {R"({"keyCode":8,"carbonModifiers":true,"keyLabel":"C"})", std::nullopt},
        {R"({"keyCode":8.5,"carbonModifiers":6400,"keyLabel":"C"})", std::nullopt},
        {R"({"keyCode":-1,"carbonModifiers":6400,"keyLabel":"C"})", std::nullopt},
        {R"({"keyCode":4294967296,"carbonModifiers":6400,"keyLabel":"C"})", std::nullopt},
        {R"({"keyCode":8,"carbonModifiers":1e300,"keyLabel":"C"})", std::nullopt},
        {R"({"keyCode":18446744073709551616,"carbonModifiers":0,"keyLabel":"C"})", std::nullopt},
        {R"([8,6400,"C"])", std::nullopt},
        {R"("C")", std::nullopt},
        {"", std::nullopt},
        {"{\"keyCode\":8,\"carbonModifiers\":6400,\"keyLabel\":\"\xff\"}", std::nullopt},
        {R"({"keyCode":8,"carbonModifiers":6400,"keyLabel":"C"} trailing)", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(Shortcut::fromJSON(text), expected) << text;
    }
}

TEST(ShortcutJSON, WritesACompactObjectThatReadsBack) {
    EXPECT_EQ(defaultShortcut().toJSON(), R"({"keyCode":8,"carbonModifiers":6400,"keyLabel":"C"})");
    for (const auto& shortcut : {Shortcut{96, 0x100, "F5"}, Shortcut{27, 0x1B00, "SS"},
                                 Shortcut{4294967295u, 4294967295u, "\"quoted\\"}}) {
        auto json = shortcut.toJSON();
        ASSERT_TRUE(json);
        EXPECT_EQ(Shortcut::fromJSON(*json), shortcut);
    }
    EXPECT_EQ((Shortcut{8, 0x100, "\xff"}).toJSON(), std::nullopt);
}

}  // namespace
}  // namespace plenhall
