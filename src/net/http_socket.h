// A minimal HTTP client over IPv4 TCP: one request per connection. The
// caller names the server once (initNetCom), then hands over complete request
// bytes (HTTPCommand); each command connects, sends the bytes in one write,
// reads until the server closes, the buffer is full or the read time is up,
// and closes again. The class knows no HTTP syntax.
//
// Every call blocks the calling thread, but never without bound: the host
// lookup and the connect together give up after connectTimeout ms, the read
// after readTimeout ms, and a raised StopSignal ends any of them at once.
// Never use it on a client thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "socket.h"

class StopSignal;

class CHTTPSocket {
public:
    // How long a connect may take before the command gives up.
    static constexpr int kDefaultConnectTimeoutMs = 3000;

    CHTTPSocket();
    ~CHTTPSocket();
    CHTTPSocket(const CHTTPSocket&) = delete;
    CHTTPSocket& operator=(const CHTTPSocket&) = delete;

    // Stores port and host (at most 99 characters are kept), forgets the old
    // address and closes any open socket; returns 1. The host is looked up
    // (IPv4, first address) by the next command, inside its connect time, so
    // that a resolver that never answers is bounded and stoppable like a
    // connect. A name that does not resolve prints "ERROR, no such host" on
    // standard error once; every command then fails until the next initNetCom.
    int initNetCom(unsigned short port, const char* host);

    // timeout: the longest a read of one reply may take, in ms (0 or less:
    // no limit). flag: stored and handed to the reads, which ignore it.
    void SetReadTimeout(int timeout, bool flag);

    // While raised, connects and reads end at once as failures; null: none.
    void SetStopSignal(const StopSignal* stop) { stopSignal = stop; }

    // One exchange on a fresh connection. Returns -1 (no connection, write
    // failed, or nothing read before a failure or the time limit), 0 (the
    // server closed without a byte) or the byte count n; at most
    // replySize - 1 bytes are read and a zero byte follows them, so the reply
    // buffer is never written past replySize bytes.
    int HTTPCommand(const char* request, int requestLength, char* reply, int replySize);

    // The steps of HTTPCommand.
    void cleanup();  // closes the socket, if one is open
    bool _connect();
    bool sendData(const char* data, int length);
    int readData(char* buffer, int size, bool flag);

    int socketFd;               // 0: no socket open
    uint16_t port;              // host byte order
    char hostName[100];         // zero-terminated
    int readTimeout;            // ms; 100 after construction
    struct sockaddr_in serverAddr;  // family 0 until a lookup succeeded: no connect
    bool readFlag;
    std::atomic<bool> busy;     // a command runs on this object
    int connectTimeout;         // ms, the host lookup included
    const StopSignal* stopSignal;
    bool socketsReady;          // the system's socket calls may be used

    // What is known of hostName's address. A lookup that timed out or was
    // stopped leaves ToLookUp, so the next command asks again.
    enum class HostState : unsigned char { NoHost, ToLookUp, Found, NotFound };
    HostState hostState;
};
