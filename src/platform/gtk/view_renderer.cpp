#include "platform/gtk/view_renderer.h"

#include <functional>

#include "platform/gtk/glib_ptr.h"
#include "platform/gtk/key_codes.h"

namespace plenhall::gtk {

struct ViewRenderer::Binding {
    std::function<void()> action;
    std::function<void(const std::string&)> onSelect;
    std::function<void(bool)> onToggle;
    std::string tag;
    SignalConnection mapped;
    SignalConnection changed;

    void onDefaultMapped(GtkWidget* button) { gtk_widget_grab_default(button); }
    void onClicked() {
        if (action) action();
    }
    void onSegmentToggled(GtkToggleButton* button) {
        if (gtk_toggle_button_get_active(button) && onSelect) onSelect(tag);
    }
    void onCheckToggled(GtkToggleButton* button) {
        if (onToggle) onToggle(gtk_toggle_button_get_active(button));
    }
};

namespace {

// The default spacing between the children of a stack, when the view gives none.
constexpr int kDefaultSpacing = 8;

// Views are laid out at GTK's default font, 10 pt at 96 dpi, with room for GNOME's 11 pt: their
// fixed frames are the size at that font, and a minimum, since GTK grows a window to its content
// whatever its size hints say. Text follows the user's font and scale rather than that size, so
// a user who asked for large text gets it, in a larger window.
constexpr double kLayoutFontPoints = 10;

double scaleFor(TextStyle style) {
    switch (style) {
        case TextStyle::title2:
            return 1.45;
        case TextStyle::headline:
            return 1.0;
        case TextStyle::body:
            return 1.0;
        case TextStyle::callout:
            return 0.93;
        case TextStyle::caption:
            return 0.85;
    }
    return 1.0;
}

void applyFont(GtkWidget* label, const ViewNode& node) {
    CPtr<PangoAttrList, pango_attr_list_unref> owned(pango_attr_list_new());
    PangoAttrList* attributes = owned.get();
    if (node.font.pointSize) {
        // The size asked for at the layout font; it grows and shrinks with the user's font.
        pango_attr_list_insert(attributes,
                               pango_attr_scale_new(*node.font.pointSize / kLayoutFontPoints));
    } else if (double scale = scaleFor(node.font.style); scale != 1.0) {
        pango_attr_list_insert(attributes, pango_attr_scale_new(scale));
    }
    PangoWeight weight = PANGO_WEIGHT_NORMAL;
    if (node.font.weight == FontWeight::medium) weight = PANGO_WEIGHT_MEDIUM;
    if (node.font.weight == FontWeight::semibold || node.font.style == TextStyle::headline) {
        weight = PANGO_WEIGHT_SEMIBOLD;
    }
    pango_attr_list_insert(attributes, pango_attr_weight_new(weight));
    if (node.color == TextColor::red) {
        pango_attr_list_insert(attributes,
                               pango_attr_foreground_new(0xD7 * 257, 0x1E * 257, 0x1E * 257));
    }
    gtk_label_set_attributes(GTK_LABEL(label), attributes);
    if (node.color == TextColor::secondary) {
        gtk_style_context_add_class(gtk_widget_get_style_context(label), "dim-label");
    }
}

GtkAlign align(Alignment alignment) {
    switch (alignment) {
        case Alignment::leading:
            return GTK_ALIGN_START;
        case Alignment::center:
            return GTK_ALIGN_CENTER;
        case Alignment::trailing:
            return GTK_ALIGN_END;
    }
    return GTK_ALIGN_FILL;
}

// What a screen reader says of the node beyond what GTK derives from the widget: buttons,
// toggles and radio buttons already say their labels and state.
void describeForScreenReaders(GtkWidget* widget, const ViewNode& node) {
    AtkObject* accessible = gtk_widget_get_accessible(widget);
    std::string name = node.accessibleName;
    if (node.spokenKeys) {
        const std::string keys = acceleratorLabel(*node.spokenKeys);
        if (!keys.empty()) {
            name = keys;
            gtk_widget_set_tooltip_text(widget, keys.c_str());
        }
    }
    if (!name.empty()) atk_object_set_name(accessible, name.c_str());
    if (!node.accessibleDescription.empty())
        atk_object_set_description(accessible, node.accessibleDescription.c_str());
    // The segments are radio buttons; the box around them is their named group.
    if (node.kind == NodeKind::picker) atk_object_set_role(accessible, ATK_ROLE_GROUPING);
    if (node.isStatus) atk_object_set_role(accessible, ATK_ROLE_STATUSBAR);
}

GtkWidget* findByName(GtkWidget* widget, const char* name) {
    if (g_strcmp0(gtk_widget_get_name(widget), name) == 0) return widget;
    if (!GTK_IS_CONTAINER(widget)) return nullptr;
    GListPtr children(gtk_container_get_children(GTK_CONTAINER(widget)));
    GtkWidget* found = nullptr;
    for (GList* child = children.get(); child && !found; child = child->next) {
        found = findByName(GTK_WIDGET(child->data), name);
    }
    return found;
}

}  // namespace

ViewRenderer::ViewRenderer(GtkWindow* window) : window_(window) {}

ViewRenderer::~ViewRenderer() {
    if (root_) gtk_widget_destroy(root_);
}

void ViewRenderer::render(const ViewNode& root) {
    // Keyboard focus survives a render: it goes back to the control with the same name.
    std::string focusedName;
    if (GtkWidget* focused = gtk_window_get_focus(window_))
        focusedName = gtk_widget_get_name(focused);

    auto previousBindings = std::move(bindings_);
    bindings_.clear();
    if (root_) gtk_widget_destroy(root_);
    root_ = build(root, GTK_ORIENTATION_VERTICAL);
    linkLabels();
    gtk_container_add(GTK_CONTAINER(window_), root_);
    gtk_widget_show_all(root_);

    if (!focusedName.empty()) {
        if (GtkWidget* again = findByName(root_, focusedName.c_str())) gtk_widget_grab_focus(again);
    }
}

void ViewRenderer::linkLabels() {
    // A mnemonic widget is what GTK relates a label to (labelled-by, label-for), even without a
    // mnemonic.
    for (const auto& [label, id] : labels_) {
        if (GtkWidget* control = findByName(root_, id.c_str()))
            gtk_label_set_mnemonic_widget(GTK_LABEL(label), control);
    }
    labels_.clear();
}

// Each binding owns its widget's connections; the renderer also destroys the widgets before the
// bindings they use, in render() and in its destructor.
ViewRenderer::Binding* ViewRenderer::bind(const ViewNode& node) {
    auto binding =
        std::make_unique<Binding>(Binding{node.action, node.onSelect, node.onToggle, {}, {}, {}});
    bindings_.push_back(std::move(binding));
    return bindings_.back().get();
}

GtkWidget* ViewRenderer::build(const ViewNode& node, GtkOrientation parent) {
    GtkWidget* widget = nullptr;
    switch (node.kind) {
        case NodeKind::vstack:
        case NodeKind::hstack:
            widget = buildStack(node);
            break;
        case NodeKind::text:
            widget = buildText(node);
            break;
        case NodeKind::button:
            widget = buildButton(node);
            break;
        case NodeKind::picker:
            widget = buildPicker(node);
            break;
        case NodeKind::toggle:
            widget = buildToggle(node);
            break;
        case NodeKind::appIcon:
            widget = buildIcon(node);
            break;
        case NodeKind::divider:
            widget = gtk_separator_new(GTK_ORIENTATION_HORIZONTAL);
            break;
        case NodeKind::spacer:
            widget = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
            if (parent == GTK_ORIENTATION_VERTICAL) {
                gtk_widget_set_vexpand(widget, TRUE);
            } else {
                gtk_widget_set_hexpand(widget, TRUE);
            }
            break;
    }
    if (!node.id.empty()) gtk_widget_set_name(widget, node.id.c_str());
    describeForScreenReaders(widget, node);
    gtk_widget_set_margin_top(widget, int(node.padding.top));
    gtk_widget_set_margin_bottom(widget, int(node.padding.bottom));
    gtk_widget_set_margin_start(widget, int(node.padding.leading));
    gtk_widget_set_margin_end(widget, int(node.padding.trailing));
    if (node.fixedFrame) {
        // The frame includes the padding around the node.
        gtk_widget_set_size_request(
            widget, int(node.fixedFrame->width - node.padding.leading - node.padding.trailing),
            int(node.fixedFrame->height - node.padding.top - node.padding.bottom));
    } else if (node.minWidth) {
        gtk_widget_set_size_request(widget, int(*node.minWidth), -1);
    }
    return widget;
}

GtkWidget* ViewRenderer::buildStack(const ViewNode& node) {
    const bool vertical = node.kind == NodeKind::vstack;
    const GtkOrientation orientation =
        vertical ? GTK_ORIENTATION_VERTICAL : GTK_ORIENTATION_HORIZONTAL;
    const int spacing = int(node.spacing.value_or(kDefaultSpacing));
    GtkWidget* box = gtk_box_new(orientation, 0);
    bool first = true;
    for (const auto& child : node.children) {
        GtkWidget* built = build(child, orientation);
        // A spacer is room the stack gives away, not a child to keep apart from its neighbours:
        // with no room to give, the stack is as long as without it, where the box's own spacing
        // would add a spacing on either side of it.
        if (!first && child.kind != NodeKind::spacer) {
            if (vertical) {
                gtk_widget_set_margin_top(built, gtk_widget_get_margin_top(built) + spacing);
            } else {
                gtk_widget_set_margin_start(built, gtk_widget_get_margin_start(built) + spacing);
            }
        }
        first = false;
        if (vertical) {
            if (child.kind != NodeKind::divider)
                gtk_widget_set_halign(built, align(node.alignment));
        } else {
            gtk_widget_set_valign(built, align(node.alignment));
        }
        gtk_box_pack_start(GTK_BOX(box), built, FALSE, FALSE, 0);
    }
    return box;
}

GtkWidget* ViewRenderer::buildText(const ViewNode& node) {
    GtkWidget* label = gtk_label_new(node.text.c_str());
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    // Text wraps to the width it is given rather than widening the window, between words only: a
    // label may then be no narrower than its longest word, where breaking inside words would let
    // a row squeeze it to a letter a line.
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD);
    applyFont(label, node);
    if (!node.labelFor.empty()) labels_.emplace_back(label, node.labelFor);
    return label;
}

