// The system's socket calls for CHTTPSocket, one file per platform
// (socket_posix.cpp, socket_win.cpp). Sockets are non-blocking IPv4 TCP
// sockets that no child process inherits, held in an int that is never 0
// (0 means "no socket" to CHTTPSocket); -1 stands for a failure.
#pragma once

#if defined(_WIN32)
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#endif

class StopSignal;

enum class SocketWait { Ready, Nothing, Stopped, Failed };
enum class SocketEvent { Readable, Writable };

// Makes the socket calls usable (Winsock's start-up on Windows), for as long
// as the matching SocketsRelease has not run; false when they cannot be.
bool SocketsAcquire();
void SocketsRelease();

int SocketOpen();
void SocketClose(int socket);

// Starts connecting: 1 connected, 0 under way (wait until writable, then ask
// SocketConnected), -1 failed.
int SocketConnectStart(int socket, const struct sockaddr_in& address);
bool SocketConnected(int socket);

// Waits at most timeoutMs (-1: without limit) until the socket shows the
// event (or an error or the close, which the next call on it reports) or
// `stop` (may be null) is raised. Nothing: the time passed or the wait was
// interrupted; the caller checks its own deadline and waits again.
SocketWait SocketWaitFor(int socket, SocketEvent event, int timeoutMs, const StopSignal* stop);

// Sends the bytes once; the count sent, or -1.
long SocketSend(int socket, const char* data, int length);
// Receives at most `length` bytes: the count, 0 once the peer has closed,
// -1 on failure, -2 when nothing has arrived yet.
long SocketReceive(int socket, char* buffer, int length);
