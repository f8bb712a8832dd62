#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kNameAttempts = 16;
constexpr int kMaxLinkHops = 40;  // as the kernel allows before ELOOP

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Opens a new file next to destination, under a name no other writer uses:
// the process ID and a counter keep concurrent saves from sharing one
// temporary file, O_EXCL keeps a planted file or link from being reused.
int CreateTemporary(const char* destination, char* name, std::size_t nameSize) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const int length = std::snprintf(name, nameSize, "%s.%ld.%u.tmp", destination,
                                         static_cast<long>(::getpid()), counter.fetch_add(1));
        if (length < 0 || static_cast<std::size_t>(length) >= nameSize) return -1;
        // Mode 0666 before the umask, as for a file that stdio creates.
        const int fd = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Follows symbolic links from path to the name of the file they lead to, also
// when that file does not exist yet: opening for writing would create it
// there, so the replacement must too, rather than put a plain file in place
// of the link. False for a loop or a name that does not fit.
bool ResolveLinks(const char* path, char* out, std::size_t outSize) {
    const std::size_t pathLength = std::strlen(path);
    if (pathLength >= outSize) return false;
    std::memcpy(out, path, pathLength + 1);
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat info;
        if (::lstat(out, &info) != 0 || !S_ISLNK(info.st_mode)) return true;
        char target[PATH_MAX];
        const ssize_t length = ::readlink(out, target, sizeof target - 1);
        if (length <= 0) return false;
        target[length] = '\0';
        // A relative target names a file beside the link; an absolute one
        // replaces the whole name.
        const char* slash = target[0] == '/' ? nullptr : std::strrchr(out, '/');
        const std::size_t keep = slash != nullptr ? static_cast<std::size_t>(slash - out) + 1 : 0;
        if (keep + static_cast<std::size_t>(length) >= outSize) return false;
        std::memcpy(out + keep, target, static_cast<std::size_t>(length) + 1);
    }
    return false;
}

// Cuts the file to length 0 and writes data into it. Not atomic: a write
// that stops half-way leaves a shorter file.
bool RewriteInPlace(const char* path, const char* data, std::size_t size) {
    const int fd = ::open(path, O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, data, size) && ::fsync(fd) == 0;
    if (::close(fd) != 0) ok = false;
    return ok;
}

}  // namespace

bool ReplaceFileContents(const char* path, const char* data, std::size_t size) {
    char destination[PATH_MAX];
    if (!ResolveLinks(path, destination, sizeof destination)) return false;

    struct stat old;
    const bool exists = ::stat(destination, &old) == 0;
    if (exists && ::access(destination, W_OK) != 0) return false;

    char temporary[PATH_MAX + 64];
    const int fd = CreateTemporary(destination, temporary, sizeof temporary);
    if (fd < 0) {
        // No new file may be made beside it, but the file itself may be
        // written: rewriting it in place, as stdio's "w" does, is the only
        // way left to keep the change.
        const bool refused = errno == EACCES || errno == EPERM;
        return refused && exists && S_ISREG(old.st_mode) && RewriteInPlace(destination, data, size);
    }
    if (exists && S_ISREG(old.st_mode)) ::fchmod(fd, old.st_mode & 07777);

    // fsync before the rename: otherwise a crash soon after can leave the new
    // name pointing at a file whose data never reached the disk.
    bool ok = WriteAll(fd, data, size) && ::fsync(fd) == 0;
    if (::close(fd) != 0) ok = false;
    if (ok && ::rename(temporary, destination) == 0) return true;
    ::unlink(temporary);
    return false;
}
