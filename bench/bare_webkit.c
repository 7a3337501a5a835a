/* The engine's floor: a window holding nothing but a web view on a page, loaded while hidden and
 * shown and hidden by a key grabbed on the root window (X11) or by SIGUSR1 (either display; a
 * Wayland client cannot grab a key).
 *
 *   bare_webkit URL KEYCODE fullscreen|WIDTHxHEIGHT+X+Y
 *
 * KEYCODE is not used on Wayland (0 will do). Nothing here prepares the page for its showing:
 * this is what the engine does on its own.
 */
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <webkit2/webkit2.h>

static GtkWidget* window;
static unsigned keycode;
static gboolean fullscreen;

static void toggle(guint32 time) {
    if (gtk_widget_get_visible(window)) {
        gtk_widget_hide(window);
    } else if (GDK_IS_X11_DISPLAY(gtk_widget_get_display(window))) {
        gtk_window_present_with_time(GTK_WINDOW(window), time);
        gdk_window_focus(gtk_widget_get_window(window), time);
    } else {
        /* GTK makes a new Wayland toplevel at each showing: full screen is asked for again. */
        if (fullscreen) gtk_window_fullscreen(GTK_WINDOW(window));
        gtk_window_present(GTK_WINDOW(window));
    }
}

static gboolean on_signal(gpointer data) {
    (void)data;
    toggle(GDK_CURRENT_TIME);
    return G_SOURCE_CONTINUE;
}

static GdkFilterReturn on_key(GdkXEvent* native, GdkEvent* event, gpointer data) {
    (void)event, (void)data;
    XEvent* x = native;
    if (x->type != KeyPress || x->xkey.keycode != keycode) return GDK_FILTER_CONTINUE;
    toggle(x->xkey.time);
    return GDK_FILTER_REMOVE;
}

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    int width = 0, height = 0, left = 0, top = 0;
    if (argc != 4 || (strcmp(argv[3], "fullscreen") != 0 &&
                      sscanf(argv[3], "%dx%d+%d+%d", &width, &height, &left, &top) != 4)) {
        fprintf(stderr, "usage: bare_webkit URL KEYCODE fullscreen|WIDTHxHEIGHT+X+Y\n");
        return 2;
    }
    keycode = (unsigned)atoi(argv[2]);
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_role(GTK_WINDOW(window), "bare");
    if (width) {
        GdkGeometry none = {0};
        gtk_window_set_geometry_hints(GTK_WINDOW(window), NULL, &none, GDK_HINT_USER_POS);
        gtk_window_set_gravity(GTK_WINDOW(window), GDK_GRAVITY_STATIC); /* X,Y place the page */
        gtk_window_set_default_size(GTK_WINDOW(window), width, height);
        gtk_window_move(GTK_WINDOW(window), left, top);
    } else {
        fullscreen = TRUE;
        gtk_window_fullscreen(GTK_WINDOW(window));
    }
    GtkWidget* view = webkit_web_view_new();
    gtk_container_add(GTK_CONTAINER(window), view);
    gtk_widget_show(view);
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), argv[1]);
    gtk_widget_realize(window);
    g_unix_signal_add(SIGUSR1, on_signal, NULL);
    if (GDK_IS_X11_DISPLAY(gtk_widget_get_display(window))) {
        GdkWindow* root = gdk_get_default_root_window();
        XGrabKey(GDK_WINDOW_XDISPLAY(root), (int)keycode, AnyModifier, GDK_WINDOW_XID(root), False,
                 GrabModeAsync, GrabModeAsync);
        gdk_window_add_filter(root, on_key, NULL);
    }
    gtk_main();
    return 0;
}