GtkWidget* ViewRenderer::buildButton(const ViewNode& node) {
    GtkWidget* button = gtk_button_new_with_label(node.text.c_str());
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(button));
    if (GTK_IS_LABEL(label)) applyFont(label, node);
    if (node.buttonStyle == ButtonStyle::link) {
        gtk_button_set_relief(GTK_BUTTON(button), GTK_RELIEF_NONE);
        gtk_style_context_add_class(gtk_widget_get_style_context(button), "link");
    }
    if (node.controlSize == ControlSize::large) gtk_widget_set_size_request(button, -1, 34);
    Binding* binding = bind(node);
    if (node.isDefault) {
        gtk_widget_set_can_default(button, TRUE);
        gtk_style_context_add_class(gtk_widget_get_style_context(button), "suggested-action");
        binding->mapped =
            SignalConnection::withInstance<&Binding::onDefaultMapped>(button, "map", binding);
    }
    binding->changed = SignalConnection::to<&Binding::onClicked>(button, "clicked", binding);
    return button;
}

GtkWidget* ViewRenderer::buildPicker(const ViewNode& node) {
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
    gtk_style_context_add_class(gtk_widget_get_style_context(box), "linked");
    GSList* group = nullptr;
    for (const auto& segment : node.segments) {
        GtkWidget* button = gtk_radio_button_new_with_label(group, segment.label.c_str());
        group = gtk_radio_button_get_group(GTK_RADIO_BUTTON(button));
        gtk_toggle_button_set_mode(GTK_TOGGLE_BUTTON(button), FALSE);
        gtk_widget_set_name(button, (node.id + "-" + segment.tag).c_str());
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(button), segment.tag == node.selectedTag);
        Binding* binding = bind(node);
        binding->tag = segment.tag;
        binding->changed =
            SignalConnection::withInstance<&Binding::onSegmentToggled>(button, "toggled", binding);
        gtk_box_pack_start(GTK_BOX(box), button, FALSE, FALSE, 0);
    }
    return box;
}

GtkWidget* ViewRenderer::buildToggle(const ViewNode& node) {
    GtkWidget* check = gtk_check_button_new_with_label(node.text.c_str());
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(check), node.isOn);
    Binding* binding = bind(node);
    binding->changed =
        SignalConnection::withInstance<&Binding::onCheckToggled>(check, "toggled", binding);
    return check;
}

GtkWidget* ViewRenderer::buildIcon(const ViewNode& node) {
    const int size = int(node.imageSize.width);
    GtkIconTheme* theme = gtk_icon_theme_get_default();
    GdkPixbuf* pixbuf = nullptr;
    for (const char* name : {"com.plenhall.Desktop", "x-office-calendar"}) {
        pixbuf = gtk_icon_theme_load_icon(theme, name, size, GTK_ICON_LOOKUP_FORCE_SIZE, nullptr);
        if (pixbuf) break;
    }
    auto owned = adopt(pixbuf);
    GtkWidget* image = owned ? gtk_image_new_from_pixbuf(owned.get()) : gtk_image_new();
    gtk_widget_set_size_request(image, size, int(node.imageSize.height));
    return image;
}

}  // namespace plenhall::gtk
