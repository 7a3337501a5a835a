#include "platform/gtk/gtk_dialogs.h"

#include <glib/gi18n-lib.h>
#include <gtk/gtk.h>

#include "platform/gtk/glib_ptr.h"
#include "platform/gtk/gtk_window_adapter.h"

namespace plenhall::gtk {
namespace {

// Buttons answer with their place in the alert as GTK response id (GTK's own ids are negative);
// the dialog's own single button (GTK_RESPONSE_OK) answers as the first.
AlertAnswer answerOf(int response) {
    if (response == GTK_RESPONSE_OK) return 0;
    if (response >= 0) return std::size_t(response);
    return std::nullopt;
}

// The pending states below belong to their dialog, which frees them after it has dropped their
// connection (GObject clears weak pointers in dispose, data in finalize).

struct PendingAlert {
    std::function<void(AlertAnswer, std::optional<std::string>)> completion;
    GtkWindowAdapter* parent = nullptr;
    GtkWidget* entry = nullptr;
    SignalConnection response;

    void answer(AlertAnswer given, std::optional<std::string> text = std::nullopt) {
        if (auto done = std::exchange(completion, nullptr)) done(given, std::move(text));
    }
    void onResponse(GtkDialog* dialog, int id) {
        std::optional<std::string> text;
        if (entry) text = gtk_entry_get_text(GTK_ENTRY(entry));
        auto* owner = parent;
        answer(answerOf(id), std::move(text));
        gtk_widget_destroy(GTK_WIDGET(dialog));
        owner->dialogEnded();
    }
};

struct PendingAnswer {
    std::function<void(AlertAnswer)> completion;
    SignalConnection response;

    void answer(AlertAnswer given) {
        if (auto done = std::exchange(completion, nullptr)) done(given);
    }
    void onResponse(GtkDialog* dialog, int id) {
        answer(answerOf(id));
        gtk_widget_destroy(GTK_WIDGET(dialog));
    }
};

struct PendingPanel {
    std::function<void(std::optional<std::vector<std::string>>)> completion;
    GtkWindowAdapter* parent = nullptr;
    SignalConnection response;

    void answer(std::optional<std::vector<std::string>> paths) {
        if (auto done = std::exchange(completion, nullptr)) done(std::move(paths));
    }
    void onResponse(GtkDialog* dialog, int id) {
        std::optional<std::vector<std::string>> paths;
        if (id == GTK_RESPONSE_ACCEPT) {
            paths.emplace();
            GStringSListPtr names(gtk_file_chooser_get_filenames(GTK_FILE_CHOOSER(dialog)));
            for (GSList* item = names.get(); item; item = item->next) {
                paths->emplace_back(static_cast<const gchar*>(item->data));
            }
        }
        auto* owner = parent;
        answer(std::move(paths));
        gtk_widget_destroy(GTK_WIDGET(dialog));
        owner->dialogEnded();
    }
};

// Gives `state` to `dialog`, which frees it after dropping its connection; a dialog closed or
// destroyed unanswered (its parent went) still answers, with nothing.
template <typename Pending>
void giveToDialog(GtkWidget* dialog, Pending* state) {
    g_object_set_data_full(G_OBJECT(dialog), "plenhall-pending", state, [](gpointer data) {
        auto* pending = static_cast<Pending*>(data);
        pending->answer({});
        delete pending;
    });
    state->response =
        SignalConnection::withInstance<&Pending::onResponse>(dialog, "response", state);
}

GtkWindowAdapter& adapterOf(Window& window) {
    return static_cast<GtkWindowAdapter&>(window);
}

// The parts every alert shares: the texts and the buttons, Return on the default one.
GtkWidget* alertDialog(const Alert& alert, GtkWindow* parent, GtkMessageType type) {
    const bool hasButtons = !alert.buttons.empty();
    GtkWidget* dialog = gtk_message_dialog_new(parent, GtkDialogFlags(0), type,
                                               hasButtons ? GTK_BUTTONS_NONE : GTK_BUTTONS_OK, "%s",
                                               alert.text.c_str());
    if (!alert.secondaryText.empty()) {
        gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                                 alert.secondaryText.c_str());
    }
    if (!alert.role.empty()) gtk_window_set_role(GTK_WINDOW(dialog), alert.role.c_str());
    for (std::size_t i = 0; i < alert.buttons.size(); ++i) {
        gtk_dialog_add_button(GTK_DIALOG(dialog), alert.buttons[i].c_str(), int(i));
    }
    const std::size_t chosen = alert.defaultButton < alert.buttons.size() ? alert.defaultButton : 0;
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), hasButtons ? int(chosen) : GTK_RESPONSE_OK);
    return dialog;
}

