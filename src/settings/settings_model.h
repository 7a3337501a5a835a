// The state and behaviour behind the settings window: the shortcut recorder, reset, open at
// login and the version text.
//
// Thread: main thread only. Ownership: the settings controller owns the one model for the life of
// the process; the key monitor it installs while recording refers to it weakly.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "hotkey/gnome_shortcut.h"
#include "hotkey/hot_key.h"
#include "platform/key_event.h"
#include "platform/login_item.h"
#include "platform/system.h"
#include "prefs/observable.h"
#include "prefs/prefs.h"
#include "text/localized.h"

namespace plenhall {

// What follows the refusal of a shortcut: nothing, or the invitation to record another.
enum class RefusalAdvice { none, tryAnother };

// What the settings window says when the desktop refuses `shortcut`, in the user's language.
std::string refusalMessage(const Shortcut& shortcut, const HotKeyError& error,
                           RefusalAdvice advice = RefusalAdvice::none);
// What the settings window says when GNOME's custom shortcut for `shortcut` was not written: GNOME
// already uses the keys `usedFor` (empty: the key has no name GNOME binds).
std::string gnomeRefusalMessage(const Shortcut& shortcut, const std::string& usedFor,
                                RefusalAdvice advice = RefusalAdvice::none);

// How to have the shortcut anyway on a desktop that gives programs none: the command a desktop
// shortcut runs to show or hide the calendar. English keys: shown through tr().
inline constexpr const char* kDesktopShortcutHint = trKey(
    "This desktop doesn't let apps set global shortcuts: in its keyboard settings, add a shortcut "
    "that runs plenhall-desktop plenhall:// to show or hide the calendar.");
inline constexpr const char* kDesktopShortcutHintAfterRefusal = trKey(
    "To use a shortcut anyway, add one in the desktop's keyboard settings that runs "
    "plenhall-desktop plenhall://.");

class SettingsModel {
  public:
    struct Services {
        Prefs& prefs;
        HotKey& hotKey;
        GnomeShortcut& gnome;
        KeyMonitor& keyMonitor;
        LoginItemService& loginItem;
        Log& log;
        BuildInfo build;
    };

    SettingsModel(Services services, std::function<void()> openCalendar,
                  std::function<void()> checkForUpdates);
    SettingsModel(const SettingsModel&) = delete;
    SettingsModel& operator=(const SettingsModel&) = delete;
    ~SettingsModel();

    bool welcome() const { return welcome_; }
    void setWelcome(bool welcome);
    bool recording() const { return recording_; }
    const std::optional<std::string>& shortcutError() const { return shortcutError_; }
    // What the shortcut button says: the desktop's words for the bound keys where it gives them.
    std::string shortcutTitle() const;
    // The line under the shortcut: the recorder's error, or how to bind the shortcut by hand when
    // the desktop gave none.
    std::optional<std::string> shortcutNotice() const;
    bool openAtLogin() const { return openAtLogin_; }
    void setOpenAtLoginValue(bool value);  // the status as read from the desktop

    // GNOME could run the shortcut and the user has not asked it to yet.
    bool offersGnomeShortcut() const {
        return !recording_ && gnome_.possible() && !gnome_.present();
    }
    bool gnomeRunsShortcut() const { return !recording_ && gnome_.runs(); }
    // The user's click: GNOME runs the stored shortcut from now on, or the line says why not.
    void setUpGnomeShortcut();
    void removeGnomeShortcut() { gnome_.remove(); }

    void startRecording();
    // Cancels a recording and restores the stored shortcut as the live hot key.
    void stopRecording();
    void resetShortcut();
    // The user flipped the switch; afterwards openAtLogin() shows the desktop's real state.
    void setOpenAtLogin(bool on);
    std::string version() const;

    void openCalendar() { openCalendar_(); }
    void checkForUpdates() { checkForUpdates_(); }

    Prefs& prefs() const { return prefs_; }

    // Sent before each change of a published field.
    Subscription subscribeWillChange(std::function<void()> callback) {
        return objectWillChange_.add(std::move(callback));
    }

  private:
    // What the recorder does with a key press while recording; nothing means consumed.
    std::optional<KeyEvent> handleRecordingKeyDown(const KeyEvent& event);
    void finishRecording();
    // Why `shortcut` is not bound after the desktop's `answer`; where GNOME runs the shortcut for
    // a desktop that binds none, our entry is rewritten for it instead.
    std::optional<std::string> refusalOf(const Shortcut& shortcut, const HotKeyRegistration& answer,
                                         RefusalAdvice advice);
    void setRecording(bool recording);
    void setShortcutError(std::optional<std::string> error);

    Prefs& prefs_;
    HotKey& hotKey_;
    GnomeShortcut& gnome_;
    KeyMonitor& keyMonitor_;
    LoginItemService& loginItem_;
    Log& log_;
    BuildInfo build_;
    std::function<void()> openCalendar_;
    std::function<void()> checkForUpdates_;

    WillChangeSignal objectWillChange_;
    bool welcome_ = false;
    bool recording_ = false;
    std::optional<std::string> shortcutError_;
    bool openAtLogin_ = false;
    std::optional<KeyMonitor::Token> monitor_;
    std::shared_ptr<SettingsModel*> self_ = std::make_shared<SettingsModel*>(this);
    Subscription hotKeyChanges_;
    Subscription gnomeChanges_;
};

}  // namespace plenhall
