/* Times how long a global shortcut takes to put a window on screen and take it away again, as a
 * separate X client sees it.
 *
 *   x_latency WINDOW KEYCODES COUNT [SETTLE_MS]
 *   x_latency probe KEYCODES ROLE
 *
 * KEYCODES is a comma-separated list of X keycodes pressed in order and released in reverse order
 * (the modifiers, then the key), e.g. 37,64,133,54 for Control+Alt+Super+C. WINDOW starts hidden.
 * For each of COUNT toggles it prints one line "show_ms,hide_ms": from the synthetic key press
 * (XTest, flushed) to the window being mapped and focused, and from the next press to the window
 * being unmapped, waiting SETTLE_MS (default 200) after each change.
 *
 * "probe" presses the keys every 5 ms until a window whose WM_WINDOW_ROLE is ROLE is mapped, and
 * prints the CLOCK_MONOTONIC time of that in milliseconds: when a program that is starting up
 * first answers its shortcut.
 */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static double now_ms(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

static Window active_window(Display* display, Atom active) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = NULL;
    Window result = None;
    if (XGetWindowProperty(display, DefaultRootWindow(display), active, 0, 1, False, XA_WINDOW,
                           &type, &format, &count, &after, &data) == Success &&
        data && count == 1) {
        result = *(Window*)data;
    }
    if (data) XFree(data);
    return result;
}

static void press(Display* display, const unsigned* keys, int n) {
    for (int i = 0; i < n; ++i) XTestFakeKeyEvent(display, keys[i], True, CurrentTime);
    for (int i = n - 1; i >= 0; --i) XTestFakeKeyEvent(display, keys[i], False, CurrentTime);
    XFlush(display);
}

/* Waits until the window is mapped and focused (show) or unmapped (hide); -1 after 5 seconds. */
static double wait_for(Display* display, Window window, Atom active, int show, double start) {
    int mapped = !show ? 1 : 0, focused = !show;
    XWindowAttributes attributes;
    XGetWindowAttributes(display, window, &attributes);
    if (show && attributes.map_state == IsViewable) mapped = 1;
    if (show && active_window(display, active) == window) focused = 1;
    while (show ? !(mapped && focused) : mapped) {
        if (now_ms() - start > 5000) return -1;
        if (!XPending(display)) {
            struct timespec pause = {0, 100000};
            nanosleep(&pause, NULL);
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MapNotify && event.xmap.window == window) mapped = 1;
        if (event.type == UnmapNotify && event.xunmap.window == window) mapped = 0;
        if (event.type == FocusIn && event.xfocus.window == window) focused = 1;
        if (event.type == PropertyNotify && event.xproperty.atom == active &&
            active_window(display, active) == window) {
            focused = 1;
        }
    }
    return now_ms() - start;
}

static int has_role(Display* display, Window window, const char* role) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = NULL;
    int match = 0;
    Atom property = XInternAtom(display, "WM_WINDOW_ROLE", False);
    if (XGetWindowProperty(display, window, property, 0, 64, False, AnyPropertyType, &type, &format,
                           &count, &after, &data) == Success &&
        data) {
        match = strcmp((const char*)data, role) == 0;
    }
    if (data) XFree(data);
    return match;
}

static int ignore_errors(Display* display, XErrorEvent* event) {
    (void)display;
    (void)event;
    return 0; /* windows come and go while we look at them */
}

static int probe(Display* display, const unsigned* keys, int n, const char* role) {
    XSetErrorHandler(ignore_errors);
    Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, False);
    double last_press = 0;
    for (;;) {
        if (now_ms() - last_press >= 5) {
            press(display, keys, n);
            last_press = now_ms();
        }
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == CreateNotify)
                XSelectInput(display, event.xcreatewindow.window, StructureNotifyMask);
            if (event.type == MapNotify && has_role(display, event.xmap.window, role)) {
                printf("%.3f\n", now_ms());
                return 0;
            }
        }
        struct timespec pause = {0, 200000};
        nanosleep(&pause, NULL);
    }
}

int main(int argc, char** argv) {
    if (argc < 4 || argc > 5) {
        fprintf(stderr,
                "usage: x_latency WINDOW KEYCODES COUNT [SETTLE_MS] | probe KEYCODES ROLE\n");
        return 2;
    }
    Display* display = XOpenDisplay(NULL);
    if (!display) return 2;
    const int probing = strcmp(argv[1], "probe") == 0;
    unsigned keys[8];
    int n = 0;
    for (char* token = strtok(argv[2], ","); token && n < 8; token = strtok(NULL, ","))
        keys[n++] = (unsigned)atoi(token);
    if (probing) return probe(display, keys, n, argv[3]);
    Window window = (Window)strtoul(argv[1], NULL, 0);
    int count = atoi(argv[3]);
    long settle_ms = argc == 5 ? atol(argv[4]) : 200;
    Atom active = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    XSelectInput(display, window, StructureNotifyMask | FocusChangeMask);
    XSelectInput(display, DefaultRootWindow(display), PropertyChangeMask);
    XSync(display, False);

    for (int i = 0; i < count; ++i) {
        double start = now_ms();
        press(display, keys, n);
        double show = wait_for(display, window, active, 1, start);
        struct timespec settle = {settle_ms / 1000, (settle_ms % 1000) * 1000000};
        nanosleep(&settle, NULL);
        start = now_ms();
        press(display, keys, n);
        double hide = wait_for(display, window, active, 0, start);
        printf("%.3f,%.3f\n", show, hide);
        fflush(stdout);
        nanosleep(&settle, NULL);
        if (show < 0 || hide < 0) return 1;
    }
    return 0;
}