void prepare(GtkWidget* dialog, GtkWindow* parent, const std::string& title) {
    gtk_window_set_transient_for(GTK_WINDOW(dialog), parent);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog), TRUE);
    // The calendar floats above other windows; its dialogs must not end up beneath it.
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
}

}  // namespace

void GtkDialogs::showModalAlert(
    const Alert& alert, Window& window,
    std::function<void(AlertAnswer, std::optional<std::string>)> completion) {
    GtkWindow* owner = adapterOf(window).widget();
    GtkWidget* dialog = alertDialog(alert, owner, GTK_MESSAGE_OTHER);
    prepare(dialog, owner, alert.title);

    auto* state = new PendingAlert{std::move(completion), &adapterOf(window), nullptr, {}};
    if (alert.entry) {
        state->entry = gtk_entry_new();
        gtk_widget_set_size_request(state->entry, int(alert.entry->frame.width), -1);
        gtk_entry_set_text(GTK_ENTRY(state->entry), alert.entry->initialText.c_str());
        gtk_entry_set_activates_default(GTK_ENTRY(state->entry), TRUE);
        // The page's question names the field for a screen reader.
        atk_object_set_name(gtk_widget_get_accessible(state->entry), alert.text.c_str());
        GtkWidget* area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog));
        gtk_box_pack_start(GTK_BOX(area), state->entry, FALSE, FALSE, 0);
        gtk_widget_show(state->entry);
    }
    giveToDialog(dialog, state);
    focus_.watch(GTK_WINDOW(dialog), nullptr);
    adapterOf(window).attachDialog(GTK_WINDOW(dialog));
}

void GtkDialogs::showAlert(const Alert& alert, std::function<void(AlertAnswer)> completion) {
    GtkWidget* dialog = alertDialog(alert, nullptr, GTK_MESSAGE_INFO);
    gtk_window_set_title(GTK_WINDOW(dialog), alert.title.c_str());
    // Nothing of ours is on screen to hold it, and the calendar may float above everything.
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);

    giveToDialog(dialog, new PendingAnswer{std::move(completion), {}});
    gtk_window_present(GTK_WINDOW(dialog));
}

void GtkDialogs::showFileChooser(
    const FileChooser& panel, Window& window,
    std::function<void(std::optional<std::vector<std::string>>)> completion) {
    GtkWindow* owner = adapterOf(window).widget();
    // In-process on purpose: a chooser in another process would take the focus from us, and the
    // calendar would be put away as if the user had left.
    GtkWidget* dialog =
        gtk_file_chooser_dialog_new(nullptr, owner, GTK_FILE_CHOOSER_ACTION_OPEN, _("_Cancel"),
                                    GTK_RESPONSE_CANCEL, _("_Open"), GTK_RESPONSE_ACCEPT, nullptr);
    prepare(dialog, owner, panel.title);
    gtk_file_chooser_set_select_multiple(GTK_FILE_CHOOSER(dialog), panel.selectMultiple);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);

    giveToDialog(dialog, new PendingPanel{std::move(completion), &adapterOf(window), {}});
    focus_.watch(GTK_WINDOW(dialog), nullptr);
    adapterOf(window).attachDialog(GTK_WINDOW(dialog));
}

}  // namespace plenhall::gtk
