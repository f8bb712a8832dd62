// The network that the plug-in sees. Executables linked with the emulator
// export their own getaddrinfo_a, gai_error, gai_cancel, gethostbyname and
// connect (like getpwuid in fake_user.cpp):
//   - the update host of this build, "localhost" and "127.0.0.1" resolve to
//     127.0.0.1 at once, unless the resolver is made silent or the update
//     host unresolvable; every other name fails at once, no resolver is ever
//     asked;
//   - a connect to 127.0.0.1 on the update port goes to the port set with
//     SetUpdateServerPort (a test's own server on loopback) or, with none
//     set, is refused. Every other connect passes through unchanged.
// So neither tests nor tools ever reach a real update server or nameserver.
// Only GAI_NOWAIT requests are emulated, and no notification is sent: the
// caller polls gai_error, as the plug-in does.
#pragma once

#include <chrono>
#include <cstddef>
#include <vector>

namespace morindale_host {

// Where connections to the update host go; 0 refuses them (the default).
void SetUpdateServerPort(unsigned short port);

// Whether the update host resolves (the default); when not, its lookup fails
// like that of an unknown name ("no such host").
void SetUpdateHostResolvable(bool resolvable);

// A silent resolver never answers for the update host, like a nameserver
// that swallows queries: asynchronous lookups stay in progress and cannot be
// cancelled, gethostbyname blocks (for 10 s at most, then fails).
void SetResolverSilent(bool silent);
// Lookups that wait for the silent resolver.
std::size_t PendingLookups();
// The silent resolver answers at last: every pending lookup gets 127.0.0.1,
// written into the request block its caller handed over, as the system's
// resolver would write it, however long ago the caller gave up.
void AnswerPendingLookups();

// When each connect to the update host was attempted, oldest first.
std::vector<std::chrono::steady_clock::time_point> UpdateConnectAttempts();
void ClearUpdateConnectAttempts();

// How many host-name lookups were made, and how many of them failed.
std::size_t HostLookups();
std::size_t FailedHostLookups();

}  // namespace morindale_host
