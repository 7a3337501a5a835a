// GNOME running the shortcut where it binds none for programs: our entry among the user's own,
// written on the user's click, rewritten by recording, refused where GNOME uses the keys, removed.
#include "support/app_fixture.h"

namespace plenhall::testing {
namespace {

using Paths = std::vector<std::string>;
const std::string kOurs = kGnomeEntryPath;
const Shortcut kK{40, 0x300, "K"};

TEST(GnomeAccelerators, SpellingsAndQuoting) {
    // clang-format off
    const std::tuple<const char*, bool> spellings[] = {
        {"<Primary><Mod1><Mod4>C", true}, {"<ctrl><alt><super>c", true}, {"<Control><Super>c", false},
        {"<Shft><Control><Alt><Super>c", false}, {"<Control><Alt><Hyper>c", false},
        {"<Control><Alt><Super>d", false}, {"<Control><Alt><Super>", false},
        {"<Control><Alt><Super", false}, {"", false}};
    // clang-format on
    for (const auto& [other, same] : spellings)
        EXPECT_EQ(sameAccelerator("<Control><Alt><Super>c", other), same) << other;
    const std::pair<const char*, const char*> words[] = {
        {"/usr/bin/plenhall-desktop", "/usr/bin/plenhall-desktop"},
        {"/opt/Plenhall Desktop/x", "'/opt/Plenhall Desktop/x'"},
        {"/home/o'neil/$HOME", "'/home/o'\\''neil/$HOME'"},
        {"", "''"}};
    for (const auto& [word, quoted] : words) EXPECT_EQ(shellQuoted(word), quoted);
}

class Gnome : public AppFixture {
  public:
    void SetUp() override {
        desktop.gnome.offered = true;
        desktop.gnome.paths = {"/custom0/"};
        desktop.gnome.entries["/custom0/"] = {"Terminal", "gnome-terminal", "<Super>t"};
        desktop.gnome.bound = {{"<Shift><Mod4>K", "Move window"}};
        portal(false);
        relaunch();
    }
    // Without a shortcut portal every registration is unsupported.
    void portal(bool there) {
        desktop.hotKeys.refusal = {HotKeyError::Reason::unsupported};
        desktop.hotKeys.taken = {defaultShortcut().keys(), kK.keys()};
        if (there) desktop.hotKeys.taken.clear();
    }
    void relaunch() {
        app.reset();
        launch();
        menu(MenuAction::openSettings);
    }
    bool shown(const char* id) {
        desktop.mainQueue.drain();
        return findNode(settingsWindow().shown, id) != nullptr;
    }
};

TEST_F(Gnome, TheClickAddsOurEntryOnceAfterTheUsersOwnAndRecordingRewritesIt) {
    desktop.gnome.entries["/custom0/"].binding = "<Primary><Alt><Super>C";  // the user's own
    settingsNode("gnome-set-up").action();
    EXPECT_EQ(settingsNode("message").text, gnomeRefusalMessage(defaultShortcut(), "Terminal"));
    EXPECT_EQ(desktop.gnome.paths, Paths{"/custom0/"});
    desktop.gnome.entries["/custom0/"].binding = "<Super>t";
    settingsNode("gnome-set-up").action();
    EXPECT_EQ(desktop.gnome.paths, (Paths{"/custom0/", kOurs}));
    EXPECT_EQ(settingsNode("message").color, TextColor::secondary);  // bound, as by a portal

    relaunch();  // found again by its path
    EXPECT_EQ(settingsNode("message").color, TextColor::secondary);
    settingsNode("shortcut").action();
    for (bool moveWindowBound : {true, false}) {
        if (!moveWindowBound) desktop.gnome.bound.clear();
        desktop.keyMonitor.keyDown(KeyEvent{45, Modifier::shift | Modifier::super, "k", "k"});
        EXPECT_EQ(recording(), moveWindowBound);
        EXPECT_EQ(desktop.gnome.entries.at(kOurs).binding,
                  moveWindowBound ? "<Control><Alt><Super>c" : "<Shift><Super>k");
    }
    EXPECT_EQ(prefs->shortcut(), kK);
    EXPECT_EQ(desktop.gnome.paths, (Paths{"/custom0/", kOurs}));
}

TEST_F(Gnome, RemovedByTheUserOrOnceTheDesktopBindsTheShortcutItself) {
    for (bool byTheUser : {true, false}) {
        settingsNode("gnome-set-up").action();
        if (byTheUser) settingsNode("gnome-remove").action();
        EXPECT_EQ(shown("gnome-set-up"), byTheUser);  // the window follows at once
        portal(!byTheUser);                           // GNOME 48 after an upgrade
        relaunch();
        EXPECT_EQ(desktop.gnome.paths, Paths{"/custom0/"});
        EXPECT_FALSE(desktop.gnome.entries.contains(kOurs));
        EXPECT_EQ(shown("gnome-set-up"), byTheUser);
    }
}

}  // namespace
}  // namespace plenhall::testing
