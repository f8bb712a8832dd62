// The host lookup on Windows: getaddrinfo on a thread of its own, so that the
// caller can stop waiting at any time. The thread holds a reference to the
// plug-in's DLL (GetModuleHandleExW) and ends with FreeLibraryAndExitThread:
// even when the client unloads the plug-in while the resolver still works,
// the code the thread returns to stays mapped until it has left it. Caller
// and thread share one heap record that the last of the two frees.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <new>

#include "host_lookup.h"
#include "stop_signal.h"

namespace {

constexpr std::size_t kMaxNameLength = 255;  // a DNS name's limit

struct Lookup {
    std::atomic<int> references{2};  // the caller's and the thread's
    HANDLE done = nullptr;           // manual-reset: the thread has a result
    HMODULE module = nullptr;        // the thread's reference to this DLL
    char name[kMaxNameLength + 1] = {};
    HostLookupResult result = HostLookupResult::NotFound;
    struct in_addr address = {};
};

void Release(Lookup* lookup) {
    if (lookup->references.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    CloseHandle(lookup->done);
    delete lookup;
}

DWORD WINAPI ResolveOnItsOwnThread(void* argument) {
    Lookup* lookup = static_cast<Lookup*>(argument);
    WSADATA data;
    const bool sockets = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    struct addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo* found = nullptr;
    if (sockets && getaddrinfo(lookup->name, nullptr, &hints, &found) == 0) {
        for (const struct addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
            if (entry->ai_family != AF_INET || entry->ai_addrlen < sizeof(struct sockaddr_in)) continue;
            lookup->address = reinterpret_cast<const struct sockaddr_in*>(entry->ai_addr)->sin_addr;
            lookup->result = HostLookupResult::Found;
            break;
        }
    }
    if (found != nullptr) freeaddrinfo(found);
    if (sockets) WSACleanup();
    SetEvent(lookup->done);
    const HMODULE module = lookup->module;
    Release(lookup);
    FreeLibraryAndExitThread(module, 0);
}

}  // namespace

HostLookupResult LookUpHostIPv4(const char* name, int timeoutMs, const StopSignal* stop, struct in_addr* address) {
    if (stop != nullptr && stop->Raised()) return HostLookupResult::Stopped;
    if (name == nullptr || address == nullptr) return HostLookupResult::NotFound;
    const std::size_t length = strnlen(name, kMaxNameLength + 1);
    if (length == 0 || length > kMaxNameLength) return HostLookupResult::NotFound;

    Lookup* lookup = new (std::nothrow) Lookup;
    if (lookup == nullptr) return HostLookupResult::NotFound;
    std::memcpy(lookup->name, name, length);
    lookup->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (lookup->done == nullptr ||
        !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&ResolveOnItsOwnThread),
                            &lookup->module)) {
        if (lookup->done != nullptr) CloseHandle(lookup->done);
        delete lookup;
        return HostLookupResult::NotFound;
    }
    const HANDLE thread = CreateThread(nullptr, 0, ResolveOnItsOwnThread, lookup, 0, nullptr);
    if (thread == nullptr) {
        FreeLibrary(lookup->module);
        CloseHandle(lookup->done);
        delete lookup;
        return HostLookupResult::NotFound;
    }
    CloseHandle(thread);

    HANDLE handles[2] = {lookup->done, stop != nullptr ? static_cast<HANDLE>(stop->event()) : nullptr};
    const DWORD count = handles[1] != nullptr ? 2 : 1;
    const DWORD waited = WaitForMultipleObjects(count, handles, FALSE, timeoutMs > 0 ? static_cast<DWORD>(timeoutMs) : INFINITE);
    HostLookupResult result;
    if (waited == WAIT_OBJECT_0) {
        result = lookup->result;
        if (result == HostLookupResult::Found) *address = lookup->address;
    } else if (stop != nullptr && stop->Raised()) {
        result = HostLookupResult::Stopped;
    } else {
        result = HostLookupResult::TimedOut;
    }
    Release(lookup);
    return result;
}
