#include "socket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "stop_signal.h"

namespace {

#if defined(MSG_NOSIGNAL)
// A write to a connection the server has reset must fail, not raise SIGPIPE
// in the client's process.
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;  // SO_NOSIGPIPE is set on the socket instead
#endif

}  // namespace

bool SocketsAcquire() { return true; }
void SocketsRelease() {}

int SocketOpen() {
    int fd = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (fd == 0) {
        const int other = fcntl(fd, F_DUPFD_CLOEXEC, 1);
        close(fd);
        fd = other;
    }
    if (fd < 0) return -1;
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0 || fcntl(fd, F_SETFD, FD_CLOEXEC) < 0) {
        close(fd);
        return -1;
    }
#if defined(SO_NOSIGPIPE)
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
    return fd;
}

void SocketClose(int socket) { close(socket); }

int SocketConnectStart(int socket, const struct sockaddr_in& address) {
    if (::connect(socket, reinterpret_cast<const struct sockaddr*>(&address), sizeof address) == 0) return 1;
    return errno == EINPROGRESS || errno == EINTR ? 0 : -1;
}

bool SocketConnected(int socket) {
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return false;
    return error == 0;
}

SocketWait SocketWaitFor(int socket, SocketEvent event, int timeoutMs, const StopSignal* stop) {
    int stopFd = stop != nullptr ? stop->fd() : -1;
    const short events = event == SocketEvent::Readable ? POLLIN : POLLOUT;
    for (;;) {
        struct pollfd fds[2] = {{socket, events, 0}, {stopFd, POLLIN, 0}};
        const int result = poll(fds, 2, timeoutMs);
        if (result < 0) return errno == EINTR ? SocketWait::Nothing : SocketWait::Failed;
        if (stop != nullptr && stop->Raised()) return SocketWait::Stopped;
        if (fds[0].revents & POLLNVAL) return SocketWait::Failed;
        if (fds[0].revents != 0) return SocketWait::Ready;
        if (result == 0) return SocketWait::Nothing;
        // A wake-up descriptor that went bad must not turn the wait into a
        // spin: wait on for the socket alone.
        if (fds[1].revents & (POLLNVAL | POLLERR)) stopFd = -1;
    }
}

long SocketSend(int socket, const char* data, int length) {
    return static_cast<long>(send(socket, data, static_cast<std::size_t>(length), kSendFlags));
}

long SocketReceive(int socket, char* buffer, int length) {
    const ssize_t got = read(socket, buffer, static_cast<std::size_t>(length));
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return -2;
    return static_cast<long>(got);
}
