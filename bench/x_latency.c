/* Times how long a global shortcut takes to put a window on screen and take it away again, as a
 * separate X client sees it.
 *
 *   x_latency WINDOW KEYCODES COUNT [SETTLE_MS]
 *   x_latency probe KEYCODES ROLE
 *   x_latency pixels KEYCODES X,Y RRGGBB HIDDEN_MS COUNT [WINDOW] [X,Y=RRGGBB]
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
 *
 * "pixels" times what the screen shows, which is what the user waits for: for each of COUNT
 * cycles it leaves the subject hidden for HIDDEN_MS, reads the colour at X,Y of the root window
 * (the background), presses the keys and reads that pixel every 0.3 ms until it is RRGGBB, the
 * page's own colour at that point; it watches the pixel 300 ms longer, presses again and reads
 * until the background is back. One line per cycle:
 *   show_ms,hide_ms,mapped_ms,other_before,other_after,colours,live_ms
 * other_before is 1 when another colour (a blank or white frame) was on screen at X,Y between the
 * background and the page's colour, other_after when one came while the page was up; colours lists
 * those other colours ("-" for none). With WINDOW, mapped_ms is the time to its map and focus, as
 * in the first form; -1 otherwise. With X,Y=RRGGBB, live_ms is the time until that point first
 * shows that colour, which the page paints only in its first frames after it is shown again: the
 * engine's own new frame, whatever was on screen before it (the page stays up until then, 3 s at
 * most); -1 otherwise.
 * With X_LATENCY_TRACE set, the CLOCK_MONOTONIC times (µs) of each press, of the first other
 * colour and of the page's colour go to stderr, to line up with the program's own trace.
 */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
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

/* The colour at x,y of the screen as 0xRRGGBB. */
static unsigned long screen_pixel(Display* display, int x, int y) {
    XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return 0xffffffffUL;
    unsigned long pixel = XGetPixel(image, 0, 0) & 0xffffff;
    XDestroyImage(image);
    return pixel;
}

/* Colours compared with a little slack: dithering or a colour profile moves a channel by one. */
static int same_colour(unsigned long a, unsigned long b) {
    for (int shift = 0; shift < 24; shift += 8) {
        int da = (int)((a >> shift) & 0xff) - (int)((b >> shift) & 0xff);
        if (da < -2 || da > 2) return 0;
    }
    return 1;
}

struct seen {
    unsigned long colours[16];
    int n;
};

static void note_colour(struct seen* seen, unsigned long colour) {
    for (int i = 0; i < seen->n; ++i)
        if (same_colour(seen->colours[i], colour)) return;
    if (seen->n < 16) seen->colours[seen->n++] = colour;
}

static void sleep_ms(double ms) {
    if (ms <= 0) return;
    struct timespec pause = {(time_t)(ms / 1000), (long)((ms - 1000 * (long)(ms / 1000)) * 1e6)};
    nanosleep(&pause, NULL);
}

/* Follows the window's map and focus while polling, as wait_for does. */
struct window_watch {
    Window window;
    Atom active;
    int mapped, focused;
    double at;
};

static void watch_events(Display* display, struct window_watch* watch, double start) {
    while (XPending(display)) {
        XEvent event;
        XNextEvent(display, &event);
        if (!watch->window) continue;
        if (event.type == MapNotify && event.xmap.window == watch->window) {
            watch->mapped = 1;
            if (getenv("X_LATENCY_TRACE")) fprintf(stderr, "mapped %.0f\n", now_ms() * 1000);
        }
        if (event.type == FocusIn && event.xfocus.window == watch->window) watch->focused = 1;
        if (event.type == PropertyNotify && event.xproperty.atom == watch->active &&
            active_window(display, watch->active) == watch->window)
            watch->focused = 1;
        if (watch->at < 0 && watch->mapped && watch->focused) watch->at = now_ms() - start;
    }
}

