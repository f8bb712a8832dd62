// Host lookups through glibc's asynchronous resolver (getaddrinfo_a). The
// request runs on glibc's own thread with no notification (SIGEV_NONE), so
// no plug-in code ever runs there; the caller only polls for its end and can
// stop waiting at any moment.
//
// Everything glibc may write (the request block with its name, hints and
// result) lives on the heap. A block that glibc still holds when the caller
// gives up is parked and freed by a later lookup once gai_cancel says glibc
// has let go of it; a block still parked when the library is unloaded is
// leaked on purpose, as glibc may write it after the library is gone.
#if !defined(_WIN32)

#include "host_lookup.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <new>

#include "stop_signal.h"

#if defined(__SANITIZE_ADDRESS__)
#define MORINDALE_LEAK_CHECKER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MORINDALE_LEAK_CHECKER 1
#endif
#endif
#if defined(MORINDALE_LEAK_CHECKER)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// Fills `address` with the first IPv4 address of a lookup result.
bool FirstIPv4(const struct addrinfo* result, struct in_addr* address) {
    for (; result != nullptr; result = result->ai_next) {
        if (result->ai_family != AF_INET || result->ai_addr == nullptr ||
            result->ai_addrlen < static_cast<socklen_t>(sizeof(struct sockaddr_in)))
            continue;
        struct sockaddr_in found;
        std::memcpy(&found, result->ai_addr, sizeof found);
        *address = found.sin_addr;
        return true;
    }
    return false;
}

#if defined(__GLIBC__)

using Clock = std::chrono::steady_clock;

// How often a waiting lookup looks whether glibc is done; a raised stop
// signal wakes it at once.
constexpr int kPollSliceMs = 5;

// One request as glibc sees it: every pointer in `request` points into the
// block itself.
struct LookupBlock {
    struct gaicb request;
    struct addrinfo hints;
    char name[256];  // a DNS name has at most 253 characters
};

void Free(LookupBlock* block) {
    if (gai_error(&block->request) == 0 && block->request.ar_result != nullptr)
        freeaddrinfo(block->request.ar_result);
    delete block;
}

// Blocks that glibc still held when their lookup ended; null slots are free.
// Written under g_parkedMutex only.
std::mutex g_parkedMutex;
LookupBlock* g_parked[16] = {};

// True once glibc neither queues nor works on the request: gai_cancel takes
// glibc's request lock, and a request it no longer finds is done with.
bool GlibcLetGo(LookupBlock* block) {
    const int status = gai_cancel(&block->request);
    return status == EAI_ALLDONE || status == EAI_CANCELED;
}

void FreeParkedBlocksThatAreDone() {
    std::lock_guard<std::mutex> lock(g_parkedMutex);
    for (LookupBlock*& block : g_parked) {
        if (block != nullptr && GlibcLetGo(block)) {
            Free(block);
            block = nullptr;
        }
    }
}

// Frees the block, or parks it while glibc may still write it.
void Release(LookupBlock* block) {
    if (GlibcLetGo(block)) {
        Free(block);
        return;
    }
#if defined(MORINDALE_LEAK_CHECKER)
    // It may outlive every reference the library keeps (unloading drops the
    // parked list): not a leak to report.
    __lsan_ignore_object(block);
#endif
    std::lock_guard<std::mutex> lock(g_parkedMutex);
    for (LookupBlock*& slot : g_parked) {
        if (slot == nullptr) {
            slot = block;
            return;
        }
    }
    // No free slot: the block is leaked, which is safe.
}

#endif  // __GLIBC__

}  // namespace

#if defined(__GLIBC__)

HostLookupResult LookUpHostIPv4(const char* name, int timeoutMs, const StopSignal* stop, struct in_addr* address) {
    if (stop != nullptr && stop->Raised()) return HostLookupResult::Stopped;
    if (name == nullptr || address == nullptr) return HostLookupResult::NotFound;
    const std::size_t length = std::strlen(name);
    if (length == 0 || length >= sizeof LookupBlock::name) return HostLookupResult::NotFound;

    FreeParkedBlocksThatAreDone();
    LookupBlock* block = new (std::nothrow) LookupBlock();
    if (block == nullptr) return HostLookupResult::NotFound;
    std::memcpy(block->name, name, length + 1);
    block->hints.ai_family = AF_INET;
    block->hints.ai_socktype = SOCK_STREAM;
    block->hints.ai_protocol = IPPROTO_TCP;
    block->request.ar_name = block->name;
    block->request.ar_request = &block->hints;

    struct sigevent noNotification;
    std::memset(&noNotification, 0, sizeof noNotification);
    noNotification.sigev_notify = SIGEV_NONE;
    struct gaicb* list[1] = {&block->request};
    if (getaddrinfo_a(GAI_NOWAIT, list, 1, &noNotification) != 0) {
        Release(block);
        return HostLookupResult::NotFound;
    }

    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
    int wakeFd = stop != nullptr ? stop->fd() : -1;
    HostLookupResult result;
    for (;;) {
        const int status = gai_error(&block->request);
        if (status != EAI_INPROGRESS) {
            result = status == 0 && FirstIPv4(block->request.ar_result, address) ? HostLookupResult::Found
                                                                                 : HostLookupResult::NotFound;
            break;
        }
        if (stop != nullptr && stop->Raised()) {
            result = HostLookupResult::Stopped;
            break;
        }
        int slice = kPollSliceMs;
        if (timeoutMs > 0) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                result = HostLookupResult::TimedOut;
                break;
            }
            if (left < slice) slice = static_cast<int>(left);
        }
        struct pollfd wake = {wakeFd, POLLIN, 0};
        if (poll(&wake, 1, slice) > 0 && (wake.revents & (POLLNVAL | POLLERR)) != 0) wakeFd = -1;
    }
    Release(block);
    return result;
}

#else  // !__GLIBC__

// Without an asynchronous resolver the lookup blocks until the system's
// resolver gives up; only a stop raised before it starts is seen.
HostLookupResult LookUpHostIPv4(const char* name, int /*timeoutMs*/, const StopSignal* stop,
                                struct in_addr* address) {
    if (stop != nullptr && stop->Raised()) return HostLookupResult::Stopped;
    if (name == nullptr || address == nullptr || *name == '\0') return HostLookupResult::NotFound;
    struct addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    struct addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0) return HostLookupResult::NotFound;
    const bool ok = FirstIPv4(found, address);
    freeaddrinfo(found);
    return ok ? HostLookupResult::Found : HostLookupResult::NotFound;
}

#endif  // __GLIBC__

#endif  // !_WIN32
