// Renders a declarative view tree into GTK widgets inside a window, afresh on every render.
//
// Thread: main thread only. Ownership: the window adapter owns the renderer; the renderer owns the
// widgets it builds (they live in the window) and the actions they call.
#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/view_tree.h"

namespace plenhall::gtk {

class ViewRenderer {
  public:
    explicit ViewRenderer(GtkWindow* window);
    ViewRenderer(const ViewRenderer&) = delete;
    ViewRenderer& operator=(const ViewRenderer&) = delete;
    ~ViewRenderer();

    void render(const ViewNode& root);

  private:
    struct Binding;
    GtkWidget* build(const ViewNode& node, GtkOrientation parent);
    GtkWidget* buildStack(const ViewNode& node);
    GtkWidget* buildText(const ViewNode& node);
    GtkWidget* buildButton(const ViewNode& node);
    GtkWidget* buildPicker(const ViewNode& node);
    GtkWidget* buildToggle(const ViewNode& node);
    GtkWidget* buildIcon(const ViewNode& node);
    Binding* bind(const ViewNode& node);
    // Links each text that names a control to that control, once the whole tree is built.
    void linkLabels();

    GtkWindow* window_;
    GtkWidget* root_ = nullptr;
    std::vector<std::unique_ptr<Binding>> bindings_;
    std::vector<std::pair<GtkWidget*, std::string>> labels_;  // a text and its control's id
};

}  // namespace plenhall::gtk
