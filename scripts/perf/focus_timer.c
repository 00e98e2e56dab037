// Times how long the keyboard focus takes to leave the window that has it, after either a key
// combination pressed through XTest or a command started. Usage:
//   focus_timer key KEYCODE MODMASK       (MODMASK: 4 Ctrl, 8 Alt, 1 Shift, added)
//   focus_timer run PROGRAM [ARGS...]
// Prints the milliseconds, or "timeout" after 2 s. It waits on the X connection between looks, so
// that it never takes the CPU from the X server and the program it times.
#define _GNU_SOURCE
#include <poll.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include "xtest_chord.h"

extern char** environ;

static xcb_window_t focus(xcb_connection_t* c) {
    xcb_get_input_focus_reply_t* r = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), NULL);
    xcb_window_t w = r ? r->focus : XCB_NONE;
    free(r);
    return w;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    xcb_connection_t* c = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(c)) {
        return 1;
    }
    const xcb_window_t before = focus(c);
    // Told when the focus leaves the window that has it: the wait ends at once, not at the next look.
    if (before != XCB_NONE && before != XCB_INPUT_FOCUS_POINTER_ROOT) {
        const uint32_t mask = XCB_EVENT_MASK_FOCUS_CHANGE;
        xcb_change_window_attributes(c, before, XCB_CW_EVENT_MASK, &mask);
    }
    double start = 0;
    pid_t child = 0;
    if (strcmp(argv[1], "key") == 0 && argc >= 4) {
        const xcb_keycode_t key = (xcb_keycode_t)atoi(argv[2]);
        const int mods = atoi(argv[3]);
        start = press_chord(c, key, mods);
    } else if (strcmp(argv[1], "run") == 0) {
        start = now_ms();
        if (posix_spawnp(&child, argv[2], NULL, NULL, argv + 2, environ) != 0) {
            return 1;
        }
    } else {
        return 2;
    }
    double took = -1;
    struct pollfd p = {xcb_get_file_descriptor(c), POLLIN, 0};
    while (now_ms() - start < 2000) {
        const xcb_window_t now = focus(c);
        if (now != before && now != XCB_NONE && now != XCB_INPUT_FOCUS_POINTER_ROOT) {
            took = now_ms() - start;
            break;
        }
        // Look again after a focus event (it may have come in with the reply), else wait for one
        // a millisecond at most.
        int events = 0;
        xcb_generic_event_t* e;
        while ((e = xcb_poll_for_event(c))) {
            free(e);
            ++events;
        }
        if (events == 0) {
            poll(&p, 1, 1);
        }
    }
    if (child) {
        waitpid(child, NULL, 0);
    }
    if (took < 0) {
        puts("timeout");
        return 1;
    }
    printf("%.1f\n", took);
    xcb_disconnect(c);
    return 0;
}
