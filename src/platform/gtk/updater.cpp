#include "platform/gtk/updater.h"

#include <gtk/gtk.h>

namespace plenhall::gtk {

FeedUpdater::FeedUpdater(std::string feed, UserDriverDelegate& driver, Log& log)
    : feed_(std::move(feed)), driver_(driver), log_(log) {}

void FeedUpdater::checkForUpdates() {
    if (feed_.empty()) {
        showMessage("Updates for Plenhall come from your system's package manager.",
                    "Use your software centre or package manager to update it.");
        return;
    }
    showMessage("Plenhall can't check for updates right now.", "Try again later.");
}

void FeedUpdater::showMessage(const std::string& primary, const std::string& secondary) {
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GtkDialogFlags(0), GTK_MESSAGE_INFO,
                                               GTK_BUTTONS_OK, "%s", primary.c_str());
    gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", secondary.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), "Plenhall");
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    g_signal_connect(dialog, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
    gtk_window_present(GTK_WINDOW(dialog));
}

std::unique_ptr<Updater> FeedUpdaterFactory::makeUpdater(bool, UserDriverDelegate& driver) {
    return std::make_unique<FeedUpdater>(feed_, driver, log_);
}

}  // namespace plenhall::gtk
