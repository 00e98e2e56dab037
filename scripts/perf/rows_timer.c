// Times a key pressed through XTest until a window shows what the key leads to: the milliseconds
// from the key to the first look of the window that equals the look it settles on. Usage:
//   rows_timer WINDOW KEYCODE MODMASK [TOP BOTTOM]   (MODMASK: 4 Ctrl, 8 Alt, 1 Shift, added)
// The window is read as columns of pixels every 16 points across it, from TOP to BOTTOM points
// below its top edge (default: all of it): enough to tell one frame of rows from another, little
// for the X server to copy. It is read with a 1 ms sleep between looks, so the X server keeps its
// share of the processors. The look settles when it has not changed for a second.
// Prints "ROWS FIRST FRAMES": the milliseconds to the settled look, to the first changed look, and
// how many different looks there were on the way; "nochange" or "timeout" otherwise.
#define _GNU_SOURCE
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include "xtest_chord.h"

static void nap_ms(long ms) {
    struct timespec t = {0, ms * 1000000L};
    nanosleep(&t, NULL);
}

struct look {
    double at;
    size_t size;
    unsigned char* pixels;
};

static xcb_window_t window;
static int columns[512];
static int ncolumns;
static int top, bottom;

// The window's columns as they are on the screen now; NULL when the window cannot be read.
static unsigned char* read_look(xcb_connection_t* c, size_t* size) {
    // Every column asked for at once: one round trip to the X server.
    xcb_get_image_cookie_t cookies[512];
    for (int i = 0; i < ncolumns; ++i) {
        cookies[i] = xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, (int16_t)columns[i], (int16_t)top, 1,
                                   (uint16_t)(bottom - top), ~0u);
    }
    size_t total = 0;
    unsigned char* out = NULL;
    for (int i = 0; i < ncolumns; ++i) {
        xcb_get_image_reply_t* r = xcb_get_image_reply(c, cookies[i], NULL);
        if (!r) {
            for (int j = i + 1; j < ncolumns; ++j) {
                free(xcb_get_image_reply(c, cookies[j], NULL));
            }
            free(out);
            return NULL;
        }
        const int n = xcb_get_image_data_length(r);
        out = realloc(out, total + (size_t)n);
        memcpy(out + total, xcb_get_image_data(r), (size_t)n);
        total += (size_t)n;
        free(r);
    }
    *size = total;
    return out;
}

static int same(const struct look* a, const unsigned char* pixels, size_t size) {
    return a->size == size && memcmp(a->pixels, pixels, size) == 0;
}

int main(int argc, char** argv) {
    if (argc < 4) {
        return 2;
    }
    xcb_connection_t* c = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(c)) {
        return 1;
    }
    window = (xcb_window_t)strtoul(argv[1], NULL, 0);
    const xcb_keycode_t key = (xcb_keycode_t)atoi(argv[2]);
    const int mods = atoi(argv[3]);
    xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, window), NULL);
    if (!g) {
        return 1;
    }
    top = argc > 4 ? atoi(argv[4]) : 0;
    bottom = argc > 5 ? atoi(argv[5]) : g->height;
    if (bottom > g->height) {
        bottom = g->height;
    }
    for (int x = 8; x < g->width - 8 && ncolumns < 512; x += 16) {
        columns[ncolumns++] = x;
    }
    free(g);
    if (top >= bottom || ncolumns == 0) {
        return 2;
    }

    struct look looks[64];
    int nlooks = 0;
    size_t size = 0;
    looks[0].pixels = read_look(c, &size);
    looks[0].size = size;
    looks[0].at = 0;
    if (!looks[0].pixels) {
        return 1;
    }
    nlooks = 1;
    const double start = press_chord(c, key, mods);

    double changed = start;
    for (;;) {
        nap_ms(1);
        unsigned char* pixels = read_look(c, &size);
        const double t = now_ms();
        if (!pixels) {
            return 1;
        }
        if (!same(&looks[nlooks - 1], pixels, size)) {
            if (nlooks == 64) {
                // Keep the first and the latest: the first frames are what the figure is about.
                free(looks[63].pixels);
                nlooks = 63;
            }
            looks[nlooks].pixels = pixels;
            looks[nlooks].size = size;
            looks[nlooks].at = t - start;
            ++nlooks;
            changed = t;
        } else {
            free(pixels);
        }
        if (t - changed > 1000 && t - start > 1000) {
            break;
        }
        if (t - start > 15000) {
            puts("timeout");
            return 1;
        }
    }
    const struct look* settled = &looks[nlooks - 1];
    if (nlooks == 1 || same(&looks[0], settled->pixels, settled->size)) {
        puts("nochange");
        return 0;
    }
    for (int i = 1; i < nlooks; ++i) {
        if (same(&looks[i], settled->pixels, settled->size)) {
            printf("%.1f %.1f %d\n", looks[i].at, looks[1].at, nlooks - 1);
            break;
        }
    }
    for (int i = 0; i < nlooks; ++i) {
        free(looks[i].pixels);
    }
    xcb_disconnect(c);
    return 0;
}
