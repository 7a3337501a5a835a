#include "platform/gtk/focus_tracker.h"

namespace plenhall::gtk {

void FocusTracker::watch(GtkWindow* widget, const Window* owner) {
    // Dialogs come and go (a page may open many); forget the ones already destroyed.
    std::erase_if(watched_, [](const Watch& watch) { return !watch.connection.alive(); });
    // The entry, which the connection hands to C, goes with the connection.
    auto entry = std::make_unique<Watched>(Watched{widget, owner, this});
    SignalConnection connection(widget, "notify::is-active", G_CALLBACK(onActiveChanged),
                                entry.get());
    SignalConnection unmapped(widget, "unmap", G_CALLBACK(onUnmapped), entry.get());
    watched_.push_back(Watch{std::move(entry), std::move(connection), std::move(unmapped)});
}

bool FocusTracker::anyWindowActive() const {
    GListPtr toplevels(gtk_window_list_toplevels());
    for (GList* item = toplevels.get(); item; item = item->next) {
        if (gtk_window_is_active(GTK_WINDOW(item->data))) return true;
    }
    return false;
}

void FocusTracker::onActiveChanged(GtkWindow* widget, GParamSpec*, gpointer data) {
    auto* entry = static_cast<Watched*>(data);
    entry->tracker->report(
        {gtk_window_is_active(widget) ? FocusChange::Kind::gained : FocusChange::Kind::lost,
         entry->owner});
}

void FocusTracker::onUnmapped(GtkWidget* widget, gpointer data) {
    FocusTracker& tracker = *static_cast<Watched*>(data)->tracker;
    // A window that goes while it has the focus hears no change of it (GTK still calls it active).
    GtkWindow* parent = gtk_window_get_transient_for(GTK_WINDOW(widget));
    if (!parent || !gtk_window_is_active(GTK_WINDOW(widget))) return;
    for (const auto& watch : tracker.watched_) {
        if (watch.entry->widget == parent && watch.connection.alive()) {
            tracker.report({FocusChange::Kind::dialogClosed, watch.entry->owner});
            return;
        }
    }
}

void FocusTracker::report(FocusChange change) const {
    if (handler_) handler_(change);
}

}  // namespace plenhall::gtk
