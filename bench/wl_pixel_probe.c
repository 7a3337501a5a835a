/* What one point of a wlroots compositor's screen shows, frame by frame.
 *
 *   wl_pixel_probe [--every] [--timeout MS] [--then MS] X,Y [RRGGBB]
 *
 * Copies the 1x1 region at X,Y (layout coordinates, as swaymsg gives them) of every frame the
 * compositor puts on that output from now on (wlr-screencopy), and prints "<µs> <rrggbb>" for the
 * first frame and then for each frame whose colour differs from the one before (with --every,
 * for each frame). The time is the frame's presentation as the compositor reports it, on
 * CLOCK_MONOTONIC, the clock of Python's time.monotonic() and of the program's show trace.
 * The first line is what the point shows as the probe starts: a caller waits for it before it
 * triggers whatever it watches.
 *
 * With RRGGBB it stops at the first frame of that colour (each channel within 2) and exits 0, or
 * exits 1 after --timeout milliseconds (default 5000) without one; --then goes on watching for
 * that many milliseconds after it (a frame of another colour while the page is up). Without
 * RRGGBB it runs for --timeout milliseconds, or until it is stopped if none is given.
 * 2: bad arguments or no screencopy; 3: the compositor failed a capture. stderr gets
 * "frames N" at the end.
 *
 * A copy request makes the compositor commit a frame at its next refresh even when nothing has
 * changed, and a new copy is asked for as soon as a frame has arrived, so every frame the output
 * shows (at 60 Hz on the headless outputs of the tests) is seen, not a sample of them.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <poll.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>

#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

#define MAX_OUTPUTS 8

struct output {
    struct wl_output* wl;
    struct zxdg_output_v1* xdg;
    int x, y, width, height;
};

static struct {
    struct wl_shm* shm;
    struct zwlr_screencopy_manager_v1* screencopy;
    uint32_t screencopy_version;
    struct zxdg_output_manager_v1* xdg_outputs;
    struct output outputs[MAX_OUTPUTS];
    int output_count;
} globals;

struct capture {
    struct output* output;
    int x, y; /* in the output's coordinates */
    struct zwlr_screencopy_frame_v1* frame;
    uint32_t format, stride;
    struct wl_buffer* buffer;
    uint8_t* pixels;
    int done, failed;
    uint64_t when_us;
};

static double now_ms(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

static void on_global(void* data, struct wl_registry* registry, uint32_t name,
                      const char* interface, uint32_t version) {
    (void)data;
    if (strcmp(interface, wl_shm_interface.name) == 0) {
        globals.shm = wl_registry_bind(registry, name, &wl_shm_interface, 1);
    } else if (strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0) {
        globals.screencopy_version = version < 3 ? version : 3;
        globals.screencopy = wl_registry_bind(registry, name, &zwlr_screencopy_manager_v1_interface,
                                              globals.screencopy_version);
    } else if (strcmp(interface, zxdg_output_manager_v1_interface.name) == 0) {
        globals.xdg_outputs = wl_registry_bind(registry, name, &zxdg_output_manager_v1_interface,
                                               version < 2 ? version : 2);
    } else if (strcmp(interface, wl_output_interface.name) == 0 &&
               globals.output_count < MAX_OUTPUTS) {
        globals.outputs[globals.output_count++].wl =
            wl_registry_bind(registry, name, &wl_output_interface, 1);
    }
}

static void on_global_remove(void* data, struct wl_registry* registry, uint32_t name) {
    (void)data, (void)registry, (void)name;
}

static const struct wl_registry_listener registry_listener = {on_global, on_global_remove};

static void on_logical_position(void* data, struct zxdg_output_v1* xdg, int32_t x, int32_t y) {
    (void)xdg;
    struct output* output = data;
    output->x = x;
    output->y = y;
}

static void on_logical_size(void* data, struct zxdg_output_v1* xdg, int32_t width, int32_t height) {
    (void)xdg;
    struct output* output = data;
    output->width = width;
    output->height = height;
}

static void on_xdg_done(void* data, struct zxdg_output_v1* xdg) {
    (void)data, (void)xdg;
}
static void on_xdg_name(void* data, struct zxdg_output_v1* xdg, const char* name) {
    (void)data, (void)xdg, (void)name;
}
static void on_xdg_description(void* data, struct zxdg_output_v1* xdg, const char* text) {
    (void)data, (void)xdg, (void)text;
}

static const struct zxdg_output_v1_listener xdg_output_listener = {
    on_logical_position, on_logical_size, on_xdg_done, on_xdg_name, on_xdg_description};

static struct wl_buffer* shm_buffer(uint32_t format, uint32_t stride, uint8_t** pixels) {
    const size_t size = stride; /* one row: the region is one pixel high */
    int fd = memfd_create("wl-pixel-probe", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, (off_t)size) < 0) return NULL;
    *pixels = mmap(NULL, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (*pixels == MAP_FAILED) return NULL;
    struct wl_shm_pool* pool = wl_shm_create_pool(globals.shm, fd, (int32_t)size);
    struct wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, 1, 1, (int32_t)stride, format);
    wl_shm_pool_destroy(pool);
    close(fd);
    return buffer;
}

