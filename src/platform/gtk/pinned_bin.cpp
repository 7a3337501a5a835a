#include "platform/gtk/pinned_bin.h"

namespace plenhall::gtk {
namespace {

struct PinnedBin {
    GtkBin parent;
    int width;  // 0: the child takes the bin's allocation
    int height;
};

struct PinnedBinClass {
    GtkBinClass parent;
};

GType pinnedBinType();

PinnedBin* asPinnedBin(GtkWidget* widget) {
    return G_TYPE_CHECK_INSTANCE_CAST(widget, pinnedBinType(), PinnedBin);
}

void allocate(GtkWidget* widget, GtkAllocation* allocation) {
    gtk_widget_set_allocation(widget, allocation);
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(widget));
    if (!child || !gtk_widget_get_visible(child)) return;
    const PinnedBin* bin = asPinnedBin(widget);
    GtkAllocation childAllocation = *allocation;
    if (bin->width > 0) {
        childAllocation.width = bin->width;
        childAllocation.height = bin->height;
    }
    gtk_widget_size_allocate(child, &childAllocation);
}

void initClass(gpointer type, gpointer) {
    GTK_WIDGET_CLASS(type)->size_allocate = allocate;
}

GType pinnedBinType() {
    static const GType type =
        g_type_register_static_simple(GTK_TYPE_BIN, "PlenhallPinnedBin", sizeof(PinnedBinClass),
                                      initClass, sizeof(PinnedBin), nullptr, GTypeFlags(0));
    return type;
}

}  // namespace

GtkWidget* pinnedBinNew() {
    return GTK_WIDGET(g_object_new(pinnedBinType(), nullptr));
}

void pinnedBinPin(GtkWidget* bin, std::optional<GdkRectangle> size) {
    PinnedBin* self = asPinnedBin(bin);
    const int width = size ? size->width : 0, height = size ? size->height : 0;
    if (self->width == width && self->height == height) return;
    self->width = width;
    self->height = height;
    gtk_widget_queue_resize(bin);
}

}  // namespace plenhall::gtk
