#include "settings/settings_view.h"

#include <utility>

#include "text/localized.h"
#include "text/product_name.h"

namespace plenhall {
namespace {

Font font(TextStyle style, FontWeight weight = FontWeight::regular) {
    Font result;
    result.style = style;
    result.weight = weight;
    return result;
}

ViewNode stack(NodeKind kind, std::string id, Alignment alignment, std::optional<double> spacing,
               std::vector<ViewNode> children) {
    ViewNode node;
    node.kind = kind;
    node.id = std::move(id);
    node.alignment = alignment;
    node.spacing = spacing;
    node.children = std::move(children);
    return node;
}

ViewNode text(std::string id, std::string content, Font font,
              TextColor color = TextColor::primary) {
    ViewNode node;
    node.kind = NodeKind::text;
    node.id = std::move(id);
    node.text = std::move(content);
    node.font = font;
    node.color = color;
    return node;
}

ViewNode button(std::string id, std::string label, ButtonStyle style,
                std::function<void()> action) {
    ViewNode node;
    node.kind = NodeKind::button;
    node.id = std::move(id);
    node.text = std::move(label);
    node.buttonStyle = style;
    node.action = std::move(action);
    return node;
}

ViewNode leaf(NodeKind kind, std::string id = {}) {
    ViewNode node;
    node.kind = kind;
    node.id = std::move(id);
    return node;
}

ViewNode header(const SettingsModel& model) {
    ViewNode icon = leaf(NodeKind::appIcon, "icon");
    icon.imageSize = Size{56, 56};
    icon.accessibleName = kProductName;

    ViewNode title = text("title", model.welcome() ? tr("Welcome to Plenhall") : kProductName,
                          font(TextStyle::title2, FontWeight::semibold));
    ViewNode subtitle = text("subtitle", tr("Your whole calendar, one shortcut away."), Font{},
                             TextColor::secondary);
    subtitle.wraps = true;

    return stack(NodeKind::hstack, "header", Alignment::center, 14,
                 {std::move(icon), stack(NodeKind::vstack, "titles", Alignment::leading, 3,
                                         {std::move(title), std::move(subtitle)})});
}

ViewNode shortcutSection(SettingsModel& model, const Prefs& prefs) {
    const bool recording = model.recording();
    ViewNode shortcutButton =
        button("shortcut", recording ? tr("Press new shortcut\u2026") : model.shortcutTitle(),
               ButtonStyle::push, [&model, recording] {
                   if (recording) {
                       model.stopRecording();
                   } else {
                       model.startRecording();
                   }
               });
    shortcutButton.font = font(TextStyle::body, FontWeight::medium);
    shortcutButton.font.pointSize = 15;
    shortcutButton.font.design = FontDesign::rounded;
    shortcutButton.minWidth = 150;
    shortcutButton.controlSize = ControlSize::large;
    if (!recording) {
        // The tooltip and screen readers name the keys as the keyboard layout in use types them
        // (the stored label is the one at recording time), or in the desktop's own words where it
        // bound other keys than those asked for.
        const Shortcut& shortcut = prefs.shortcut();
        if (model.shortcutTitle() == shortcut.display()) {
            shortcutButton.spokenKeys = shortcut.keys();
        } else {
            shortcutButton.accessibleName = model.shortcutTitle();
        }
    }

    std::vector<ViewNode> row;
    row.push_back(std::move(shortcutButton));
    if (prefs.shortcut() != defaultShortcut() && !recording) {
        row.push_back(
            button("reset", tr("Reset"), ButtonStyle::link, [&model] { model.resetShortcut(); }));
    }

    const auto notice = model.shortcutNotice();
    std::string message;
    if (notice) {
        message = *notice;
    } else if (recording) {
        message = tr("Esc to cancel.");
    } else {
        message = tr("Press it anywhere to open your calendar. Press it again to hide it.");
    }
    ViewNode messageLine = text("message", message, font(TextStyle::callout),
                                notice ? TextColor::red : TextColor::secondary);
    messageLine.isStatus = true;
    // The recorder keeps the focus while it listens, and each change brings it back there: a
    // screen reader then reads the recorder's description, which says what the line says.
    row.front().accessibleDescription =
        recording && !notice ? tr("Listening for a new shortcut. Esc to cancel.") : message;
    ViewNode heading = text("shortcut-heading", tr("Shortcut"), font(TextStyle::headline));
    heading.labelFor = "shortcut";

    std::vector<ViewNode> section;
    section.push_back(std::move(heading));
    section.push_back(
        stack(NodeKind::hstack, "shortcut-row", Alignment::center, std::nullopt, std::move(row)));
    section.push_back(std::move(messageLine));
    if (model.offersGnomeShortcut()) {
        section.push_back(button("gnome-set-up", tr("Set it up for me"), ButtonStyle::push,
                                 [&model] { model.setUpGnomeShortcut(); }));
    } else if (model.gnomeRunsShortcut()) {
        section.push_back(button("gnome-remove", tr("Remove from GNOME's shortcuts"),
                                 ButtonStyle::link, [&model] { model.removeGnomeShortcut(); }));
    }
    return stack(NodeKind::vstack, "shortcut-section", Alignment::leading, 6, std::move(section));
}

std::string segmentLabel(DisplayMode mode) {
    return mode == DisplayMode::fullScreen ? tr("Full screen") : tr("Large window");
}

ViewNode displayModeSection(Prefs& prefs) {
    ViewNode picker = leaf(NodeKind::picker, "display-mode");
    for (auto mode : kAllDisplayModes) {
        picker.segments.push_back(PickerSegment{segmentLabel(mode), std::string(rawValue(mode))});
    }
    picker.selectedTag = std::string(rawValue(prefs.displayMode()));
    picker.onSelect = [&prefs](const std::string& tag) {
        if (auto mode = displayModeFromRawValue(tag)) prefs.setDisplayMode(*mode);
    };
    ViewNode heading =
        text("display-mode-heading", tr("Show the calendar as"), font(TextStyle::headline));
    heading.labelFor = picker.id;
    picker.accessibleName = heading.text;
    return stack(NodeKind::vstack, "display-mode-section", Alignment::leading, 6,
                 {std::move(heading), std::move(picker)});
}

ViewNode openAtLoginToggle(SettingsModel& model) {
    ViewNode toggle = leaf(NodeKind::toggle, "open-at-login");
    toggle.text = tr("Open at login");
    toggle.isOn = model.openAtLogin();
    toggle.onToggle = [&model](bool on) { model.setOpenAtLogin(on); };
    return toggle;
}

ViewNode footer(SettingsModel& model) {
    ViewNode updates = button("check-for-updates", tr("Check for Updates\u2026"), ButtonStyle::link,
                              [&model] { model.checkForUpdates(); });
    updates.font = font(TextStyle::caption);

    ViewNode main =
        button("open-calendar", model.welcome() ? tr("Open my calendar") : tr("Open calendar"),
               ButtonStyle::push, [&model] { model.openCalendar(); });
    main.isDefault = true;
    main.controlSize = ControlSize::large;

    return stack(NodeKind::hstack, "footer", Alignment::center, 4,
                 {text("version", model.version(), font(TextStyle::caption), TextColor::secondary),
                  std::move(updates), leaf(NodeKind::spacer), std::move(main)});
}

}  // namespace

ViewNode settingsView(SettingsModel& model, Prefs& prefs) {
    // Room enough for the desktop's default font (GNOME's is 11 pt) within the window's size;
    // larger text makes the window larger.
    ViewNode root = stack(NodeKind::vstack, "root", Alignment::leading, 14,
                          {header(model), leaf(NodeKind::divider), shortcutSection(model, prefs),
                           displayModeSection(prefs), openAtLoginToggle(model),
                           leaf(NodeKind::spacer), footer(model)});
    root.padding = Insets{24, 24, 24, 24};
    root.fixedFrame = kSettingsWindowSize;
    return root;
}

}  // namespace plenhall