static void copy(struct capture* capture) {
    if (!capture->buffer) {
        capture->buffer = shm_buffer(capture->format, capture->stride, &capture->pixels);
        if (!capture->buffer) {
            capture->failed = 1;
            return;
        }
    }
    zwlr_screencopy_frame_v1_copy(capture->frame, capture->buffer);
}

static void on_buffer(void* data, struct zwlr_screencopy_frame_v1* frame, uint32_t format,
                      uint32_t width, uint32_t height, uint32_t stride) {
    (void)frame, (void)width, (void)height;
    struct capture* capture = data;
    if (capture->buffer && (format != capture->format || stride != capture->stride)) {
        wl_buffer_destroy(capture->buffer);
        munmap(capture->pixels, capture->stride);
        capture->buffer = NULL;
    }
    capture->format = format;
    capture->stride = stride;
    /* Before version 3 this is the only offer; from 3 on, buffer_done closes the list. */
    if (globals.screencopy_version < 3) copy(capture);
}

static void on_flags(void* data, struct zwlr_screencopy_frame_v1* frame, uint32_t flags) {
    (void)data, (void)frame, (void)flags; /* y-inversion does not move a single pixel */
}

static void on_ready(void* data, struct zwlr_screencopy_frame_v1* frame, uint32_t sec_hi,
                     uint32_t sec_lo, uint32_t nsec) {
    (void)frame;
    struct capture* capture = data;
    capture->when_us = ((((uint64_t)sec_hi << 32) | sec_lo) * 1000000u) + nsec / 1000u;
    capture->done = 1;
}

static void on_failed(void* data, struct zwlr_screencopy_frame_v1* frame) {
    (void)frame;
    struct capture* capture = data;
    capture->failed = 1;
}

static void on_damage(void* data, struct zwlr_screencopy_frame_v1* frame, uint32_t x, uint32_t y,
                      uint32_t width, uint32_t height) {
    (void)data, (void)frame, (void)x, (void)y, (void)width, (void)height;
}

static void on_linux_dmabuf(void* data, struct zwlr_screencopy_frame_v1* frame, uint32_t format,
                            uint32_t width, uint32_t height) {
    (void)data, (void)frame, (void)format, (void)width, (void)height;
}

static void on_buffer_done(void* data, struct zwlr_screencopy_frame_v1* frame) {
    (void)frame;
    copy(data);
}

static const struct zwlr_screencopy_frame_v1_listener frame_listener = {
    on_buffer, on_flags, on_ready, on_failed, on_damage, on_linux_dmabuf, on_buffer_done};

/* The pixel as 0xRRGGBB, from the shm formats a compositor offers for its outputs. */
static int pixel_colour(const struct capture* capture, unsigned long* colour) {
    const uint8_t* p = capture->pixels;
    switch (capture->format) {
        case WL_SHM_FORMAT_ARGB8888:
        case WL_SHM_FORMAT_XRGB8888: /* little-endian words: B, G, R, X in memory */
            *colour = (unsigned long)p[2] << 16 | (unsigned long)p[1] << 8 | p[0];
            return 1;
        case WL_SHM_FORMAT_ABGR8888:
        case WL_SHM_FORMAT_XBGR8888:
            *colour = (unsigned long)p[0] << 16 | (unsigned long)p[1] << 8 | p[2];
            return 1;
        default:
            return 0;
    }
}

/* A little slack, as in x_latency.c: dithering or a colour profile moves a channel by one. */
static int same_colour(unsigned long a, unsigned long b) {
    for (int shift = 0; shift < 24; shift += 8) {
        int d = (int)((a >> shift) & 0xff) - (int)((b >> shift) & 0xff);
        if (d < -2 || d > 2) return 0;
    }
    return 1;
}

static int usage(void) {
    fprintf(stderr, "usage: wl_pixel_probe [--every] [--timeout MS] [--then MS] X,Y [RRGGBB]\n");
    return 2;
}

