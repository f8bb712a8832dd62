#include "stop_signal.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "delay.h"

namespace {

bool MakeNonBlockingCloseOnExec(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return false;
    return fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

}  // namespace

StopSignal::~StopSignal() { Close(); }

bool StopSignal::Open() {
    Close();
    int fds[2];
    if (pipe(fds) != 0) return false;
    if (!MakeNonBlockingCloseOnExec(fds[0]) || !MakeNonBlockingCloseOnExec(fds[1])) {
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    readFd_ = fds[0];
    writeFd_ = fds[1];
    raised_.store(false, std::memory_order_release);
    return true;
}

void StopSignal::Close() {
    if (readFd_ >= 0) close(readFd_);
    if (writeFd_ >= 0) close(writeFd_);
    readFd_ = -1;
    writeFd_ = -1;
}

void StopSignal::Raise() {
    raised_.store(true, std::memory_order_release);
    // The byte is never read back: the pipe stays readable for every poll.
    if (writeFd_ >= 0) {
        const char byte = 1;
        ssize_t ignored = write(writeFd_, &byte, 1);
        (void)ignored;
    }
}

bool StopSignal::Sleep(long milliseconds) const {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        if (Raised()) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return true;
        struct pollfd wake = {readFd_, POLLIN, 0};
        // Rounded up so that the sleep never ends early.
        const int result = poll(&wake, 1, static_cast<int>(left) + 1);
        if (result < 0 && errno != EINTR) {
            Delay(left);  // no poll to wait with: sleep without the wake-up
            return !Raised();
        }
    }
}
