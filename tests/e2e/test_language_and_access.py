"""The settings window and welcome in the user's language, and as a screen reader finds them."""

import unittest

from harness import DesktopTest, wait_until

# Screen readers listen on the accessibility bus; GTK joins it unless NO_AT_BRIDGE=1.
SCREEN_READER = {"NO_AT_BRIDGE": "0"}
# German, with a UTF-8 locale every Debian system has.
GERMAN = {"LANGUAGE": "de", "LC_ALL": "C.UTF-8", **SCREEN_READER}


class LanguageAndAccess(DesktopTest):
    def welcome(self, env):
        app = self.launch(onboarded=False, start_env=env)
        settings = app.settings()
        self.wait_viewable(settings)
        self.wait_active(settings)
        return app, settings

    def settings_frame(self, app, with_button):
        """The settings window's accessible frame, once it shows a push button named `with_button`."""
        def frame():
            for window in app.accessibles(role="frame"):
                if app.accessibles("push button", with_button, tree=window):
                    return window
            return None
        return wait_until(frame, 20, message=f"a window with the button {with_button!r} on the accessibility bus")

    def test_the_status_menu_and_the_welcome_speak_german(self):
        app, _ = self.welcome(GERMAN)
        labels = wait_until(lambda: [label for _, label, separator in app.status_menu() if not separator], 10,
                            message="the status menu")
        self.assertTrue(labels[0].startswith("Kalender anzeigen / verbergen  "), labels)
        self.assertEqual(labels[1:], ["Neu laden", "Einstellungen \u2026", "Nach Aktualisierungen suchen \u2026",
                                      "Plenhall beenden"])

        frame = self.settings_frame(app, "Meinen Kalender \u00f6ffnen")
        texts = [label.get("text") for label in app.accessibles("label", tree=frame)]
        for expected in ["Willkommen bei Plenhall", "Tastenk\u00fcrzel", "Kalender anzeigen als"]:
            self.assertIn(expected, texts)
        self.assertEqual([r["name"] for r in app.accessibles("radio button", tree=frame)],
                         ["Vollbild", "Gro\u00dfes Fenster"])
        self.assertTrue(app.accessibles("check box", "Bei der Anmeldung \u00f6ffnen", tree=frame))
        # The shortcut's keys in the desktop's words, which are the toolkit's German ones.
        self.assertTrue(app.accessibles("push button", "Strg+Alt+Super+C", tree=frame), frame)
        self.shot("german")

    def test_a_screen_reader_finds_every_control_and_hears_the_recorder(self):
        app, settings = self.welcome(SCREEN_READER)
        frame = self.settings_frame(app, "Ctrl+Alt+Super+C")
        shortcut = app.accessibles("push button", "Ctrl+Alt+Super+C", tree=frame)[0]
        self.assertEqual(shortcut["description"],
                         "Press it anywhere to open your calendar. Press it again to hide it.")
        self.assertEqual(shortcut.get("relations", {}).get("labelled-by"), ["Shortcut"])

        for role, name in [("push button", "Open my calendar"), ("push button", "Check for Updates\u2026"),
                           ("check box", "Open at login"), ("grouping", "Show the calendar as")]:
            self.assertTrue(app.accessibles(role, name, tree=frame), f"{role} {name!r} in {frame}")
        radios = app.accessibles("radio button", tree=frame)
        self.assertEqual([r["name"] for r in radios], ["Full screen", "Large window"])
        self.assertEqual(sum("checked" in r["states"] for r in radios), 1, radios)
        status = app.accessibles("status bar", tree=frame)
        self.assertEqual([s.get("text") for s in status], [shortcut["description"]])
        for control in app.accessibles(tree=frame):
            if "focusable" in control["states"] and control["role"] != "frame":
                self.assertTrue(control["name"], f"a {control['role']} without a name")

        self.start_recording(settings)
        listening = wait_until(lambda: app.accessibles("push button", "Press new shortcut\u2026"), 10,
                               message="the recorder listening")[0]
        self.assertEqual(listening["description"], "Listening for a new shortcut. Esc to cancel.")
        self.assertIn("focused", listening["states"])
        self.desktop.key("k")  # no modifier: refused, and the recorder says why
        wait_until(lambda: any(b["description"] == "Include \u2318, \u2325 or \u2303 in the shortcut."
                               for b in app.accessibles("push button", "Press new shortcut\u2026")), 10,
                   message="the refusal on the recorder")


if __name__ == "__main__":
    unittest.main()
