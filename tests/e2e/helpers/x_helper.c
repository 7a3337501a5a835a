/* A second X client for the end-to-end tests.
 *
 *   x_helper grab KEYCODE MODMASK   holds a passive grab of that key with Num Lock on until
 *                                   killed, prints "grabbed" or "refused": the combination is
 *                                   taken, yet typing it with Num Lock off still reaches windows.
 *   x_helper watch X Y RRGGBB       prints "watching", then reads the screen at X,Y until it shows
 *                                   RRGGBB and prints "seen" followed by every other colour that
 *                                   came between (a blank frame), or "timeout" after 20 s.
 */
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

/* Keeps the connection, and with it the grab, until killed. */
_Noreturn static void grab(Display* display, int keycode, unsigned mods) {
    XSetErrorHandler(on_error);
    XGrabKey(display, keycode, mods | Mod2Mask, DefaultRootWindow(display), False, GrabModeAsync,
             GrabModeAsync);
    XSync(display, False);
    puts(failed ? "refused" : "grabbed");
    fflush(stdout);
    for (XEvent event;;) XNextEvent(display, &event);
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
    if (argc == 4 && strcmp(mode, "grab") == 0)
        grab(display, atoi(argv[2]), (unsigned)strtoul(argv[3], 0, 0));
    if (argc == 5 && strcmp(mode, "watch") == 0)
        return watch(display, atoi(argv[2]), atoi(argv[3]), strtoul(argv[4], NULL, 16));
    fputs("usage: x_helper grab KEYCODE MODMASK | watch X Y RRGGBB\n", stderr);
    return 2;
}
