// The C++ runtime is linked into the library, and its std::random_device
// refers to arc4random, which glibc has only had since 2.36. This private
// definition satisfies that reference, so that the library's newest glibc
// symbol stays GLIBC_2.35 and it loads on glibc 2.35 and later (Ubuntu
// 22.04, Debian 12). The plug-in itself never draws random numbers; the
// definition stays hidden inside the library.
#if defined(__linux__)
#include <sys/random.h>

#include <cerrno>
#include <cstdint>
#endif

#if defined(__linux__) && defined(__GLIBC__)
extern "C" __attribute__((visibility("hidden"))) uint32_t arc4random(void) noexcept {
    uint32_t value = 0;
    char* bytes = reinterpret_cast<char*>(&value);
    std::size_t filled = 0;
    while (filled < sizeof value) {
        const ssize_t got = getrandom(bytes + filled, sizeof value - filled, 0);
        if (got > 0) filled += static_cast<std::size_t>(got);
        else if (got < 0 && errno != EINTR) break;  // no entropy source: the bytes so far
    }
    return value;
}
#endif
