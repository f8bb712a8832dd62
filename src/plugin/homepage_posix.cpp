// The opener is started through a short-lived intermediate process: the
// intermediate spawns the opener and exits at once, and we reap it right
// away. The opener then belongs to init, so it never lingers as our zombie,
// and we need neither a SIGCHLD handler (the client owns signal handling) nor
// a reaper thread that could outlive ts3plugin_shutdown.
#include "homepage.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/syscall.h>
#endif

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "catalogue.h"

extern char** environ;

namespace {

#ifdef __APPLE__
const char* const kOpener = "open";
#else
const char* const kOpener = "xdg-open";
#endif

// Looks the program up in PATH as execvp would, but only in absolute
// directories: a relative entry would run whatever lies in the client's
// working directory. Writes the full path into out.
bool FindInPath(const char* program, char* out, std::size_t outSize) {
    const char* path = std::getenv("PATH");
    if (path == nullptr || path[0] == '\0') path = "/usr/local/bin:/usr/bin:/bin";
    const std::size_t programLength = std::strlen(program);
    for (const char* dir = path;;) {
        const char* end = std::strchr(dir, ':');
        const std::size_t dirLength = end != nullptr ? static_cast<std::size_t>(end - dir) : std::strlen(dir);
        if (dirLength > 0 && dir[0] == '/' && dirLength + 1 + programLength < outSize) {
            std::memcpy(out, dir, dirLength);
            out[dirLength] = '/';
            std::memcpy(out + dirLength + 1, program, programLength + 1);
            struct stat info;
            if (::stat(out, &info) == 0 && S_ISREG(info.st_mode) && ::access(out, X_OK) == 0) return true;
        }
        if (end == nullptr) return false;
        dir = end + 1;
    }
}

// Closes every descriptor above stderr, so that the browser holds none of the
// client's sockets or files. Only async-signal-safe calls: this runs in the
// child of a multi-threaded process.
void CloseInheritedDescriptors(int maxFd) {
#if defined(__linux__) && defined(SYS_close_range)
    if (::syscall(SYS_close_range, 3u, ~0u, 0u) == 0) return;
#endif
    for (int fd = 3; fd < maxFd; ++fd) ::close(fd);
}

}  // namespace

void OpenHomepage() {
    char program[PATH_MAX];
    if (!FindInPath(kOpener, program, sizeof program)) return;
    char* const argv[] = {const_cast<char*>(kOpener), const_cast<char*>(kHomepageUrl), nullptr};

    // Everything the intermediate needs is prepared here, before the fork:
    // the opener starts with no blocked and no ignored signals, whatever the
    // client's threads use.
    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0) return;
    sigset_t noSignals;
    sigset_t allSignals;
    sigemptyset(&noSignals);
    sigfillset(&allSignals);
    sigdelset(&allSignals, SIGKILL);  // cannot be changed; some systems refuse the set
    sigdelset(&allSignals, SIGSTOP);
    posix_spawnattr_setsigmask(&attributes, &noSignals);
    posix_spawnattr_setsigdefault(&attributes, &allSignals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const long openMax = ::sysconf(_SC_OPEN_MAX);
    const int maxFd = openMax > 0 && openMax < 65536 ? static_cast<int>(openMax) : 65536;

    // In the child of a multi-threaded process only async-signal-safe work
    // is sound: close, posix_spawn (a vfork-style clone on glibc, a system
    // call on macOS; neither takes malloc's locks nor runs fork handlers)
    // and _exit.
    const pid_t intermediate = ::fork();
    if (intermediate == 0) {
        CloseInheritedDescriptors(maxFd);
        pid_t opener;
        const int result = posix_spawn(&opener, program, nullptr, &attributes, argv, environ);
        ::_exit(result == 0 ? 0 : 127);
    }
    posix_spawnattr_destroy(&attributes);
    if (intermediate < 0) return;
    // The intermediate exits as soon as the opener is started. If the client
    // reaps children itself, waitpid finds none (ECHILD), which is fine too.
    while (::waitpid(intermediate, nullptr, 0) < 0 && errno == EINTR) {
    }
}
