// The floor under any durable rewrite of a notes file: read it whole, write the new text (with one
// line added after its first line) to a temporary beside it, fsync that, rename it over the file and
// fsync the folder. No parse, no lock, no checks: what nothing can beat.
//   write_floor FILE [LINE]
#define _GNU_SOURCE
#include <fcntl.h>
#include <libgen.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static int fail(const char* what) {
    perror(what);
    return 1;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: write_floor FILE [LINE]\n");
        return 2;
    }
    const char* path = argv[1];
    const char* line = argc > 2 ? argv[2] : "- [ ] floor  <!-- 12:00 -->";
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return fail("open");
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        return fail("fstat");
    }
    size_t size = (size_t)st.st_size;
    size_t extra = strlen(line) + 1;
    char* buf = malloc(size + extra);
    size_t got = 0;
    while (got < size) {
        ssize_t n = read(fd, buf + got, size - got);
        if (n <= 0) {
            return fail("read");
        }
        got += (size_t)n;
    }
    close(fd);
    // After the first line: where a capture under today's heading would go, give or take.
    char* nl = memchr(buf, '\n', size);
    size_t at = nl ? (size_t)(nl - buf) + 1 : size;
    memmove(buf + at + extra, buf + at, size - at);
    memcpy(buf + at, line, extra - 1);
    buf[at + extra - 1] = '\n';

    char tmp[4096];
    snprintf(tmp, sizeof tmp, "%s.floor-tmp", path);
    int out = open(tmp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0) {
        return fail("open temporary");
    }
    size_t put = 0;
    while (put < size + extra) {
        ssize_t n = write(out, buf + put, size + extra - put);
        if (n <= 0) {
            return fail("write");
        }
        put += (size_t)n;
    }
    if (fsync(out) != 0 || close(out) != 0) {
        return fail("fsync");
    }
    if (rename(tmp, path) != 0) {
        return fail("rename");
    }
    char folder[4096];
    snprintf(folder, sizeof folder, "%s", path);
    int dir = open(dirname(folder), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0 || fsync(dir) != 0) {
        return fail("fsync folder");
    }
    close(dir);
    free(buf);
    return 0;
}
