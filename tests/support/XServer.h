#pragma once

#include <QByteArray>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace plim::test {

// An X server of the test's own: Xvfb on a display number it picks itself, so tests never press
// keys on the user's desktop and several can run at once. Start it before the application, which
// connects once. It goes away with the test process, even one that crashed.
class XServer {
public:
    explicit XServer(int timeoutMs = 10000) {
        int ready[2];
        if (::pipe2(ready, O_CLOEXEC) != 0) {
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            ::dup2(ready[1], 3); // dup2 clears close-on-exec on the copy
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "1280x800x24", "-nolisten", "tcp",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(ready[1]);
        // Xvfb writes the display number once it takes connections.
        QByteArray number;
        pollfd wait{ready[0], POLLIN, 0};
        while (pid_ > 0 && !number.endsWith('\n') && ::poll(&wait, 1, timeoutMs) > 0) {
            char buffer[16];
            const ssize_t n = ::read(ready[0], buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            number.append(buffer, n);
        }
        ::close(ready[0]);
        if (number.endsWith('\n')) {
            display_ = ':' + number.trimmed();
        }
    }
    ~XServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
        }
    }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool isRunning() const { return !display_.isEmpty(); }
    // ":N", for DISPLAY.
    QByteArray display() const { return display_; }

private:
    pid_t pid_ = -1;
    QByteArray display_;
};

} // namespace plim::test
