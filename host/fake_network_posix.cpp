#include "fake_network.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
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

// The silent resolver: requests it holds, blocked gethostbyname callers, and
// a count of answers that wakes those callers. Guarded by g_resolverMutex.
std::mutex g_resolverMutex;
std::condition_variable g_answered;
bool g_silent = false;
std::vector<struct gaicb*> g_pending;
std::size_t g_blockedCallers = 0;
unsigned long g_answerRounds = 0;

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

bool IsUpdateHost(const char* name) { return name != nullptr && std::strcmp(name, MORINDALE_UPDATE_HOST) == 0; }

bool IsLoopbackName(const char* name) {
    if (name == nullptr) return false;
    if (IsUpdateHost(name)) return g_updateHostResolves.load();
    return std::strcmp(name, "localhost") == 0 || std::strcmp(name, "127.0.0.1") == 0;
}

// Ends a request the way glibc does: the result first, then the status that
// gai_error reports, so a poller that sees the status sees the result.
void Complete(struct gaicb* request, bool found) {
    struct addrinfo* result = nullptr;
    int status = EAI_NONAME;
    if (found) {
        // The system's answer for a numeric address: no nameserver is asked,
        // and the caller's freeaddrinfo fits it.
        struct addrinfo hints;
        std::memset(&hints, 0, sizeof hints);
        hints.ai_family = AF_INET;
        hints.ai_flags = AI_NUMERICHOST;
        if (request->ar_request != nullptr) {
            hints.ai_socktype = request->ar_request->ai_socktype;
            hints.ai_protocol = request->ar_request->ai_protocol;
        }
        status = getaddrinfo("127.0.0.1", nullptr, &hints, &result);
    }
    request->ar_result = status == 0 ? result : nullptr;
    __atomic_store_n(&request->__return, status, __ATOMIC_RELEASE);
}

}  // namespace

namespace morindale_host {

void SetUpdateServerPort(unsigned short port) { g_serverPort.store(port); }

void SetUpdateHostResolvable(bool resolvable) { g_updateHostResolves.store(resolvable); }

void SetResolverSilent(bool silent) {
    std::lock_guard<std::mutex> lock(g_resolverMutex);
    g_silent = silent;
}

std::size_t PendingLookups() {
    std::lock_guard<std::mutex> lock(g_resolverMutex);
    return g_pending.size() + g_blockedCallers;
}

void AnswerPendingLookups() {
    std::lock_guard<std::mutex> lock(g_resolverMutex);
    for (struct gaicb* request : g_pending) Complete(request, true);
    g_pending.clear();
    ++g_answerRounds;
    g_answered.notify_all();
}

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

// Answers at once (or, silent, never); the system's resolver thread is not
// used, as a sanitizer does not know that thread.
extern "C" __attribute__((visibility("default"))) int getaddrinfo_a(int /*mode*/, struct gaicb* list[], int count,
                                                                    struct sigevent* /*notification*/) {
    if (count < 0 || (count > 0 && list == nullptr)) return EAI_SYSTEM;
    for (int i = 0; i < count; ++i) {
        struct gaicb* request = list[i];
        if (request == nullptr) continue;
        ++g_lookups;
        if (!IsLoopbackName(request->ar_name)) {
            ++g_failedLookups;
            Complete(request, false);
            continue;
        }
        std::lock_guard<std::mutex> lock(g_resolverMutex);
        if (g_silent && IsUpdateHost(request->ar_name)) {
            request->ar_result = nullptr;
            __atomic_store_n(&request->__return, EAI_INPROGRESS, __ATOMIC_RELEASE);
            g_pending.push_back(request);
        } else {
            Complete(request, true);
        }
    }
    return 0;
}

extern "C" __attribute__((visibility("default"))) int gai_error(struct gaicb* request) {
    return __atomic_load_n(&request->__return, __ATOMIC_ACQUIRE);
}

extern "C" __attribute__((visibility("default"))) int gai_cancel(struct gaicb* request) {
    {
        std::lock_guard<std::mutex> lock(g_resolverMutex);
        // The silent resolver is "working" on its requests: they cannot be
        // taken back, so their blocks must stay alive until it answers.
        if (std::find(g_pending.begin(), g_pending.end(), request) != g_pending.end()) return EAI_NOTCANCELED;
    }
    return EAI_ALLDONE;  // every other request was answered at once
}

extern "C" __attribute__((visibility("default"))) struct hostent* gethostbyname(const char* name) {
    ++g_lookups;
    if (IsLoopbackName(name)) {
        std::unique_lock<std::mutex> lock(g_resolverMutex);
        if (!g_silent || !IsUpdateHost(name)) return &g_loopbackEntry;
        // A silent resolver: wait as a blocking lookup would, until answered
        // or until the resolver's own time-out.
        ++g_blockedCallers;
        const unsigned long round = g_answerRounds;
        const bool answered =
            g_answered.wait_for(lock, std::chrono::seconds(10), [&] { return g_answerRounds != round; });
        --g_blockedCallers;
        if (answered) return &g_loopbackEntry;
        ++g_failedLookups;
        h_errno = TRY_AGAIN;
        return nullptr;
    }
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
