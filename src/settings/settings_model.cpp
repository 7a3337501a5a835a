#include "settings/settings_model.h"

#include "hotkey/key_positions.h"

#include "text/localized.h"

namespace plenhall {

std::string refusalMessage(const Shortcut& shortcut, const HotKeyError& error,
                           RefusalAdvice advice) {
    // Whole sentences per advice: a language may need to word the sentence around the shortcut
    // differently when another follows.
    const bool tryAnother = advice == RefusalAdvice::tryAnother;
    const std::string keys = shortcut.display();
    switch (error.reason) {
        case HotKeyError::Reason::taken:
            return tryAnother ? tr("%s is already used by another app. Try another.", {keys})
                              : tr("%s is already used by another app.", {keys});
        case HotKeyError::Reason::noSuchKey:
            return tryAnother
                       ? tr("%s can't be used as a shortcut on this keyboard. Try another.", {keys})
                       : tr("%s can't be used as a shortcut on this keyboard.", {keys});
        case HotKeyError::Reason::unsupported:
            return tryAnother ? tr(kDesktopShortcutHint) + " " + tr("Try another.")
                              : tr(kDesktopShortcutHint);
        case HotKeyError::Reason::declined:
            return tryAnother ? tr("The desktop didn't set up %s. Try another.", {keys})
                              : tr("The desktop didn't set up %s.", {keys});
        case HotKeyError::Reason::noAnswer:
            return tryAnother
                       ? tr("The desktop didn't answer when asked to set up %s. Try again.", {keys})
                       : tr("The desktop didn't answer when asked to set up %s.", {keys});
    }
    return tr("%s is unavailable.", {keys});
}

std::string gnomeRefusalMessage(const Shortcut& shortcut, const std::string& usedFor,
                                RefusalAdvice advice) {
    if (usedFor.empty()) return refusalMessage(shortcut, {HotKeyError::Reason::noSuchKey}, advice);
    const std::string keys = shortcut.display();
    return advice == RefusalAdvice::tryAnother
               ? tr("GNOME already uses %1$s for \u201c%2$s\u201d. Try another.", {keys, usedFor})
               : tr("GNOME already uses %1$s for \u201c%2$s\u201d.", {keys, usedFor});
}

SettingsModel::SettingsModel(Services services, std::function<void()> openCalendar,
                             std::function<void()> checkForUpdates)
    : prefs_(services.prefs),
      hotKey_(services.hotKey),
      gnome_(services.gnome),
      keyMonitor_(services.keyMonitor),
      loginItem_(services.loginItem),
      log_(services.log),
      build_(std::move(services.build)),
      openCalendar_(std::move(openCalendar)),
      checkForUpdates_(std::move(checkForUpdates)),
      // The model owns the subscription, so `this` outlives it.
      hotKeyChanges_(hotKey_.subscribeChanges([this] { objectWillChange_.send(); })),
      gnomeChanges_(gnome_.subscribeChanges([this] { objectWillChange_.send(); })) {}

std::string SettingsModel::shortcutTitle() const {
    return hotKey_.triggerText(prefs_.shortcut());
}

std::optional<std::string> SettingsModel::shortcutNotice() const {
    if (shortcutError_) return shortcutError_;
    // Without a way to have a global shortcut the user is told how to bind one by hand, unless
    // GNOME runs it for us.
    if (!recording_ && hotKey_.refusal() &&
        hotKey_.refusal()->reason == HotKeyError::Reason::unsupported)
        return gnome_.runs() ? std::nullopt : std::optional(tr(kDesktopShortcutHint));
    if (!recording_ && hotKey_.refusal() &&
        (hotKey_.refusal()->reason == HotKeyError::Reason::declined ||
         hotKey_.refusal()->reason == HotKeyError::Reason::noAnswer))
        return refusalMessage(prefs_.shortcut(), *hotKey_.refusal()) + " " +
               tr(kDesktopShortcutHintAfterRefusal);
    return std::nullopt;
}

SettingsModel::~SettingsModel() {
    if (monitor_) keyMonitor_.removeMonitor(*monitor_);
}

void SettingsModel::setWelcome(bool welcome) {
    objectWillChange_.send();
    welcome_ = welcome;
}

void SettingsModel::setOpenAtLoginValue(bool value) {
    objectWillChange_.send();
    openAtLogin_ = value;
}

void SettingsModel::setRecording(bool recording) {
    objectWillChange_.send();
    recording_ = recording;
}

void SettingsModel::setShortcutError(std::optional<std::string> error) {
    objectWillChange_.send();
    shortcutError_ = std::move(error);
}

void SettingsModel::startRecording() {
    setShortcutError(std::nullopt);
    setRecording(true);
    // The old shortcut must neither toggle the calendar nor block its own re-recording.
    hotKey_.unregister();
    if (monitor_) keyMonitor_.removeMonitor(*monitor_);
    monitor_ =
        keyMonitor_.addKeyPressMonitor([weak = std::weak_ptr<SettingsModel*>(self_)](
                                           const KeyEvent& event) -> std::optional<KeyEvent> {
            auto self = weak.lock();
            if (!self) return event;
            return (*self)->handleRecordingKeyDown(event);
        });
}

std::optional<KeyEvent> SettingsModel::handleRecordingKeyDown(const KeyEvent& event) {
    if (storedKeyCodeOf(event.keycode) == kEscapeKeyCode) {
        stopRecording();
        return std::nullopt;
    }
    auto candidate = Shortcut::fromEvent(event);
    if (!candidate) {
        setShortcutError(tr("Include Ctrl, Alt or Super in the shortcut."));
        return std::nullopt;
    }
    hotKey_.registerShortcut(
        *candidate, [this, candidate = *candidate,
                     weak = std::weak_ptr<SettingsModel*>(self_)](const HotKeyRegistration& done) {
            if (!weak.lock()) return;
            if (auto refusal = refusalOf(candidate, done, RefusalAdvice::tryAnother)) {
                // Nothing is registered now; the stored shortcut returns with stopRecording() or
                // a later accepted candidate.
                setShortcutError(refusal);
            } else {
                prefs_.setShortcut(candidate);
                setShortcutError(std::nullopt);
                finishRecording();
            }
        });
    return std::nullopt;
}

std::optional<std::string> SettingsModel::refusalOf(const Shortcut& shortcut,
                                                    const HotKeyRegistration& answer,
                                                    RefusalAdvice advice) {
    if (answer) return std::nullopt;
    if (answer.error().reason == HotKeyError::Reason::unsupported && gnome_.runs()) {
        const auto usedFor = gnome_.write(shortcut);
        return usedFor ? std::optional(gnomeRefusalMessage(shortcut, *usedFor, advice))
                       : std::nullopt;
    }
    return refusalMessage(shortcut, answer.error(), advice);
}

void SettingsModel::setUpGnomeShortcut() {
    const auto usedFor = gnome_.write(prefs_.shortcut());
    setShortcutError(usedFor ? std::optional(gnomeRefusalMessage(prefs_.shortcut(), *usedFor))
                             : std::nullopt);
}

void SettingsModel::finishRecording() {
    if (monitor_) keyMonitor_.removeMonitor(*monitor_);
    monitor_.reset();
    setRecording(false);
}

void SettingsModel::stopRecording() {
    if (!recording_) return;
    finishRecording();
    // A refusal is logged by the hot key; the settings window shows the shortcut as stored.
    hotKey_.registerShortcut(prefs_.shortcut());
}

void SettingsModel::resetShortcut() {
    stopRecording();
    Shortcut fallback = defaultShortcut();
    hotKey_.registerShortcut(
        fallback, [this, fallback,
                   weak = std::weak_ptr<SettingsModel*>(self_)](const HotKeyRegistration& done) {
            if (!weak.lock()) return;
            if (auto refusal = refusalOf(fallback, done, RefusalAdvice::none)) {
                hotKey_.registerShortcut(prefs_.shortcut());
                setShortcutError(refusal);
            } else {
                prefs_.setShortcut(fallback);
                setShortcutError(std::nullopt);
            }
        });
}

void SettingsModel::setOpenAtLogin(bool on) {
    auto changed = on ? loginItem_.registerItem() : loginItem_.unregisterItem();
    if (!changed) log_.line("PlenhallDesktop: login item change failed: " + changed.error().detail);
    setOpenAtLoginValue(loginItem_.status() == LoginItemStatus::enabled);
}

std::string SettingsModel::version() const {
    auto shown = [](const std::string& field) { return field.empty() ? std::string("?") : field; };
    return tr("Version %s (%s)", {shown(build_.version), shown(build_.build)});
}

}  // namespace plenhall
