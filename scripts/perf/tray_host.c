// A tray host for timing: owns the tray selection, starts a program and reports how long it took
// to ask for its icon to be docked, then its resident memory once settled and its wake-ups while
// idle. Usage: tray_host SETTLE_MS IDLE_S PROGRAM [ARGS...]
// Prints one line: "<ms to the dock request> <VmRSS kB> <context switches during IDLE_S>".
// The program may start another that docks the icon and end (`plim --background`): the icon
// window's _NET_WM_PID names the process measured. With TRAY_HOST_THEN set, that shell command
// runs after the first memory figure (PROGRAM_PID names the process), and the line ends with the
// memory after it and, TRAY_HOST_REST seconds later, again.
#define _GNU_SOURCE
#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>

static double now_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, strlen(name), name), NULL);
    xcb_atom_t a = r ? r->atom : XCB_NONE;
    free(r);
    return a;
}

// A field of /proc/PID/status summed over the process's threads.
static long sum_status(pid_t pid, const char* field) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/task", pid);
    DIR* d = opendir(path);
    long total = 0;
    struct dirent* e;
    while (d && (e = readdir(d))) {
        if (e->d_name[0] == '.')
            continue;
        char file[300];
        snprintf(file, sizeof file, "/proc/%d/task/%s/status", pid, e->d_name);
        FILE* f = fopen(file, "r");
        char line[256];
        while (f && fgets(line, sizeof line, f)) {
            if (strncmp(line, field, strlen(field)) == 0)
                total += atol(line + strlen(field) + 1);
        }
        if (f)
            fclose(f);
    }
    if (d)
        closedir(d);
    return total;
}

static pid_t window_pid(xcb_connection_t* c, xcb_window_t w, xcb_atom_t wm_pid) {
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, wm_pid, XCB_ATOM_CARDINAL, 0, 1), NULL);
    pid_t pid = 0;
    if (r && xcb_get_property_value_length(r) == 4)
        pid = (pid_t) * (uint32_t*)xcb_get_property_value(r);
    free(r);
    return pid;
}

static long rss_kb(pid_t pid) {
    char path[64], line[256];
    snprintf(path, sizeof path, "/proc/%d/status", pid);
    FILE* f = fopen(path, "r");
    long kb = -1;
    while (f && fgets(line, sizeof line, f)) {
        if (strncmp(line, "VmRSS:", 6) == 0)
            kb = atol(line + 6);
    }
    if (f)
        fclose(f);
    return kb;
}

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: %s SETTLE_MS IDLE_S PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    const int settle = atoi(argv[1]), idle = atoi(argv[2]);
    xcb_connection_t* c = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(c)) {
        fprintf(stderr, "cannot connect to the X server\n");
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    xcb_window_t host = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, host, screen->root, 0, 0, 64, 32, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, 0, NULL);
    xcb_map_window(c, host);
    const xcb_atom_t selection = atom(c, "_NET_SYSTEM_TRAY_S0"), opcode = atom(c, "_NET_SYSTEM_TRAY_OPCODE"),
                     manager = atom(c, "MANAGER"), wm_pid = atom(c, "_NET_WM_PID");
    xcb_set_selection_owner(c, host, selection, XCB_CURRENT_TIME);
    xcb_client_message_event_t m = {0};
    m.response_type = XCB_CLIENT_MESSAGE;
    m.format = 32;
    m.window = screen->root;
    m.type = manager;
    m.data.data32[0] = XCB_CURRENT_TIME;
    m.data.data32[1] = selection;
    m.data.data32[2] = host;
    xcb_send_event(c, 0, screen->root, XCB_EVENT_MASK_STRUCTURE_NOTIFY, (const char*)&m);
    xcb_flush(c);

    const double start = now_ms();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[3], argv + 3);
        _exit(127);
    }
    double docked = -1;
    pid_t measured = pid;
    int started_ended = 0;
    struct pollfd p = {xcb_get_file_descriptor(c), POLLIN, 0};
    while (docked < 0 && now_ms() - start < 20000) {
        xcb_generic_event_t* e;
        while ((e = xcb_poll_for_event(c))) {
            if ((e->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                xcb_client_message_event_t* cm = (xcb_client_message_event_t*)e;
                if (cm->type == opcode && cm->data.data32[1] == 0 && docked < 0) {
                    docked = now_ms() - start;
                    const pid_t owner = window_pid(c, cm->data.data32[2], wm_pid);
                    if (owner > 0)
                        measured = owner;
                    // Embed it as a tray would, so it draws.
                    xcb_reparent_window(c, cm->data.data32[2], host, 0, 0);
                    xcb_map_window(c, cm->data.data32[2]);
                    xcb_flush(c);
                }
            }
            free(e);
        }
        int status;
        if (docked < 0 && !started_ended && waitpid(pid, &status, WNOHANG) == pid) {
            // Ended having started the program that docks (status 0), or failed.
            started_ended = 1;
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                fprintf(stderr, "%s ended before showing an icon (status %d)\n", argv[3], status);
                return 1;
            }
        }
        if (docked < 0)
            poll(&p, 1, 100);
    }
    usleep(settle * 1000);
    const long rss = rss_kb(measured);
    const long before =
        sum_status(measured, "voluntary_ctxt_switches") + sum_status(measured, "nonvoluntary_ctxt_switches");
    sleep(idle);
    const long after =
        sum_status(measured, "voluntary_ctxt_switches") + sum_status(measured, "nonvoluntary_ctxt_switches");
    if (docked >= 0)
        printf("%.1f %ld %ld", docked, rss, idle > 0 ? after - before : 0);
    const char* then = getenv("TRAY_HOST_THEN");
    if (docked >= 0 && then && *then) {
        char pid_text[32];
        snprintf(pid_text, sizeof pid_text, "%d", measured);
        setenv("PROGRAM_PID", pid_text, 1);
        const int ran = system(then);
        // The events the program's windows sent meanwhile are of no interest.
        xcb_generic_event_t* e;
        while ((e = xcb_poll_for_event(c)))
            free(e);
        printf(" %ld", ran == 0 ? rss_kb(measured) : -1L);
        const char* rest = getenv("TRAY_HOST_REST");
        if (rest && atoi(rest) > 0) {
            sleep((unsigned)atoi(rest));
            printf(" %ld", rss_kb(measured));
        }
    }
    if (docked >= 0)
        printf("\n");
    kill(measured, SIGTERM);
    if (measured != pid) {
        // Not our child: wait for it to go.
        for (int i = 0; i < 200 && kill(measured, 0) == 0; ++i)
            usleep(10000);
    }
    waitpid(pid, NULL, 0);
    xcb_disconnect(c);
    return docked < 0;
}
