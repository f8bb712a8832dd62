// Scriptable TCP servers on 127.0.0.1 for the HTTP and update check tests.
// Each listens on an ephemeral port; every accepted connection runs the
// handler on a thread of its own. Stop() (and the destructor) wakes every
// handler's waits, closes every socket and joins every thread, whatever the
// test's outcome; handlers wait only through ServerConnection, so each ends
// within a bounded time.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace morindale_test {

class LoopbackServer;

// One accepted connection as a handler sees it.
class ServerConnection {
public:
    ServerConnection(LoopbackServer& server, int fd, std::size_t index) : server_(server), fd_(fd), index_(index) {}

    int fd() const { return fd_; }
    std::size_t index() const { return index_; }  // 0 for the first connection

    // Reads the request: until the empty line that ends the header, the
    // client's close or `timeout`, then whatever else arrives within 100 ms.
    // The bytes are recorded (LoopbackServer::requests) and returned.
    std::string ReadRequest(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
    // Sends all bytes; false when the client has gone or the server stops.
    bool Send(const std::string& bytes);
    // Closes at once with a reset (RST) instead of an orderly close.
    void Reset();
    // Waits for `duration`; false when the server began to stop.
    bool Wait(std::chrono::milliseconds duration);
    // Waits until the client closes its end (or the server stops), at most `limit`.
    void WaitForClientClose(std::chrono::milliseconds limit);

private:
    LoopbackServer& server_;
    int fd_;
    std::size_t index_;
};

class LoopbackServer {
public:
    using Handler = std::function<void(ServerConnection&)>;
    using Clock = std::chrono::steady_clock;

    explicit LoopbackServer(Handler handler);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    unsigned short port() const { return port_; }
    void Stop();

    std::size_t connections() const;
    std::vector<Clock::time_point> acceptTimes() const;
    std::vector<std::string> requests() const;  // per connection, in accept order
    bool WaitForConnections(std::size_t count, std::chrono::milliseconds timeout) const;
    // Waits until `count` handlers have returned.
    bool WaitForHandlersDone(std::size_t count, std::chrono::milliseconds timeout) const;

    // --- Canned behaviours ---------------------------------------------------
    // Reads the request, sends `bytes` and closes.
    static Handler Reply(std::string bytes);
    // Accepts and closes its side at once, before any byte; then takes in
    // the request so that the close stays orderly (no reset).
    static Handler CloseAtOnce();
    // Reads the request and then never answers, holding the connection open.
    static Handler Hang();
    // Reads the request, then sends `bytes` one byte per `interval`.
    static Handler Trickle(std::string bytes, std::chrono::milliseconds interval);
    // Reads the request, sends `bytes`, then resets the connection.
    static Handler SendThenReset(std::string bytes);
    // Reads the request, sends `bytes` and keeps the connection open until
    // the client closes it.
    static Handler SendAndHold(std::string bytes);

    // Internal, for ServerConnection.
    int wakeFd() const { return wakePipe_[0]; }
    bool stopping() const;
    void recordRequest(std::size_t index, const std::string& bytes);

private:
    void AcceptLoop();

    Handler handler_;
    int listenFd_ = -1;
    int wakePipe_[2] = {-1, -1};
    unsigned short port_ = 0;
    std::thread acceptThread_;

    mutable std::mutex mutex_;
    bool stopping_ = false;
    bool stopped_ = false;
    std::vector<std::thread> handlerThreads_;
    std::vector<int> connectionFds_;
    std::vector<Clock::time_point> acceptTimes_;
    std::vector<std::string> requests_;
    std::size_t handlersDone_ = 0;
};

// An HTTP/1.1 reply with the given status line text and body, ending with
// the connection's close.
std::string HttpReply(const std::string& body, const std::string& status = "200 OK");

// A listener whose accept queue is full and which never accepts: a connect
// to it hangs (its SYN is dropped) until the client gives up.
class FullBacklogListener {
public:
    FullBacklogListener();
    ~FullBacklogListener();
    FullBacklogListener(const FullBacklogListener&) = delete;
    FullBacklogListener& operator=(const FullBacklogListener&) = delete;
    unsigned short port() const { return port_; }

private:
    int listenFd_ = -1;
    std::vector<int> fillers_;
    unsigned short port_ = 0;
};

// A port on 127.0.0.1 where nothing listens (bound once, then released).
unsigned short UnusedLoopbackPort();

}  // namespace morindale_test
