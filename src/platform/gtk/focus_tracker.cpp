#include "platform/gtk/focus_tracker.h"

namespace plenhall::gtk {

void FocusTracker::watch(GtkWindow* widget, const Window* owner) {
    // Dialogs come and go (a page may open many); forget the ones already destroyed.
    std::erase_if(watched_, [](const Watch& watch) { return !watch.connection.alive(); });
    // The entry, which the connection hands to C, goes with the connection.
    auto entry = std::make_unique<Watched>(Watched{widget, owner, this});
    auto connection =
        SignalConnection::to<&Watched::onActiveChanged>(widget, "notify::is-active", entry.get());
    auto unmapped = SignalConnection::to<&Watched::onUnmapped>(widget, "unmap", entry.get());
    watched_.push_back(Watch{std::move(entry), std::move(connection), std::move(unmapped)});
}

bool FocusTracker::anyWindowActive() const {
    GListPtr toplevels(gtk_window_list_toplevels());
    for (GList* item = toplevels.get(); item; item = item->next) {
        if (gtk_window_is_active(GTK_WINDOW(item->data))) return true;
    }
    return false;
}

void FocusTracker::Watched::onActiveChanged(GParamSpec*) {
    tracker->report(
        {gtk_window_is_active(widget) ? FocusChange::Kind::gained : FocusChange::Kind::lost,
         owner});
}

void FocusTracker::Watched::onUnmapped() {
    // A window that goes while it has the focus hears no change of it (GTK still calls it active).
    GtkWindow* parent = gtk_window_get_transient_for(widget);
    if (!parent || !gtk_window_is_active(widget)) return;
    for (const auto& watch : tracker->watched_) {
        if (watch.entry->widget == parent && watch.connection.alive()) {
            tracker->report({FocusChange::Kind::dialogClosed, watch.entry->owner});
            return;
        }
    }
}

void FocusTracker::report(FocusChange change) const {
    if (handler_) handler_(change);
}

}  // namespace plenhall::gtk
