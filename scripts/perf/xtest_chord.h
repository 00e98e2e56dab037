// Shared by the desktop timers: a monotonic clock and a key chord pressed through XTest.
#pragma once

#include <time.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

static double now_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static void fake(xcb_connection_t* c, uint8_t type, xcb_keycode_t code) {
    xcb_test_fake_input(c, type, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
}

// Presses `key` with the modifiers in `mods` (1 Shift, 4 Ctrl, 8 Alt) and returns the time of the
// key's own press, the moment the user's key counts from.
static double press_chord(xcb_connection_t* c, xcb_keycode_t key, int mods) {
    // Keycodes of the modifiers on Xvfb's default map.
    const xcb_keycode_t ctrl = 37, alt = 64, shift = 50;
    if (mods & 4)
        fake(c, XCB_KEY_PRESS, ctrl);
    if (mods & 8)
        fake(c, XCB_KEY_PRESS, alt);
    if (mods & 1)
        fake(c, XCB_KEY_PRESS, shift);
    xcb_flush(c);
    const double start = now_ms();
    fake(c, XCB_KEY_PRESS, key);
    fake(c, XCB_KEY_RELEASE, key);
    if (mods & 1)
        fake(c, XCB_KEY_RELEASE, shift);
    if (mods & 8)
        fake(c, XCB_KEY_RELEASE, alt);
    if (mods & 4)
        fake(c, XCB_KEY_RELEASE, ctrl);
    xcb_flush(c);
    return start;
}
