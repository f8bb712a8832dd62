#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kNameAttempts = 16;

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

}  // namespace

bool ReplaceFileContents(const char* path, const char* data, std::size_t size) {
    char resolved[PATH_MAX];
    const char* destination = path;
    struct stat linkInfo;
    if (::lstat(path, &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode) && ::realpath(path, resolved) != nullptr)
        destination = resolved;

    struct stat old;
    const bool exists = ::stat(destination, &old) == 0;
    if (exists && ::access(destination, W_OK) != 0) return false;

    char temporary[PATH_MAX + 64];
    const int fd = CreateTemporary(destination, temporary, sizeof temporary);
    if (fd < 0) return false;
    if (exists && S_ISREG(old.st_mode)) ::fchmod(fd, old.st_mode & 07777);

    // fsync before the rename: otherwise a crash soon after can leave the new
    // name pointing at a file whose data never reached the disk.
    bool ok = WriteAll(fd, data, size) && ::fsync(fd) == 0;
    if (::close(fd) != 0) ok = false;
    if (ok && ::rename(temporary, destination) == 0) return true;
    ::unlink(temporary);
    return false;
}
