// The update host's address, looked up with a bound on the wait.
#pragma once

#if defined(_WIN32)
#include <winsock2.h>
#else
#include <netinet/in.h>
#endif

class StopSignal;

enum class HostLookupResult { Found, NotFound, TimedOut, Stopped };

// Resolves `name` to its first IPv4 address. Waits at most `timeoutMs`
// (<= 0: no limit) and ends at once when `stop` (may be null) is raised.
// An abandoned lookup finishes in the system's resolver without touching
// the caller's memory or running any plug-in code.
HostLookupResult LookUpHostIPv4(const char* name, int timeoutMs, const StopSignal* stop, struct in_addr* address);
