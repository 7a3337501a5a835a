/* A second X client for the end-to-end tests.
 *
 *   x_helper grab KEYCODE MODMASK   holds a passive grab of that key (all lock variants) until
 *                                   killed; prints "grabbed" or "refused".
 *   x_helper grab-numlock KEYCODE MODMASK
 *                                   the same, but only with Num Lock on: the combination is taken,
 *                                   yet typing it with Num Lock off still reaches other windows.
 *   x_helper panel X Y W H          maps a dock window of that geometry that reserves its edge
 *                                   (_NET_WM_STRUT_PARTIAL), like a desktop panel; prints "panel".
 *   x_helper watch X Y RRGGBB       prints "watching", then reads the screen at X,Y until it shows
 *                                   RRGGBB and prints "seen" followed by every other colour that
 *                                   came between (a blank frame), or "timeout" after 20 s.
 */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static int failed = 0;
static int on_error(Display* display, XErrorEvent* event) {
    (void)display;
    failed = event->error_code;
    return 0;
}

/* Says `ready`, then keeps the connection, and with it the grab or the window, until killed. */
_Noreturn static void hold(Display* display, const char* ready) {
    XSync(display, False);
    puts(failed ? "refused" : ready);
    fflush(stdout);
    for (XEvent event;;) XNextEvent(display, &event);
}

_Noreturn static void grab(Display* display, int keycode, unsigned mods, int numlock_only) {
    const unsigned variants[] = {0, LockMask, Mod2Mask, LockMask | Mod2Mask};
    XSetErrorHandler(on_error);
    for (int i = 0; i < 4; ++i) {
        if (numlock_only && variants[i] != Mod2Mask) continue;
        XGrabKey(display, keycode, mods | variants[i], DefaultRootWindow(display), False,
                 GrabModeAsync, GrabModeAsync);
    }
    hold(display, "grabbed");
}

static void set(Display* display, Window window, const char* name, Atom type, void* data, int n) {
    XChangeProperty(display, window, XInternAtom(display, name, False), type, 32, PropModeReplace,
                    (unsigned char*)data, n);
}

_Noreturn static void panel(Display* display, int x, int y, int w, int h) {
    XSetWindowAttributes attributes = {.background_pixel = 0x3366aa};
    Window window =
        XCreateWindow(display, DefaultRootWindow(display), x, y, (unsigned)w, (unsigned)h, 0,
                      CopyFromParent, InputOutput, CopyFromParent, CWBackPixel, &attributes);
    Atom dock = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DOCK", False);
    set(display, window, "_NET_WM_WINDOW_TYPE", XA_ATOM, &dock, 1);
    /* left, right, top, bottom, then start/end pairs; a panel along the top edge. */
    long strut[12] = {0, 0, y + h, 0, 0, 0, 0, 0, x, x + w - 1, 0, 0};
    set(display, window, "_NET_WM_STRUT_PARTIAL", XA_CARDINAL, strut, 12);
    set(display, window, "_NET_WM_STRUT", XA_CARDINAL, strut, 4);
    XMapWindow(display, window);
    hold(display, "panel");
}

static unsigned long colour_at(Display* display, int x, int y) {
    XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return 0xffffffffUL;
    unsigned long pixel = XGetPixel(image, 0, 0) & 0xffffff;
    XDestroyImage(image);
    return pixel;
}

static int watch(Display* display, int x, int y, unsigned long wanted) {
    unsigned long others[9] = {colour_at(display, x, y)};
    int count = 1;
    puts("watching");
    fflush(stdout);
    const struct timespec pause = {0, 300000};
    for (long polls = 0; polls < 20L * 1000 * 1000 / 300; ++polls) {
        const unsigned long colour = colour_at(display, x, y);
        if (colour == wanted) {
            printf("seen");
            for (int i = 1; i < count; ++i) printf(" #%06lx", others[i]);
            puts("");
            return 0;
        }
        int known = 0;
        for (int i = 0; i < count && !known; ++i) known = others[i] == colour;
        if (!known && count < 9) others[count++] = colour;
        nanosleep(&pause, NULL);
    }
    puts("timeout");
    return 1;
}

int main(int argc, char** argv) {
    Display* display = XOpenDisplay(NULL);
    if (!display) return 2;
    const char* mode = argc > 1 ? argv[1] : "";
    if (argc == 4 && strncmp(mode, "grab", 4) == 0)
        grab(display, atoi(argv[2]), (unsigned)strtoul(argv[3], 0, 0),
             strcmp(mode, "grab-numlock") == 0);
    if (argc == 6 && strcmp(mode, "panel") == 0)
        panel(display, atoi(argv[2]), atoi(argv[3]), atoi(argv[4]), atoi(argv[5]));
    if (argc == 5 && strcmp(mode, "watch") == 0)
        return watch(display, atoi(argv[2]), atoi(argv[3]), strtoul(argv[4], NULL, 16));
    fputs("usage: x_helper grab|grab-numlock KEYCODE MODMASK | panel X Y W H | watch X Y RRGGBB\n",
          stderr);
    return 2;
}