int main(int argc, char** argv) {
    int every = 0, x = 0, y = 0, have_point = 0, have_expected = 0;
    double timeout_ms = -1, then_ms = 0;
    unsigned long expected = 0;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--every") == 0) {
            every = 1;
        } else if (strcmp(argv[i], "--timeout") == 0 && i + 1 < argc) {
            timeout_ms = atof(argv[++i]);
        } else if (strcmp(argv[i], "--then") == 0 && i + 1 < argc) {
            then_ms = atof(argv[++i]);
        } else if (!have_point && sscanf(argv[i], "%d,%d", &x, &y) == 2) {
            have_point = 1;
        } else if (have_point && !have_expected && strlen(argv[i]) == 6) {
            char* end = NULL;
            expected = strtoul(argv[i], &end, 16);
            if (*end) return usage();
            have_expected = 1;
        } else {
            return usage();
        }
    }
    if (!have_point) return usage();
    if (timeout_ms < 0) timeout_ms = have_expected ? 5000 : 0;

    struct wl_display* display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "wl_pixel_probe: no Wayland display\n");
        return 2;
    }
    struct wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registry_listener, NULL);
    wl_display_roundtrip(display);
    if (!globals.shm || !globals.screencopy || !globals.xdg_outputs) {
        fprintf(stderr, "wl_pixel_probe: the compositor offers no %s\n",
                !globals.screencopy ? "zwlr_screencopy_manager_v1"
                : !globals.shm      ? "wl_shm"
                                    : "zxdg_output_manager_v1");
        return 2;
    }
    for (int i = 0; i < globals.output_count; ++i) {
        struct output* output = &globals.outputs[i];
        output->xdg = zxdg_output_manager_v1_get_xdg_output(globals.xdg_outputs, output->wl);
        zxdg_output_v1_add_listener(output->xdg, &xdg_output_listener, output);
    }
    wl_display_roundtrip(display);

    struct capture capture = {0};
    for (int i = 0; i < globals.output_count; ++i) {
        struct output* output = &globals.outputs[i];
        if (x >= output->x && x < output->x + output->width && y >= output->y &&
            y < output->y + output->height) {
            capture.output = output;
            capture.x = x - output->x;
            capture.y = y - output->y;
            break;
        }
    }
    if (!capture.output) {
        fprintf(stderr, "wl_pixel_probe: no output holds %d,%d\n", x, y);
        return 2;
    }

    double start = now_ms();
    unsigned long last = 0;
    int reached = 0;
    long frames = 0;
    int status = 1;
    for (;;) {
        capture.done = capture.failed = 0;
        capture.frame = zwlr_screencopy_manager_v1_capture_output_region(
            globals.screencopy, 0, capture.output->wl, capture.x, capture.y, 1, 1);
        zwlr_screencopy_frame_v1_add_listener(capture.frame, &frame_listener, &capture);
        wl_display_flush(display);
        int timed_out = 0;
        while (!capture.done && !capture.failed) {
            /* Reads with a deadline: the compositor may hold a frame back for a long time. */
            while (wl_display_prepare_read(display) != 0) wl_display_dispatch_pending(display);
            wl_display_flush(display);
            int wait = -1;
            if (timeout_ms > 0) {
                double left = start + timeout_ms - now_ms();
                wait = left > 0 ? (int)left + 1 : 0;
            }
            struct pollfd fd = {wl_display_get_fd(display), POLLIN, 0};
            int ready = poll(&fd, 1, wait);
            if (ready > 0) {
                if (wl_display_read_events(display) < 0) {
                    fprintf(stderr, "wl_pixel_probe: the connection broke\n");
                    return 2;
                }
            } else {
                wl_display_cancel_read(display);
                if (ready < 0 && errno == EINTR) continue;
                if (ready == 0) {
                    timed_out = 1;
                    break;
                }
            }
            if (wl_display_dispatch_pending(display) < 0) {
                fprintf(stderr, "wl_pixel_probe: protocol error\n");
                return 2;
            }
        }
        if (timed_out) break;
        zwlr_screencopy_frame_v1_destroy(capture.frame);
        if (capture.failed) {
            fprintf(stderr, "wl_pixel_probe: the compositor failed a capture\n");
            status = 3;
            break;
        }
        unsigned long colour;
        if (!pixel_colour(&capture, &colour)) {
            fprintf(stderr, "wl_pixel_probe: unexpected pixel format 0x%x\n", capture.format);
            status = 3;
            break;
        }
        if (every || frames == 0 || !same_colour(colour, last)) {
            printf("%llu %06lx\n", (unsigned long long)capture.when_us, colour);
            fflush(stdout);
        }
        last = colour;
        ++frames;
        if (have_expected && !reached && same_colour(colour, expected)) {
            status = 0;
            if (then_ms <= 0) break;
            reached = 1;
            start = now_ms(); /* the deadline now counts the time after it */
            timeout_ms = then_ms;
        }
        if (timeout_ms > 0 && now_ms() - start >= timeout_ms) break;
    }
    if (!have_expected && status == 1) status = 0; /* watched for as long as asked */
    fprintf(stderr, "frames %ld\n", frames);
    wl_display_disconnect(display);
    return status;
}
