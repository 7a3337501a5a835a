# The settings window and first-run welcome, in the user's language, at a large text size and as a
# screen reader finds them: recording a shortcut, the display mode, open at login.

import json
import os
import unittest

from harness import DesktopTest, wait_until

# Screen readers listen on the accessibility bus; GTK joins it unless NO_AT_BRIDGE=1. German uses a
# UTF-8 locale every Debian system has.
SCREEN_READER = {"NO_AT_BRIDGE": "0"}
GERMAN = {"LANGUAGE": "de", "LC_ALL": "C.UTF-8", **SCREEN_READER}

# The welcome's controls as a screen reader finds them; the shortcut in the desktop's own words.
WELCOME = {"en": [("label", "Welcome to Plenhall"), ("label", "Shortcut"), ("grouping", "Show the calendar as"),
                  ("push button", "Ctrl+Alt+Super+C"), ("radio button", "Full screen"),
                  ("radio button", "Large window"), ("check box", "Open at login"),
                  ("push button", "Check for Updates\u2026"), ("push button", "Open my calendar")],
           "de": [("push button", "Strg+Alt+Super+C"), ("push button", "Meinen Kalender \u00f6ffnen")]}
# Keys pressed, and the shortcut stored for them: the key's code and modifier mask as the preference
# file has always kept them, and the label of the key on the user's layout.
NEW_SHORTCUT = ("ctrl+shift+super+k", {"keyCode": 40, "carbonModifiers": 0x1000 | 0x200 | 0x100, "keyLabel": "K"})
GERMAN_KEYS = [("ctrl+super+z", {"keyCode": 16, "carbonModifiers": 0x1100, "keyLabel": "Z"}),  # at the US Y
               ("ctrl+super+ssharp", {"keyCode": 27, "carbonModifiers": 0x1100, "keyLabel": "SS"})]


