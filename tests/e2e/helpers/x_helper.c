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

static int grab(Display* display, int keycode, unsigned mods, int numlock_only) {
    const unsigned variants[] = {0, LockMask, Mod2Mask, LockMask | Mod2Mask};
    XSetErrorHandler(on_error);
    for (int i = 0; i < 4; ++i) {
        if (numlock_only && variants[i] != Mod2Mask) continue;
        XGrabKey(display, keycode, mods | variants[i], DefaultRootWindow(display), False,
                 GrabModeAsync, GrabModeAsync);
    }
    XSync(display, False);
    puts(failed ? "refused" : "grabbed");
    fflush(stdout);
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
    }
    return 0;
}

static int panel(Display* display, int x, int y, int w, int h) {
    Window root = DefaultRootWindow(display);
    XSetWindowAttributes attributes = {0};
    attributes.background_pixel = 0x3366aa;
    Window window = XCreateWindow(display, root, x, y, (unsigned)w, (unsigned)h, 0, CopyFromParent,
                                  InputOutput, CopyFromParent, CWBackPixel, &attributes);
    Atom type = XInternAtom(display, "_NET_WM_WINDOW_TYPE", False);
    Atom dock = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DOCK", False);
    XChangeProperty(display, window, type, XA_ATOM, 32, PropModeReplace, (unsigned char*)&dock, 1);
    /* left, right, top, bottom, then start/end pairs; a panel along the top edge. */
    long strut[12] = {0, 0, y + h, 0, 0, 0, 0, 0, x, x + w - 1, 0, 0};
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_STRUT_PARTIAL", False),
                    XA_CARDINAL, 32, PropModeReplace, (unsigned char*)strut, 12);
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_STRUT", False), XA_CARDINAL, 32,
                    PropModeReplace, (unsigned char*)strut, 4);
    XMapWindow(display, window);
    XSync(display, False);
    puts("panel");
    fflush(stdout);
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
    }
    return 0;
}

static unsigned long colour_at(Display* display, int x, int y) {
    XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return 0xffffffffUL;
    unsigned long pixel = XGetPixel(image, 0, 0) & 0xffffff;
    XDestroyImage(image);
    return pixel;
}

static int watch(Display* display, int x, int y, unsigned long wanted) {
    const unsigned long start = colour_at(display, x, y);
    unsigned long others[8];
    int count = 0;
    puts("watching");
    fflush(stdout);
    const struct timespec pause = {0, 300000};
    for (long polls = 0; polls < 20L * 1000 * 1000 / 300; ++polls) {
        const unsigned long colour = colour_at(display, x, y);
        if (colour == wanted) {
            printf("seen");
            for (int i = 0; i < count; ++i) printf(" #%06lx", others[i]);
            puts("");
            return 0;
        }
        int known = colour == start;
        for (int i = 0; i < count && !known; ++i) known = others[i] == colour;
        if (!known && count < 8) others[count++] = colour;
        nanosleep(&pause, NULL);
    }
    puts("timeout");
    return 1;
}

int main(int argc, char** argv) {
    Display* display = XOpenDisplay(NULL);
    if (!display) return 2;
    if (argc == 4 && strcmp(argv[1], "grab") == 0) {
        return grab(display, atoi(argv[2]), (unsigned)strtoul(argv[3], 0, 0), 0);
    }
    if (argc == 4 && strcmp(argv[1], "grab-numlock") == 0) {
        return grab(display, atoi(argv[2]), (unsigned)strtoul(argv[3], 0, 0), 1);
    }
    if (argc == 6 && strcmp(argv[1], "panel") == 0) {
        return panel(display, atoi(argv[2]), atoi(argv[3]), atoi(argv[4]), atoi(argv[5]));
    }
    if (argc == 5 && strcmp(argv[1], "watch") == 0) {
        return watch(display, atoi(argv[2]), atoi(argv[3]), strtoul(argv[4], NULL, 16));
    }
    fprintf(
        stderr,
        "usage: x_helper grab|grab-numlock KEYCODE MODMASK | panel X Y W H | watch X Y RRGGBB\n");
    return 2;
}
