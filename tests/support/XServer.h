#pragma once

#include <QByteArray>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace plim::test {

// An X server of the test's own: Xvfb on a display number it picks itself, so tests never press
// keys on the user's desktop and several can run at once. Start it before the application, which
// connects once. It goes away with the test process, even one that crashed.
class XServer {
public:
    XServer() {
        // A display number of its own, far above the low ones: left to pick one itself (-displayfd
        // alone), Xvfb goes by its sockets only, and two servers starting at once can end up on one
        // number, each holding one of its two sockets. Xvfb locks a number it is given.
        const int first = 200 + ::getpid() % 600;
        for (int n = first; n < first + 20 && display_.isEmpty(); ++n) {
            const std::string number = std::to_string(n);
            if (::access(("/tmp/.X11-unix/X" + number).c_str(), F_OK) != 0 &&
                ::access(("/tmp/.X" + number + "-lock").c_str(), F_OK) != 0) {
                start(number);
            }
        }
    }
    ~XServer() { stop(); }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool isRunning() const { return !display_.isEmpty(); }
    // ":N", for DISPLAY.
    QByteArray display() const { return display_; }

private:
    // Starts Xvfb on the display and waits (up to ten seconds) until it takes connections; on failure
    // (another server holds the number) nothing is left running.
    void start(const std::string& number) {
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
            // -noreset: a server whose last client leaves resets, and a client connecting meanwhile
            // (a program started right after a command's display check let go) is refused.
            ::execlp("Xvfb", "Xvfb", (':' + number).c_str(), "-displayfd", "3", "-screen", "0", "1280x800x24",
                     "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(ready[1]);
        // Xvfb writes the display number once it takes connections.
        QByteArray written;
        pollfd wait{ready[0], POLLIN, 0};
        while (pid_ > 0 && !written.endsWith('\n') && ::poll(&wait, 1, 10000) > 0) {
            char buffer[16];
            const ssize_t n = ::read(ready[0], buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            written.append(buffer, n);
        }
        ::close(ready[0]);
        if (written.endsWith('\n')) {
            display_ = ':' + written.trimmed();
        } else {
            stop();
        }
    }
    void stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
        }
        pid_ = -1;
    }

    pid_t pid_ = -1;
    QByteArray display_;
};

} // namespace plim::test
