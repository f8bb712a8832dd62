#include "http_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>

#include "delay.h"
#include "host_lookup.h"
#include "stop_signal.h"

namespace {

using Clock = std::chrono::steady_clock;

#if defined(MSG_NOSIGNAL)
// A write to a connection the server has reset must fail, not raise SIGPIPE
// in the client's process.
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;  // SO_NOSIGPIPE is set on the socket instead
#endif

// A point in time after which a wait gives up; none for a limit of 0 or less.
class Deadline {
public:
    explicit Deadline(int milliseconds)
        : limited_(milliseconds > 0), at_(Clock::now() + std::chrono::milliseconds(milliseconds)) {}

    // Milliseconds left for poll, rounded up; -1 without a limit.
    int PollTimeout() const {
        if (!limited_) return -1;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(at_ - Clock::now()).count();
        if (left <= 0) return 0;
        return left > INT_MAX ? INT_MAX : static_cast<int>(left);
    }
    bool Passed() const { return limited_ && Clock::now() >= at_; }

private:
    bool limited_;
    Clock::time_point at_;
};

enum class Wait { Ready, TimedOut, Stopped, Failed };

// Waits until the socket shows `events` (or an error or hang-up, which the
// next call on it then reports), the deadline passes or `stop` is raised.
Wait WaitFor(int fd, short events, const Deadline& deadline, const StopSignal* stop) {
    int stopFd = stop != nullptr ? stop->fd() : -1;
    for (;;) {
        if (stop != nullptr && stop->Raised()) return Wait::Stopped;
        if (deadline.Passed()) return Wait::TimedOut;
        struct pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
        const int result = poll(fds, 2, deadline.PollTimeout());
        if (result < 0) {
            if (errno == EINTR) continue;
            return Wait::Failed;
        }
        if (stop != nullptr && stop->Raised()) return Wait::Stopped;
        if (fds[0].revents & POLLNVAL) return Wait::Failed;
        if (fds[0].revents != 0) return Wait::Ready;
        // A wake-up descriptor that went bad must not turn the wait into a spin.
        if (fds[1].revents & (POLLNVAL | POLLERR)) stopFd = -1;
    }
}

// A non-blocking TCP socket that is never inherited by a child process, or
// -1. Descriptor 0 means "no socket" to the class, so it is never used.
int OpenSocket() {
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

// Finds the server's address the first time a command needs it, within the
// connect's deadline; true when serverAddr holds it.
bool LookUpServer(CHTTPSocket& socket, const Deadline& deadline) {
    if (socket.hostState == CHTTPSocket::HostState::Found) return true;
    if (socket.hostState != CHTTPSocket::HostState::ToLookUp) return false;
    const int timeout = deadline.PollTimeout();  // -1: no limit
    if (timeout == 0) return false;
    struct in_addr address;
    switch (LookUpHostIPv4(socket.hostName, timeout, socket.stopSignal, &address)) {
    case HostLookupResult::Found:
        std::memset(&socket.serverAddr, 0, sizeof socket.serverAddr);
        socket.serverAddr.sin_family = AF_INET;
        socket.serverAddr.sin_addr = address;
        socket.serverAddr.sin_port = htons(socket.port);
        socket.hostState = CHTTPSocket::HostState::Found;
        return true;
    case HostLookupResult::NotFound:
        std::fputs("ERROR, no such host\n", stderr);
        socket.hostState = CHTTPSocket::HostState::NotFound;
        return false;
    case HostLookupResult::TimedOut:
    case HostLookupResult::Stopped:
        break;
    }
    return false;
}

}  // namespace

CHTTPSocket::CHTTPSocket()
    : socketFd(0),
      port(0),
      hostName{},
      readTimeout(100),
      serverAddr{},
      readFlag(false),
      busy(false),
      connectTimeout(kDefaultConnectTimeoutMs),
      stopSignal(nullptr),
      hostState(HostState::NoHost) {
    // Family 0 marks "no address": _connect refuses it rather than handing
    // the system an address that would mean something else.
    std::memset(&serverAddr, 0, sizeof serverAddr);
}

CHTTPSocket::~CHTTPSocket() { cleanup(); }

int CHTTPSocket::initNetCom(unsigned short newPort, const char* host) {
    port = newPort;
    if (host == nullptr) host = "";
    const std::size_t length = strnlen(host, sizeof hostName - 1);
    std::memcpy(hostName, host, length);
    hostName[length] = '\0';
    // Looked up by the next command, whose connect time bounds the lookup.
    std::memset(&serverAddr, 0, sizeof serverAddr);
    hostState = HostState::ToLookUp;
    cleanup();
    return 1;
}

void CHTTPSocket::SetReadTimeout(int timeout, bool flag) {
    readTimeout = timeout;
    readFlag = flag;
}

void CHTTPSocket::cleanup() {
    if (socketFd > 0) close(socketFd);
    socketFd = 0;
}

bool CHTTPSocket::_connect() {
    const Deadline deadline(connectTimeout);
    if (!LookUpServer(*this, deadline)) return false;
    if (socketFd == 0) socketFd = OpenSocket();
    if (socketFd < 0) return false;
    if (serverAddr.sin_family != AF_INET) return false;
    if (::connect(socketFd, reinterpret_cast<const struct sockaddr*>(&serverAddr), sizeof serverAddr) == 0)
        return true;
    if (errno != EINPROGRESS && errno != EINTR) return false;
    // The connect goes on in the background; give it a bounded time.
    if (WaitFor(socketFd, POLLOUT, deadline, stopSignal) != Wait::Ready) return false;
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(socketFd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return false;
    return error == 0;
}

bool CHTTPSocket::sendData(const char* data, int length) {
    if (socketFd <= 0 || data == nullptr || length < 0) {
        cleanup();
        return false;
    }
    // A fresh connection can take the bytes at once; the wait only lets a
    // raised stop signal end the command here too.
    if (WaitFor(socketFd, POLLOUT, Deadline(readTimeout), stopSignal) != Wait::Ready ||
        send(socketFd, data, static_cast<std::size_t>(length), kSendFlags) < 0) {
        cleanup();
        return false;
    }
    return true;  // a short count is no failure; nothing is written again
}

int CHTTPSocket::readData(char* buffer, int size, bool /*flag*/) {
    if (socketFd == 0) return 0;
    if (socketFd < 0) {
        cleanup();
        return -1;
    }
    if (buffer == nullptr || size <= 0) return 0;
    // One byte stays free for the terminating zero.
    const int limit = size - 1;
    const Deadline deadline(readTimeout);
    int total = 0;
    while (total < limit) {
        ssize_t got = -1;
        if (WaitFor(socketFd, POLLIN, deadline, stopSignal) == Wait::Ready) {
            got = read(socketFd, buffer + total, static_cast<std::size_t>(limit - total));
            if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        }
        if (got < 0) {
            // Failed, timed out or stopped: what arrived so far is the reply.
            cleanup();
            if (total == 0) return -1;
            break;
        }
        if (got == 0) break;  // the server closed the connection
        total += static_cast<int>(got);
    }
    buffer[total] = '\0';
    return total;
}

int CHTTPSocket::HTTPCommand(const char* request, int requestLength, char* reply, int replySize) {
    while (busy.exchange(true, std::memory_order_acquire)) Delay(1);
    Delay(1);

    int result = -1;
    const bool connected = socketFd == 0 ? _connect() : socketFd > 0;
    if (connected && sendData(request, requestLength)) result = readData(reply, replySize, readFlag);

    if (socketFd != 0) cleanup();
    busy.store(false, std::memory_order_release);
    return result;
}