class Settings(DesktopTest):
    def welcome(self, env=None):
        app = self.launch(onboarded=False, start_env=env)
        self.wait_active(app.settings())
        return app, app.settings()

    def start_recording(self, settings):
        # Presses the shortcut button from the keyboard; it starts recording as it handles the key,
        # before the window reads the next one.
        self.wait_active(settings)
        self.desktop.key("Tab")
        self.desktop.key("space")

    def stored(self, app, shortcut):
        wait_until(lambda: json.loads(app.preferences().get("shortcut", {}).get("data", "null")) == shortcut, 5,
                   message=f"{shortcut} stored")

    def says(self, app, language):
        # The welcome's window on the accessibility bus, once there, with each of its controls.
        frame = wait_until(lambda: next((w for w in app.accessibles(role="frame")
                                         if app.accessibles(*WELCOME[language][-1], tree=w)), None), 20,
                           message="the welcome on the accessibility bus")
        for role, name in WELCOME[language]:
            self.assertTrue(app.accessibles(role, name, tree=frame), f"{role} {name!r} in {frame}")
        return frame

    def test_a_taken_then_a_free_shortcut_recorded_as_a_screen_reader_hears_it_replaces_the_old_for_good(self):
        # K with Control, Shift and Super, taken by another program (in its Num Lock variant, so the
        # keys can still be typed into our window here).
        holder, result = self.desktop.helper("grab", "45", str(0x4 | 0x1 | 0x40))
        self.assertEqual(result, "grabbed")
        app, settings = self.welcome(SCREEN_READER)
        frame = self.says(app, "en")
        # The shortcut button says what it does, as the line below it does, and is named by its heading.
        button = app.accessibles("push button", "Ctrl+Alt+Super+C", tree=frame)[0]
        said = "Press it anywhere to open your calendar. Press it again to hide it."
        lines = [s.get("text") for s in app.accessibles("status bar", tree=frame)]
        self.assertEqual((button["description"], button.get("relations", {}).get("labelled-by"), lines),
                         (said, ["Shortcut"], [said]))
        self.assertEqual(sum("checked" in r["states"] for r in app.accessibles("radio button", tree=frame)), 1)
        self.assertEqual([c for c in app.accessibles(tree=frame) if "focusable" in c["states"] and not c["name"]], [])

        def recorder():
            return wait_until(lambda: app.accessibles("push button", "Press new shortcut\u2026"), 10,
                              message="the recorder listening")[0]
        self.start_recording(settings)
        listening = recorder()
        self.assertEqual((listening["description"], "focused" in listening["states"]),
                         ("Listening for a new shortcut. Esc to cancel.", True))
        self.desktop.key(NEW_SHORTCUT[0])
        wait_until(lambda: "unavailable (status" in app.log(), 5, message="the taken combination refused")
        self.assertNotIn("shortcut", app.preferences())
        holder.terminate()
        holder.wait(5)  # its grab goes with its connection
        self.desktop.key(NEW_SHORTCUT[0])  # still recording: the same combination again, now free
        self.stored(app, NEW_SHORTCUT[1])
        wait_until(lambda: app.status_menu()[0][1].endswith("K"), 5, message="the status menu's new title")
        # Escape cancels a new recording; closed after the Escape is handled (a recording still
        # going on would take Ctrl+W as the new shortcut).
        self.desktop.key("space")
        recorder()
        self.desktop.key("Escape")
        self.desktop.key("ctrl+w")
        self.wait_viewable(settings, False)
        calendar = app.calendar()
        self.desktop.press_shortcut()
        self.never(lambda: self.desktop.is_viewable(calendar), "shown by the old shortcut")
        for viewable in (True, False):
            self.desktop.key(NEW_SHORTCUT[0])
            self.wait_viewable(calendar, viewable)
        app.stop()
        again = self.launch(home=app.home)
        self.desktop.key(NEW_SHORTCUT[0])
        self.wait_viewable(again.calendar())
        self.assertFalse(self.desktop.is_viewable(again.settings()))

    def test_in_german_with_a_german_layout(self):
        self.desktop.x("setxkbmap", "de")
        self.addCleanup(self.desktop.x, "setxkbmap", "us")
        app, settings = self.welcome(GERMAN)
        self.says(app, "de")
        self.start_recording(settings)
        for keys, stored in GERMAN_KEYS:
            self.desktop.key(keys)
            self.stored(app, stored)
            self.desktop.key("space")  # the shortcut button still has the focus
        self.desktop.key("Escape")
        self.desktop.key("ctrl+w")
        self.desktop.key(GERMAN_KEYS[-1][0])
        self.wait_viewable(app.calendar())

    def test_the_welcome_grows_with_large_text_opens_the_calendar_and_the_settings_apply_at_once(self):
        app, settings = self.welcome({"GDK_DPI_SCALE": "1.5"})  # what GNOME's large text does, for GTK alone
        # Larger than the 440 × 420 it has at the default font, and all of it on screen.
        _, y, _, height = wait_until(lambda: (g := self.desktop.geometry(settings))[2] > 440 and g[3] > 420 and g, 5,
                                     message="the welcome grown with the text")
        self.assertLessEqual(y + height, max(oy + oh for _, oy, _, oh in self.desktop.outputs.values()))
        self.desktop.key("Return")  # the default button: "Open my calendar"
        calendar = app.calendar()
        self.wait_active(calendar)
        self.wait_viewable(settings, False)
        self.desktop.key("ctrl+comma")
        self.wait_active(settings)
        self.show(calendar)
        self.desktop.activate(settings)  # the settings window is ours: the calendar stays
        self.wait_active(settings)
        # "Large window", then "Full screen" (after the shortcut button): each applies at once to the
        # calendar on screen, and the keyboard stays in the settings window.
        for keys, mode, frame in ((["Tab"] * 3, "largeWindow", (64, 40, 1152, 720)),
                                  (["shift+Tab"], "fullScreen", (0, 0, 1280, 800))):
            for key in keys + ["space"]:
                self.desktop.key(key)
            wait_until(lambda: app.preferences().get("displayMode") == mode, 5, message=f"{mode} stored")
            wait_until(lambda: self.desktop.geometry(calendar) == frame, 5, message=f"the calendar at {frame}")
            self.assertTrue(self.desktop.is_viewable(calendar))
            self.never(lambda: self.desktop.active_window() != settings, f"the focus taken after {mode}", 0.5)
        entry = os.path.join(app.config_dir, "autostart", "com.plenhall.Desktop.desktop")
        for key in ("Tab", "Tab"):  # "Open at login"
            self.desktop.key(key)
        for exists in (True, False):
            self.desktop.key("space")
            wait_until(lambda: os.path.exists(entry) == exists, 5, message=f"the autostart entry there: {exists}")
            if exists:
                with open(entry) as f:
                    self.assertRegex(f.read(), r"Exec=\S*plenhall-desktop")


if __name__ == "__main__":
    unittest.main(verbosity=2)
