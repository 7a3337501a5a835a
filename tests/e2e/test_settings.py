# The settings window and first-run welcome, in the user's language and as a screen reader finds
# them: recording a shortcut, the display mode, open at login.

import json
import os
import unittest

from harness import wait_until
from scenario import Scenario

# Screen readers listen on the accessibility bus; GTK joins it unless NO_AT_BRIDGE=1. German uses a
# UTF-8 locale every Debian system has.
SCREEN_READER = {"NO_AT_BRIDGE": "0"}
GERMAN = {"LANGUAGE": "de", "LC_ALL": "C.UTF-8", **SCREEN_READER}

# What the status menu and the welcome say; the shortcut in the desktop's own words.
TEXTS = {
    "en": {"menu": ["Show / Hide Calendar", "Reload", "Settings\u2026", "Check for Updates\u2026", "Quit Plenhall"],
           "welcome": [("label", "Welcome to Plenhall"), ("label", "Shortcut"), ("grouping", "Show the calendar as"),
                       ("push button", "Ctrl+Alt+Super+C"), ("radio button", "Full screen"),
                       ("radio button", "Large window"), ("check box", "Open at login"),
                       ("push button", "Check for Updates\u2026"), ("push button", "Open my calendar")]},
    "de": {"menu": ["Kalender anzeigen / verbergen", "Neu laden", "Einstellungen \u2026",
                    "Nach Aktualisierungen suchen \u2026", "Plenhall beenden"],
           "welcome": [("label", "Willkommen bei Plenhall"), ("label", "Tastenk\u00fcrzel"),
                       ("label", "Kalender anzeigen als"), ("push button", "Strg+Alt+Super+C"),
                       ("radio button", "Vollbild"), ("radio button", "Gro\u00dfes Fenster"),
                       ("check box", "Bei der Anmeldung \u00f6ffnen"), ("push button", "Meinen Kalender \u00f6ffnen")]},
}
# Keys pressed, and the shortcut stored for them: the key's code and modifier mask as the preference
# file has always kept them, and the label of the key on the user's layout.
NEW_SHORTCUT = ("ctrl+shift+super+k", {"keyCode": 40, "carbonModifiers": 0x1000 | 0x200 | 0x100, "keyLabel": "K"})
GERMAN_KEYS = [("ctrl+super+z", {"keyCode": 16, "carbonModifiers": 0x1100, "keyLabel": "Z"}),  # at the US Y
               ("ctrl+super+ssharp", {"keyCode": 27, "carbonModifiers": 0x1100, "keyLabel": "SS"})]


class Settings(Scenario):
    def welcome(self, env=None):
        app = self.launch(onboarded=False, start_env=env)
        self.wait_active(app.settings())
        return app, app.settings()

    def stored(self, app, shortcut):
        wait_until(lambda: json.loads(app.preferences().get("shortcut", {}).get("data", "null")) == shortcut, 5,
                   message=f"{shortcut} stored")

    def says(self, app, language):
        # The welcome's controls, once on the accessibility bus, and the status menu in `language`.
        expected = TEXTS[language]
        frame = wait_until(lambda: next((w for w in app.accessibles(role="frame")
                                         if app.accessibles(*expected["welcome"][-1], tree=w)), None), 20,
                           message="the welcome on the accessibility bus")
        for role, name in expected["welcome"]:
            self.assertTrue(app.accessibles(role, name, tree=frame), f"{role} {name!r} in {frame}")
        labels = [label for _, label, separator in app.status_menu() if not separator]
        self.assertTrue(labels[0].startswith(expected["menu"][0]), labels)
        self.assertEqual(labels[1:], expected["menu"][1:])
        return frame

    def test_a_taken_then_a_free_shortcut_recorded_as_a_screen_reader_hears_it_replaces_the_old_for_good(self):
        # K with Control, Shift and Super, taken by another program (in its Num Lock variant, so the
        # keys can still be typed into our window here).
        holder, result = self.desktop.helper("grab-numlock", "45", str(0x4 | 0x1 | 0x40))
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
        self.desktop.key("k")  # no modifier: refused, the recorder says why and keeps listening
        refusal = wait_until(lambda: recorder()["description"] != listening["description"] and recorder(), 10,
                             message="the refusal on the recorder")["description"]
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
        self.press_shortcut()
        self.never(lambda: self.desktop.is_viewable(calendar), "shown by the old shortcut")
        for viewable in (True, False):
            self.desktop.key(NEW_SHORTCUT[0])
            self.wait_viewable(calendar, viewable)
        app.stop()
        again = self.launch(home=app.home)
        self.desktop.key(NEW_SHORTCUT[0])
        self.wait_viewable(again.calendar())
        self.assertFalse(self.desktop.is_viewable(again.settings()))
        self.assertEqual(refusal, "Include Ctrl, Alt or Super in the shortcut.")

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

    def test_the_welcome_opens_the_calendar_and_the_settings_apply_at_once(self):
        app, settings = self.welcome()
        self.assertEqual(self.desktop.geometry(settings)[2:], (440, 420))  # the frame it was laid out for
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
            self.wait_geometry(calendar, frame)
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
