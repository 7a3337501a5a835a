// A declarative view tree: plain nodes the core computes and a backend renders into widgets.
//
// The tree is a value; it is computed again from the model whenever the model announces a change,
// and the backend renders it afresh. Actions are closures that run on the main thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/geometry.h"
#include "platform/key_event.h"

namespace plenhall {

enum class NodeKind { vstack, hstack, text, button, picker, toggle, spacer, divider, appIcon };
enum class Alignment { leading, center, trailing };
enum class TextStyle { body, title2, headline, callout, caption };
enum class FontWeight { regular, medium, semibold };
enum class FontDesign { standard, rounded };
enum class TextColor { primary, secondary, red };
enum class ButtonStyle { push, link };
enum class ControlSize { regular, large };

struct Font {
    TextStyle style = TextStyle::body;
    std::optional<double> pointSize;  // set for an explicit size, otherwise the style's size
    FontWeight weight = FontWeight::regular;
    FontDesign design = FontDesign::standard;
    bool operator==(const Font&) const = default;
};

struct Insets {
    double top = 0, leading = 0, bottom = 0, trailing = 0;
    bool operator==(const Insets&) const = default;
};

struct PickerSegment {
    std::string label;
    std::string tag;
    bool operator==(const PickerSegment&) const = default;
};

struct ViewNode {
    NodeKind kind = NodeKind::vstack;
    std::string id;  // a stable name for tests and accessibility

    // Stacks.
    Alignment alignment = Alignment::center;
    std::optional<double> spacing;  // nothing: the renderer's default spacing
    std::vector<ViewNode> children;
    Insets padding;
    std::optional<Size> fixedFrame;  // a fixed frame around the node, content centred in it
    std::optional<double> minWidth;  // a frame with only a minimum width

    // Texts, and the labels of buttons and toggles.
    std::string text;
    Font font;
    TextColor color = TextColor::primary;
    bool wraps = false;  // grows vertically instead of being cut

    // Buttons.
    ButtonStyle buttonStyle = ButtonStyle::push;
    ControlSize controlSize = ControlSize::regular;
    bool isDefault = false;  // the Return key triggers it
    std::function<void()> action;

    // Segmented picker.
    std::vector<PickerSegment> segments;
    std::string selectedTag;
    std::function<void(const std::string&)> onSelect;

    // Toggle.
    bool isOn = false;
    std::function<void(bool)> onToggle;

    // Application icon.
    Size imageSize;

    // What a screen reader says, where the visible text does not say it. Texts are shown as
    // given, in the user's language already.
    std::string accessibleName;         // instead of the visible text
    std::string accessibleDescription;  // after the name and role
    // A control showing these keys in symbols: its name and tooltip say them in the desktop's
    // words instead ("Ctrl+Alt+Super+C").
    std::optional<KeyCombination> spokenKeys;
    std::string labelFor;   // a text naming the control with this id
    bool isStatus = false;  // a text reporting the state of the control before it
};

}  // namespace plenhall