static int pixels(Display* display, const unsigned* keys, int n, char** argv, int argc) {
    XSetErrorHandler(ignore_errors);
    int x = 0, y = 0, live_x = -1, live_y = -1;
    unsigned long live_colour = 0;
    if (sscanf(argv[0], "%d,%d", &x, &y) != 2) return 2;
    const unsigned long page = strtoul(argv[1], NULL, 16) & 0xffffff;
    const double hidden_ms = atof(argv[2]);
    const int count = atoi(argv[3]);
    Window window = None;
    for (int k = 4; k < argc; ++k) {
        if (strchr(argv[k], '=')) {
            if (sscanf(argv[k], "%d,%d=%lx", &live_x, &live_y, &live_colour) != 3) return 2;
        } else {
            window = (Window)strtoul(argv[k], NULL, 0);
        }
    }
    const int tracing = getenv("X_LATENCY_TRACE") != NULL;
    struct window_watch watch = {window, XInternAtom(display, "_NET_ACTIVE_WINDOW", False), 0, 0,
                                 -1};
    if (watch.window) {
        XSelectInput(display, watch.window, StructureNotifyMask | FocusChangeMask);
        XSelectInput(display, DefaultRootWindow(display), PropertyChangeMask);
    }
    XSync(display, False);
    const struct timespec poll = {0, 300000};
    for (int i = 0; i < count; ++i) {
        sleep_ms(hidden_ms);
        watch_events(display, &watch, now_ms());
        const unsigned long background = screen_pixel(display, x, y);
        struct seen before = {{0}, 0}, after = {{0}, 0};
        watch.mapped = watch.focused = 0;
        watch.at = -1;
        if (watch.window) {
            XWindowAttributes attributes;
            XGetWindowAttributes(display, watch.window, &attributes);
            watch.mapped = attributes.map_state == IsViewable;
            watch.focused = active_window(display, watch.active) == watch.window;
        }
        double start = now_ms(), show = -1, live = -1;
        press(display, keys, n);
        if (tracing) fprintf(stderr, "press %.0f\n", start * 1000);
        while (now_ms() - start < 5000) {
            watch_events(display, &watch, start);
            const unsigned long colour = screen_pixel(display, x, y);
            if (same_colour(colour, page)) {
                show = now_ms() - start;
                if (tracing) fprintf(stderr, "page %.0f\n", (start + show) * 1000);
                break;
            }
            if (!same_colour(colour, background)) {
                if (tracing && before.n == 0)
                    fprintf(stderr, "colour %06lx %.0f\n", colour, now_ms() * 1000);
                note_colour(&before, colour);
            }
            nanosleep(&poll, NULL);
        }
        /* The page stays up for a moment: a frame of another colour now would be seen too. It
         * stays until the engine's own frame has come, where that is watched for: only from now
         * on, so that until the page is there the X server is read as often for every subject.
         * The engine's frame keeps its mark for three frames, so one that came first is seen. */
        const double up = now_ms();
        while (show >= 0 &&
               (now_ms() - up < 300 || (live_x >= 0 && live < 0 && now_ms() - up < 3000))) {
            watch_events(display, &watch, start);
            const unsigned long colour = screen_pixel(display, x, y);
            if (!same_colour(colour, page)) note_colour(&after, colour);
            if (live_x >= 0 && live < 0 &&
                same_colour(screen_pixel(display, live_x, live_y), live_colour)) {
                live = now_ms() - start;
                if (tracing) fprintf(stderr, "live %.0f\n", (start + live) * 1000);
            }
            nanosleep(&poll, NULL);
        }
        watch_events(display, &watch, start);
        const double mapped = watch.window ? watch.at : -1;
        start = now_ms();
        double hide = -1;
        press(display, keys, n);
        while (now_ms() - start < 5000) {
            if (same_colour(screen_pixel(display, x, y), background)) {
                hide = now_ms() - start;
                break;
            }
            nanosleep(&poll, NULL);
        }
        printf("%.3f,%.3f,%.3f,%d,%d,", show, hide, mapped, before.n > 0, after.n > 0);
        for (int k = 0; k < before.n + after.n; ++k) {
            unsigned long colour = k < before.n ? before.colours[k] : after.colours[k - before.n];
            printf("%s%06lx", k ? "|" : "", colour);
        }
        printf("%s,%.3f\n", before.n + after.n ? "" : "-", live);
        fflush(stdout);
        if (show < 0 || hide < 0) return 1;
    }
    return 0;
}

int main(int argc, char** argv) {
    const int reading = argc >= 7 && strcmp(argv[1], "pixels") == 0;
    if ((argc < 4 || argc > 5) && !reading) {
        fprintf(stderr,
                "usage: x_latency WINDOW KEYCODES COUNT [SETTLE_MS] | probe KEYCODES ROLE\n"
                "     | pixels KEYCODES X,Y RRGGBB HIDDEN_MS COUNT [WINDOW] [X,Y=RRGGBB]\n");
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
    if (reading) return pixels(display, keys, n, argv + 3, argc - 3);
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
