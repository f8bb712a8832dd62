#include "fake_network.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

#ifndef MORINDALE_UPDATE_HOST
#error "MORINDALE_UPDATE_HOST and MORINDALE_UPDATE_PORT come from the build"
#endif

namespace {

std::atomic<unsigned short> g_serverPort{0};
std::atomic<bool> g_updateHostResolves{true};
std::atomic<std::size_t> g_lookups{0};
std::atomic<std::size_t> g_failedLookups{0};
std::mutex g_mutex;
std::vector<std::chrono::steady_clock::time_point> g_attempts;

// 127.0.0.1, the one address the fake resolver hands out. Never written.
struct in_addr g_loopback = {htonl(INADDR_LOOPBACK)};
char* g_addressList[] = {reinterpret_cast<char*>(&g_loopback), nullptr};
char* g_noAliases[] = {nullptr};
char g_hostName[] = "localhost";
struct hostent g_loopbackEntry = {g_hostName, g_noAliases, AF_INET, sizeof(struct in_addr), g_addressList};

using ConnectFn = int (*)(int, const struct sockaddr*, socklen_t);

ConnectFn RealConnect() {
    static ConnectFn real = reinterpret_cast<ConnectFn>(dlsym(RTLD_NEXT, "connect"));
    return real;
}

bool IsLoopbackName(const char* name) {
    if (name == nullptr) return false;
    if (std::strcmp(name, MORINDALE_UPDATE_HOST) == 0) return g_updateHostResolves.load();
    return std::strcmp(name, "localhost") == 0 || std::strcmp(name, "127.0.0.1") == 0;
}

}  // namespace

namespace morindale_host {

void SetUpdateServerPort(unsigned short port) { g_serverPort.store(port); }

void SetUpdateHostResolvable(bool resolvable) { g_updateHostResolves.store(resolvable); }

std::vector<std::chrono::steady_clock::time_point> UpdateConnectAttempts() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_attempts;
}

void ClearUpdateConnectAttempts() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_attempts.clear();
}

std::size_t HostLookups() { return g_lookups.load(); }
std::size_t FailedHostLookups() { return g_failedLookups.load(); }

}  // namespace morindale_host

extern "C" __attribute__((visibility("default"))) struct hostent* gethostbyname(const char* name) {
    ++g_lookups;
    if (IsLoopbackName(name)) return &g_loopbackEntry;
    ++g_failedLookups;
    h_errno = HOST_NOT_FOUND;
    return nullptr;
}

extern "C" __attribute__((visibility("default"))) int connect(int fd, const struct sockaddr* address,
                                                              socklen_t length) {
    ConnectFn real = RealConnect();
    if (real == nullptr) {
        errno = ENOSYS;
        return -1;
    }
    if (address == nullptr || length < sizeof(struct sockaddr_in) || address->sa_family != AF_INET)
        return real(fd, address, length);
    struct sockaddr_in target;
    std::memcpy(&target, address, sizeof target);
    if (target.sin_addr.s_addr != htonl(INADDR_LOOPBACK) || ntohs(target.sin_port) != MORINDALE_UPDATE_PORT)
        return real(fd, address, length);

    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_attempts.push_back(std::chrono::steady_clock::now());
    }
    const unsigned short port = g_serverPort.load();
    if (port == 0) {
        errno = ECONNREFUSED;
        return -1;
    }
    target.sin_port = htons(port);
    return real(fd, reinterpret_cast<const struct sockaddr*>(&target), sizeof target);
}
