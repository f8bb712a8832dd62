// Host-name lookup that a caller can give up on. The system's resolver may
// take many seconds (or never answer); the update check must still end at
// once when the plug-in shuts down, and nothing of the lookup may reach into
// the plug-in after it has been unloaded.
#pragma once

struct in_addr;
class StopSignal;

enum class HostLookupResult { Found, NotFound, TimedOut, Stopped };

// Resolves `name` to its first IPv4 address. Waits at most `timeoutMs`
// (<= 0: no limit) and ends at once when `stop` (may be null) is raised.
// An abandoned lookup finishes in the system's resolver without touching
// the caller's memory or running any plug-in code.
HostLookupResult LookUpHostIPv4(const char* name, int timeoutMs, const StopSignal* stop, struct in_addr* address);
