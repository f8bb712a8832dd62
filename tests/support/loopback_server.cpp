#include "loopback_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace morindale_test {

namespace {

using std::chrono::milliseconds;

int PollLeft(LoopbackServer::Clock::time_point deadline) {
    const auto left =
        std::chrono::ceil<milliseconds>(deadline - LoopbackServer::Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

// Binds a TCP socket to 127.0.0.1 on an ephemeral port; returns the port.
int BindLoopback(unsigned short* port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("no socket for the test server");
    struct sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(fd);
        throw std::runtime_error("cannot bind the test server to 127.0.0.1");
    }
    *port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

// --- ServerConnection --------------------------------------------------------

std::string ServerConnection::ReadRequest(milliseconds timeout) {
    std::string bytes;
    const auto deadline = LoopbackServer::Clock::now() + timeout;
    bool headerEnded = false;
    char buffer[4096];
    while (fd_ >= 0) {
        const bool draining = headerEnded;
        struct pollfd fds[2] = {{fd_, POLLIN, 0}, {server_.wakeFd(), POLLIN, 0}};
        const int waited = poll(fds, 2, draining ? 100 : PollLeft(deadline));
        if (waited < 0 && errno == EINTR) continue;
        if (waited <= 0 || fds[1].revents != 0) break;
        const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(got));
        if (bytes.find("\r\n\r\n") != std::string::npos) headerEnded = true;
        if (!draining && !headerEnded && LoopbackServer::Clock::now() >= deadline) break;
    }
    server_.recordRequest(index_, bytes);
    return bytes;
}

bool ServerConnection::Send(const std::string& bytes) {
    std::size_t sent = 0;
    while (fd_ >= 0 && sent < bytes.size()) {
        if (server_.stopping()) return false;
        // A client that neither reads nor closes fills the buffers: wait for
        // room together with the wake-up, so that Stop never hangs here.
        struct pollfd fds[2] = {{fd_, POLLOUT, 0}, {server_.wakeFd(), POLLIN, 0}};
        const int waited = poll(fds, 2, -1);
        if (waited < 0 && errno == EINTR) continue;
        if (waited <= 0 || fds[1].revents != 0) return false;
        const ssize_t result =
            send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (result < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (result <= 0) return false;
        sent += static_cast<std::size_t>(result);
    }
    return fd_ >= 0;
}

void ServerConnection::Reset() {
    if (fd_ < 0) return;
    const struct linger abort = {1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    close(fd_);
    fd_ = -1;
}

bool ServerConnection::Wait(milliseconds duration) {
    const auto deadline = LoopbackServer::Clock::now() + duration;
    for (;;) {
        if (server_.stopping()) return false;
        const int left = PollLeft(deadline);
        if (left == 0) return true;
        struct pollfd wake = {server_.wakeFd(), POLLIN, 0};
        if (poll(&wake, 1, left) > 0) return false;
    }
}

void ServerConnection::WaitForClientClose(milliseconds limit) {
    const auto deadline = LoopbackServer::Clock::now() + limit;
    char buffer[512];
    while (fd_ >= 0 && !server_.stopping()) {
        const int left = PollLeft(deadline);
        if (left == 0) return;
        struct pollfd fds[2] = {{fd_, POLLIN, 0}, {server_.wakeFd(), POLLIN, 0}};
        const int waited = poll(fds, 2, left);
        if (waited < 0 && errno == EINTR) continue;
        if (waited <= 0 || fds[1].revents != 0) return;
        if (recv(fd_, buffer, sizeof buffer, 0) <= 0) return;
    }
}

// --- LoopbackServer ----------------------------------------------------------

LoopbackServer::LoopbackServer(Handler handler) : handler_(std::move(handler)) {
    if (pipe2(wakePipe_, O_CLOEXEC) != 0) throw std::runtime_error("no pipe for the test server");
    listenFd_ = BindLoopback(&port_);
    if (listen(listenFd_, 16) != 0) {
        close(listenFd_);
        throw std::runtime_error("listen failed");
    }
    acceptThread_ = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() { Stop(); }

bool LoopbackServer::stopping() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopping_;
}

void LoopbackServer::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopped_) return;
        stopped_ = true;
        stopping_ = true;
    }
    const char byte = 1;
    if (write(wakePipe_[1], &byte, 1) < 0) { /* the threads also check stopping_ */ }
    if (acceptThread_.joinable()) acceptThread_.join();
    for (std::thread& thread : handlerThreads_) thread.join();
    close(listenFd_);
    close(wakePipe_[0]);
    close(wakePipe_[1]);
}

void LoopbackServer::AcceptLoop() {
    while (!stopping()) {
        struct pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        const int waited = poll(fds, 2, 200);
        if (waited <= 0 || fds[1].revents != 0) continue;
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::lock_guard<std::mutex> lock(mutex_);
        const std::size_t index = acceptTimes_.size();
        acceptTimes_.push_back(Clock::now());
        requests_.emplace_back();
        handlerThreads_.emplace_back([this, fd, index] {
            ServerConnection connection(*this, fd, index);
            try {
                handler_(connection);
            } catch (...) {
            }
            if (connection.fd() >= 0) close(connection.fd());
            std::lock_guard<std::mutex> done(mutex_);
            ++handlersDone_;
        });
    }
}

void LoopbackServer::recordRequest(std::size_t index, const std::string& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < requests_.size()) requests_[index] = bytes;
}

