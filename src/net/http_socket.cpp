#include "http_socket.h"

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>

#include "delay.h"
#include "host_lookup.h"
#include "socket.h"
#include "stop_signal.h"

namespace {

using Clock = std::chrono::steady_clock;

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

// Waits until the socket shows `event` (or an error or hang-up, which the
// next call on it then reports), the deadline passes or `stop` is raised.
SocketWait WaitFor(int fd, SocketEvent event, const Deadline& deadline, const StopSignal* stop) {
    for (;;) {
        if (stop != nullptr && stop->Raised()) return SocketWait::Stopped;
        if (deadline.Passed()) return SocketWait::Nothing;
        const SocketWait result = SocketWaitFor(fd, event, deadline.PollTimeout(), stop);
        if (result != SocketWait::Nothing) return result;
    }
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
      socketsReady(SocketsAcquire()),
      hostState(HostState::NoHost) {
    // Family 0 marks "no address": _connect refuses it rather than handing
    // the system an address that would mean something else.
    std::memset(&serverAddr, 0, sizeof serverAddr);
}

CHTTPSocket::~CHTTPSocket() {
    cleanup();
    if (socketsReady) SocketsRelease();
}

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
    if (socketFd > 0) SocketClose(socketFd);
    socketFd = 0;
}

bool CHTTPSocket::_connect() {
    const Deadline deadline(connectTimeout);
    if (!LookUpServer(*this, deadline)) return false;
    if (socketFd == 0) socketFd = socketsReady ? SocketOpen() : -1;
    if (socketFd < 0) return false;
    if (serverAddr.sin_family != AF_INET) return false;
    const int started = SocketConnectStart(socketFd, serverAddr);
    if (started != 0) return started > 0;
    // The connect goes on in the background; give it a bounded time.
    if (WaitFor(socketFd, SocketEvent::Writable, deadline, stopSignal) != SocketWait::Ready) return false;
    return SocketConnected(socketFd);
}

bool CHTTPSocket::sendData(const char* data, int length) {
    if (socketFd <= 0 || data == nullptr || length < 0) {
        cleanup();
        return false;
    }
    // A fresh connection can take the bytes at once; the wait only lets a
    // raised stop signal end the command here too.
    if (WaitFor(socketFd, SocketEvent::Writable, Deadline(readTimeout), stopSignal) != SocketWait::Ready ||
        SocketSend(socketFd, data, length) < 0) {
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
        long got = -1;
        if (WaitFor(socketFd, SocketEvent::Readable, deadline, stopSignal) == SocketWait::Ready) {
            got = SocketReceive(socketFd, buffer + total, limit - total);
            if (got == -2) continue;  // nothing yet after all
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
