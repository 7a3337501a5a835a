#include "app/app_delegate.h"

#include <algorithm>

#include "text/localized.h"
#include "web/offline_page.h"
#include "web/user_agent.h"

namespace plenhall {

AppDelegate::AppDelegate(Platform& platform, Prefs& prefs, AppValues values)
    : platform_(platform),
      prefs_(prefs),
      values_(std::move(values)),
      service_(Service::ofStartURL(values_.appURL, values_.appHost)),
      popUps_(platform_.clock, platform_.log),
      offlinePage_(offlinePage(values_.appURL)) {}

AppDelegate::~AppDelegate() = default;

std::function<void()> AppDelegate::weakly(std::function<void()> work) {
    return [weak = std::weak_ptr<AppDelegate*>(self_), work = std::move(work)] {
        if (weak.lock()) work();
    };
}

void AppDelegate::showShortcut(const Shortcut& shortcut) {
    if (statusItem_ && shortcutMenuItem_) {
        statusItem_->setItemTitle(
            *shortcutMenuItem_, tr("Show / Hide Calendar") + "  " + hotKey_->triggerText(shortcut));
    }
}

void AppDelegate::started() {
    // The updater comes first so it can check even if something later misbehaves.
    updater_ = std::make_unique<Updater>(
        UpdaterServices{platform_.mainQueue, platform_.http, platform_.dialogs, platform_.workspace,
                        platform_.log},
        UpdaterSettings::of(platform_.build), UpdateSchedule::automatic,
        weakly([this] { standardUserDriverWillHandleShowingUpdate(); }));

    // The hot key toggles the calendar; nothing is registered yet.
    hotKey_ = std::make_unique<HotKey>(
        platform_.hotKeys, platform_.mainQueue, platform_.log,
        [this, alive = std::weak_ptr<AppDelegate*>(self_)](const UserInput& press) {
            if (alive.lock()) toggle(press);
        });
    gnomeShortcut_ =
        std::make_unique<GnomeShortcut>(platform_.gnomeKeybindings, *hotKey_, platform_.log);

    buildMainMenu();
    buildWindow();
    buildStatusItem();

    // The settings window is created once and reused; it is not shown here.
    auto model = std::make_unique<SettingsModel>(
        SettingsModel::Services{prefs_, *hotKey_, *gnomeShortcut_, platform_.keyMonitor,
                                platform_.loginItem, platform_.log, platform_.build},
        weakly([this] {
            settings_->close();
            show();
        }),
        weakly([this] { updater_->checkForUpdates(); }));
    settings_ = std::make_unique<SettingsController>(std::move(model), platform_.windows,
                                                     platform_.screens, platform_.loginItem);

    // A shortcut another program holds brings the welcome back so the user can choose another
    // one; where the desktop gives no shortcut or the user declined it, choosing again would not
    // help, and the settings window says how to bind one by hand.
    hotKey_->registerShortcut(prefs_.shortcut(), [this, alive = std::weak_ptr<AppDelegate*>(self_)](
                                                     const HotKeyRegistration& registration) {
        if (!alive.lock() || registration) return;
        auto reason = registration.error().reason;
        if (reason == HotKeyError::Reason::taken || reason == HotKeyError::Reason::noSuchKey)
            prefs_.defaults().setBool(kHasOnboardedKey, false);
    });

    // The status menu's first item shows the shortcut as the desktop bound it, from the current
    // value on. The controller owns its subscriptions, so `this` outlives both reactions.
    subscriptions_.push_back(
        prefs_.subscribeShortcut([this](const Shortcut& shortcut) { showShortcut(shortcut); }));
    subscriptions_.push_back(
        hotKey_->subscribeChanges([this] { showShortcut(prefs_.shortcut()); }));

    // The new mode is stored only after subscribers hear of it, so the re-layout waits for
    // the next turn of the main queue. A hidden calendar is laid out too, so its next showing
    // finds the page ready at its new size.
    subscriptions_.push_back(prefs_.subscribeDisplayMode(
        [this, relayout = weakly([this] { layoutWindow(); })](const DisplayMode&) {
            platform_.mainQueue.async(relayout);
        },
        Delivery::laterValuesOnly));

    // The calendar loads in the hidden window, laid out as it will show, so it is ready at the
    // first showing.
    layoutWindow();
    load(startRequest(values_.appURL));

    focusRules_ = std::make_unique<FocusRules>(platform_.focus, platform_.mainQueue,
                                               weakly([this] { appResigned(); }),
                                               [this](const Window& window) {
                                                   if (&window == window_.get()) gotFocus();
                                               });

    // The flag is written before the welcome shows, so quitting during it does not bring it
    // back.
    if (!prefs_.defaults().boolForKey(kHasOnboardedKey)) {
        prefs_.defaults().setBool(kHasOnboardedKey, true);
        settings_->present(Presentation::welcome);
    }
}

int AppDelegate::cannotReachRunningInstance(const UnreachableInstance& instance) {
    // A second calendar would grab the same shortcut and write the same preferences, so this
    // launch ends here and says why the running one did not get it.
    std::string why = instance.noSessionBus
                          ? "there is no D-Bus session bus (" + *instance.noSessionBus + ")"
                          : std::string("it is not on this launch's D-Bus session bus");
    std::replace(why.begin(), why.end(), '\n', ' ');
    platform_.log.line(
        "PlenhallDesktop: Plenhall is already running, but this launch cannot reach it: " + why);
    return 1;
}

}  // namespace plenhall
