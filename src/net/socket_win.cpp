// The socket calls of CHTTPSocket over Winsock 2. A wait registers a fresh
// event for the socket's network events (WSAEventSelect), then asks select()
// with no timeout whether the condition already holds; only if not does it
// sleep on the socket's event and the stop event together. An event that
// happens after the registration sets the event object, one before it is
// seen by select(), so no wake-up is lost. A failed connect shows in
// select()'s exception set.
#include <winsock2.h>

#include "socket.h"
#include "stop_signal.h"

namespace {

SOCKET Native(int socket) { return static_cast<SOCKET>(static_cast<unsigned int>(socket)); }

enum class Ready { Yes, No, Failed };

Ready CheckNow(SOCKET s, SocketEvent event) {
    fd_set wanted;
    fd_set failed;
    FD_ZERO(&wanted);
    FD_ZERO(&failed);
    FD_SET(s, &wanted);
    FD_SET(s, &failed);
    timeval none = {0, 0};
    const int result = event == SocketEvent::Readable ? select(0, &wanted, nullptr, &failed, &none)
                                                      : select(0, nullptr, &wanted, &failed, &none);
    if (result == SOCKET_ERROR) return Ready::Failed;
    // A failed connect: the next call on the socket reports the error.
    if (FD_ISSET(s, &wanted) || FD_ISSET(s, &failed)) return Ready::Yes;
    return Ready::No;
}

}  // namespace

bool SocketsAcquire() {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void SocketsRelease() { WSACleanup(); }

int SocketOpen() {
    // WSA_FLAG_NO_HANDLE_INHERIT: no process the client starts inherits it.
    const SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) return -1;
    // Socket handles fit in 32 bits (Windows keeps handle values below 2^24
    // for 32-bit interoperability); one that would not, or 0, is refused.
    if (s == 0 || s > 0x7fffffff) {
        closesocket(s);
        return -1;
    }
    u_long nonBlocking = 1;
    if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        closesocket(s);
        return -1;
    }
    return static_cast<int>(s);
}

void SocketClose(int socket) { closesocket(Native(socket)); }

int SocketConnectStart(int socket, const struct sockaddr_in& address) {
    if (::connect(Native(socket), reinterpret_cast<const struct sockaddr*>(&address), sizeof address) == 0) return 1;
    const int error = WSAGetLastError();
    return error == WSAEWOULDBLOCK || error == WSAEINPROGRESS ? 0 : -1;
}

bool SocketConnected(int socket) {
    // A connect that failed leaves the socket in select()'s exception set
    // and its error in SO_ERROR.
    const SOCKET s = Native(socket);
    fd_set failed;
    FD_ZERO(&failed);
    FD_SET(s, &failed);
    timeval none = {0, 0};
    if (select(0, nullptr, nullptr, &failed, &none) == SOCKET_ERROR || FD_ISSET(s, &failed)) return false;
    int error = 0;
    int length = sizeof error;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) return false;
    return error == 0;
}

SocketWait SocketWaitFor(int socket, SocketEvent event, int timeoutMs, const StopSignal* stop) {
    const SOCKET s = Native(socket);
    const WSAEVENT socketEvent = WSACreateEvent();
    if (socketEvent == WSA_INVALID_EVENT) return SocketWait::Failed;
    const long interest = event == SocketEvent::Readable ? (FD_READ | FD_CLOSE) : (FD_WRITE | FD_CONNECT | FD_CLOSE);
    SocketWait outcome = SocketWait::Failed;
    if (WSAEventSelect(s, socketEvent, interest) == 0) {
        Ready ready = CheckNow(s, event);
        if (ready == Ready::No) {
            HANDLE handles[2] = {socketEvent, stop != nullptr ? static_cast<HANDLE>(stop->event()) : nullptr};
            const DWORD count = handles[1] != nullptr ? 2 : 1;
            const DWORD result =
                WaitForMultipleObjects(count, handles, FALSE, timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
            if (result == WAIT_FAILED) ready = Ready::Failed;
            else if (result == WAIT_OBJECT_0) ready = CheckNow(s, event);
        }
        if (stop != nullptr && stop->Raised()) outcome = SocketWait::Stopped;
        else if (ready == Ready::Yes) outcome = SocketWait::Ready;
        else if (ready == Ready::No) outcome = SocketWait::Nothing;
        // Back to a plain non-blocking socket for the calls that follow.
        WSAEventSelect(s, nullptr, 0);
        u_long nonBlocking = 1;
        ioctlsocket(s, FIONBIO, &nonBlocking);
    }
    WSACloseEvent(socketEvent);
    return outcome;
}

long SocketSend(int socket, const char* data, int length) {
    const int sent = send(Native(socket), data, length, 0);
    return sent == SOCKET_ERROR ? -1 : sent;
}

long SocketReceive(int socket, char* buffer, int length) {
    const int got = recv(Native(socket), buffer, length, 0);
    if (got != SOCKET_ERROR) return got;
    return WSAGetLastError() == WSAEWOULDBLOCK ? -2 : -1;
}
