"""The settings window and first-run welcome, in the user's language and as a screen reader finds
them: recording a shortcut, the display mode, open at login."""

import json
import os
import unittest

from harness import DesktopTest, wait_until

# Screen readers listen on the accessibility bus; GTK joins it unless NO_AT_BRIDGE=1. German uses a
# UTF-8 locale every Debian system has.
SCREEN_READER = {"NO_AT_BRIDGE": "0"}
GERMAN = {"LANGUAGE": "de", "LC_ALL": "C.UTF-8", **SCREEN_READER}

# What the status menu and the welcome say, the shortcut in the desktop's own words.
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
# The stored shortcut: the key's code and modifier mask as the preference file has always kept them.
K_WITH_CONTROL_SHIFT_SUPER = {"keyCode": 40, "carbonModifiers": 0x1000 | 0x200 | 0x100, "keyLabel": "K"}
GERMAN_KEYS = [("ctrl+super+z", {"keyCode": 16, "carbonModifiers": 0x1100, "keyLabel": "Z"}),  # at US Y
               ("ctrl+super+ssharp", {"keyCode": 27, "carbonModifiers": 0x1100, "keyLabel": "SS"})]
NEW_SHORTCUT = "ctrl+shift+super+k"


class Settings(DesktopTest):
    def welcome(self, env=None):
        app = self.launch(onboarded=False, start_env=env)
        settings = app.settings()
        self.wait_active(settings)
        return app, settings

    def stored_shortcut(self, app):
        entry = app.preferences().get("shortcut")
        return json.loads(entry["data"]) if entry else None

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

    def test_recording_a_taken_then_a_free_shortcut_as_a_screen_reader_hears_it_replaces_the_old_for_good(self):
        # K with Control, Shift and Super, taken by another program (in its Num Lock variant, so the
        # keys can still be typed into our window here).
        holder, result = self.desktop.helper("grab-numlock", "45", str(0x4 | 0x1 | 0x40))
        self.assertEqual(result, "grabbed")
        app, settings = self.welcome(SCREEN_READER)
        frame = self.says(app, "en")
        shortcut = app.accessibles("push button", "Ctrl+Alt+Super+C", tree=frame)[0]
        self.assertEqual(shortcut["description"], "Press it anywhere to open your calendar. Press it again to hide it.")
        self.assertEqual(shortcut.get("relations", {}).get("labelled-by"), ["Shortcut"])
        self.assertEqual([s.get("text") for s in app.accessibles("status bar", tree=frame)], [shortcut["description"]])
        self.assertEqual(sum("checked" in r["states"] for r in app.accessibles("radio button", tree=frame)), 1)
        for control in app.accessibles(tree=frame):
            if "focusable" in control["states"] and control["role"] != "frame":
                self.assertTrue(control["name"], f"a {control['role']} without a name")

        def recorder():
            return wait_until(lambda: app.accessibles("push button", "Press new shortcut\u2026"), 10,
                              message="the recorder listening")[0]
        self.start_recording(settings)
        listening = recorder()
        self.assertEqual(listening["description"], "Listening for a new shortcut. Esc to cancel.")
        self.assertIn("focused", listening["states"])
        self.desktop.key("k")  # no modifier: refused, the recorder says why and keeps listening
        refusal = wait_until(lambda: recorder()["description"] != listening["description"] and recorder(), 10,
                             message="the refusal on the recorder")["description"]
        self.desktop.key(NEW_SHORTCUT)
        wait_until(lambda: "unavailable (status" in app.log(), 5, message="the taken combination refused")
        self.assertIsNone(self.stored_shortcut(app))
        holder.terminate()
        holder.wait(5)
        self.desktop.key(NEW_SHORTCUT)  # still recording: the same combination again, now free
        wait_until(lambda: self.stored_shortcut(app) == K_WITH_CONTROL_SHIFT_SUPER, 5, message="the stored shortcut")
        wait_until(lambda: app.status_menu()[0][1].endswith("K"), 5, message="the status menu's new title")
        # Escape cancels a new recording; closed after the Escape is handled (a recording still
        # going on would take Ctrl+W as the new shortcut).
        self.desktop.key("space")
        recorder()
        self.desktop.key("Escape")
        self.desktop.key("ctrl+w")
        self.wait_viewable(settings, False)
        calendar = app.calendar()
        self.press_shortcut()  # the old combination does nothing now
        self.assertFalse(wait_until(lambda: self.desktop.is_viewable(calendar), 1, quiet=True))
        for viewable in (True, False):
            self.desktop.key(NEW_SHORTCUT)
            self.wait_viewable(calendar, viewable)
        app.stop()
        again = self.launch(home=app.home)
        self.assertFalse(self.desktop.is_viewable(again.settings()))
        self.desktop.key(NEW_SHORTCUT)
        self.wait_viewable(again.calendar())
        self.assertEqual(refusal, "Include Ctrl, Alt or Super in the shortcut.")

    def test_in_german_with_a_german_layout(self):
        self.desktop.x("setxkbmap", "de")
        self.addCleanup(self.desktop.x, "setxkbmap", "us")
        app, settings = self.welcome(GERMAN)
        self.says(app, "de")
        self.shot("german")
        self.start_recording(settings)
        for keys, stored in GERMAN_KEYS:
            self.desktop.key(keys)
            wait_until(lambda: self.stored_shortcut(app) == stored, 5, message=f"{stored} stored")
            self.desktop.key("space")  # the shortcut button still has the focus
        self.desktop.key("Escape")
        self.desktop.key("ctrl+w")
        calendar = app.calendar()
        self.desktop.key(GERMAN_KEYS[-1][0])
        self.wait_viewable(calendar)

    def test_the_welcome_opens_the_calendar_and_the_settings_apply_at_once(self):
        app, settings = self.welcome()
        self.assertEqual(self.desktop.geometry(settings)[2:], (440, 420))  # the frame it was laid out for
        self.desktop.key("Return")  # the default button: "Open my calendar"
        calendar = app.calendar()
        self.wait_active(calendar)
        self.wait_viewable(settings, False)
        self.wait_geometry(calendar, (0, 0, 1280, 800))
        self.desktop.key("ctrl+comma")
        self.wait_active(settings)
        self.press_shortcut()
        self.wait_active(calendar)
        self.desktop.activate(settings)  # the settings window is ours: the calendar stays
        self.wait_active(settings)
        self.assertTrue(self.desktop.is_viewable(calendar))
        # "Large window", then "Full screen" (after the shortcut button): each applies at once to the
        # calendar on screen, and the keyboard stays in the settings window.
        for keys, mode, frame in ((["Tab"] * 3, "largeWindow", (64, 40, 1152, 720)),
                                  (["shift+Tab"], "fullScreen", (0, 0, 1280, 800))):
            for key in keys + ["space"]:
                self.desktop.key(key)
            wait_until(lambda: app.preferences().get("displayMode") == mode, 5, message=f"{mode} stored")
            self.wait_geometry(calendar, frame)
            self.assertTrue(self.desktop.is_viewable(calendar))
            self.assertFalse(wait_until(lambda: self.desktop.active_window() != settings, 0.5, quiet=True), mode)
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