std::size_t LoopbackServer::connections() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return acceptTimes_.size();
}

std::vector<LoopbackServer::Clock::time_point> LoopbackServer::acceptTimes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return acceptTimes_;
}

std::vector<std::string> LoopbackServer::requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

bool LoopbackServer::WaitForConnections(std::size_t count, milliseconds timeout) const {
    const auto deadline = Clock::now() + timeout;
    while (connections() < count) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(milliseconds(2));
    }
    return true;
}

bool LoopbackServer::WaitForHandlersDone(std::size_t count, milliseconds timeout) const {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (handlersDone_ >= count) return true;
        }
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(milliseconds(2));
    }
}

LoopbackServer::Handler LoopbackServer::Reply(std::string bytes) {
    return [bytes](ServerConnection& connection) {
        connection.ReadRequest();
        connection.Send(bytes);
    };
}

LoopbackServer::Handler LoopbackServer::CloseAtOnce() {
    return [](ServerConnection& connection) {
        // The close (FIN) goes out at once; the request is still taken in
        // afterwards, since closing on unread bytes would send a reset instead.
        shutdown(connection.fd(), SHUT_WR);
        connection.ReadRequest(std::chrono::milliseconds(2000));
    };
}

LoopbackServer::Handler LoopbackServer::Hang() {
    return [](ServerConnection& connection) {
        connection.ReadRequest();
        connection.WaitForClientClose(milliseconds(60000));
    };
}

LoopbackServer::Handler LoopbackServer::Trickle(std::string bytes, milliseconds interval) {
    return [bytes, interval](ServerConnection& connection) {
        connection.ReadRequest();
        for (char byte : bytes) {
            if (!connection.Send(std::string(1, byte)) || !connection.Wait(interval)) return;
        }
    };
}

LoopbackServer::Handler LoopbackServer::SendThenReset(std::string bytes) {
    return [bytes](ServerConnection& connection) {
        connection.ReadRequest();
        connection.Send(bytes);
        // Let the bytes reach the client before the reset overtakes them.
        connection.Wait(milliseconds(100));
        connection.Reset();
    };
}

LoopbackServer::Handler LoopbackServer::SendAndHold(std::string bytes) {
    return [bytes](ServerConnection& connection) {
        connection.ReadRequest();
        connection.Send(bytes);
        connection.WaitForClientClose(milliseconds(60000));
    };
}

std::string HttpReply(const std::string& body, const std::string& status) {
    return "HTTP/1.1 " + status + "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

// --- FullBacklogListener -----------------------------------------------------

FullBacklogListener::FullBacklogListener() {
    listenFd_ = BindLoopback(&port_);
    if (listen(listenFd_, 0) != 0) throw std::runtime_error("listen failed");
    struct sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port_);
    // Fill the accept queue; later SYNs are dropped while it stays full.
    for (int i = 0; i < 3; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) continue;
        connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers_.push_back(fd);
    }
    std::this_thread::sleep_for(milliseconds(50));
}

FullBacklogListener::~FullBacklogListener() {
    for (int fd : fillers_) close(fd);
    close(listenFd_);
}

unsigned short UnusedLoopbackPort() {
    unsigned short port = 0;
    close(BindLoopback(&port));
    return port;
}

}  // namespace morindale_test
