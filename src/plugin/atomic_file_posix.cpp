#include "atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

constexpr int kNameAttempts = 16;
constexpr int kMaxLinkHops = 40;  // as the kernel allows before ELOOP
constexpr time_t kStrayAge = 60;  // seconds since a stray temporary was last written

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

// Writes all of data at offset; returns the number of bytes written, which is
// less than size when a write stopped early.
std::size_t WriteAt(int fd, const char* data, std::size_t size, off_t offset) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t written = ::pwrite(fd, data + done, size - done, offset + static_cast<off_t>(done));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) break;
        done += static_cast<std::size_t>(written);
    }
    return done;
}

bool ReadAt(int fd, char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd, data + done, size - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

// Rewrites the file in place, so that it keeps its owner, its mode and its
// place, without ever holding anything but the old or the new settings:
//   1. grow the file to its new length with line ends (empty lines load as
//      nothing, so the file still loads as before); a cut leaves old + line
//      ends, and the growth is undone;
//   2. write the new text, padded with line ends to that length, over the
//      whole file in one call. Within one page and within the file's length
//      no space is allocated and no size limit bites, so the call is not cut;
//      if it still comes back short, the bytes it wrote are put back;
//   3. cut the padding off. A cut before it leaves new + empty lines.
// The old tail is never left behind the new text, where its lines would
// override the new ones.
bool RewriteInPlace(const char* path, const char* data, std::size_t size) {
    if (size > kInPlaceLimit) return false;
    const int fd = ::open(path, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0 ||
        static_cast<std::size_t>(info.st_size) > kInPlaceLimit) {
        ::close(fd);
        return false;
    }
    const std::size_t oldSize = static_cast<std::size_t>(info.st_size);
    const std::size_t length = std::max(oldSize, size);
    // The old and the new contents, each followed by line ends up to length.
    char before[kInPlaceLimit];
    char after[kInPlaceLimit];
    std::memset(before, '\n', sizeof before);
    std::memset(after, '\n', sizeof after);
    bool ok = ReadAt(fd, before, oldSize);
    std::memcpy(after, data, size);

    if (ok && length > oldSize &&
        WriteAt(fd, before + oldSize, length - oldSize, static_cast<off_t>(oldSize)) != length - oldSize) {
        ok = false;
        (void)::ftruncate(fd, static_cast<off_t>(oldSize));
    }
    if (ok) {
        const std::size_t written = WriteAt(fd, after, length, 0);
        if (written != length) {
            ok = false;
            WriteAt(fd, before, written, 0);
            (void)::ftruncate(fd, static_cast<off_t>(oldSize));
        }
    }
    // A padding that stays loads like the new text; only the flush counts.
    if (ok && length > size) (void)::ftruncate(fd, static_cast<off_t>(size));
    if (ok && ::fsync(fd) != 0) ok = false;
    if (::close(fd) != 0) ok = false;
    return ok;
}

// Splits path into its directory (out, "." when there is none) and returns
// the file name within it.
const char* SplitDirectory(const char* path, char* directory, std::size_t directorySize) {
    const char* slash = std::strrchr(path, '/');
    if (slash == nullptr) {
        std::snprintf(directory, directorySize, ".");
        return path;
    }
    const std::size_t length = slash == path ? 1 : static_cast<std::size_t>(slash - path);
    std::snprintf(directory, directorySize, "%.*s", static_cast<int>(length), path);
    return slash + 1;
}

// The process ID in a temporary file's name for file `base`: base, ".", the
// ID, ".", the counter, ".tmp", as CreateTemporary makes them; 0 when the name
// is not one of those.
long TemporaryOwner(const char* name, const char* base) {
    const std::size_t baseLength = std::strlen(base);
    if (std::strncmp(name, base, baseLength) != 0 || name[baseLength] != '.') return 0;
    const char* p = name + baseLength + 1;
    long pid = 0;
    const char* digits = p;
    for (; *p >= '0' && *p <= '9' && p - digits < 10; ++p) pid = pid * 10 + (*p - '0');
    if (p == digits || *p != '.') return 0;
    const char* counter = ++p;
    while (*p >= '0' && *p <= '9') ++p;
    if (p == counter || std::strcmp(p, ".tmp") != 0) return 0;
    return pid;
}

// Removes the temporary files of destination whose saving process is gone: a
// save killed between creating and renaming its file leaves one. Files of a
// running process, this one included, may be a save in progress and stay. So
// do files younger than kStrayAge: a process ID that is gone here may be a
// client's in another PID namespace (a sandbox) or on another machine that
// shares the home, between its write and its rename.
void RemoveStrayTemporaries(const char* destination) {
    char directory[PATH_MAX];
    const char* base = SplitDirectory(destination, directory, sizeof directory);
    DIR* listing = ::opendir(directory);
    if (listing == nullptr) return;
    const long self = static_cast<long>(::getpid());
    const time_t now = ::time(nullptr);
    while (const struct dirent* entry = ::readdir(listing)) {
        const long pid = TemporaryOwner(entry->d_name, base);
        if (pid <= 0 || pid == self) continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        struct stat info;
        if (::fstatat(::dirfd(listing), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
            now - info.st_mtime > kStrayAge)
            ::unlinkat(::dirfd(listing), entry->d_name, 0);
    }
    ::closedir(listing);
}

// Gives the new file the owner and mode of the one it replaces. The owner
// first: changing it clears the set-ID bits that the mode may then restore.
bool KeepOwnerAndMode(int fd, const struct stat& old) {
    struct stat mine;
    if (::fstat(fd, &mine) != 0) return false;
    if ((mine.st_uid != old.st_uid || mine.st_gid != old.st_gid) && ::fchown(fd, old.st_uid, old.st_gid) != 0)
        return false;
    return ::fchmod(fd, old.st_mode & 07777) == 0;
}

}  // namespace

ReplaceResult ReplaceFileContents(const char* path, const char* data, std::size_t size) {
    char destination[PATH_MAX];
    if (!ResolveLinks(path, destination, sizeof destination)) return ReplaceResult::kFailed;

    // After the links, what is there is the file itself. Anything but a
    // regular file (ln -s /dev/null ~/MorindaleForTeamspeak.ini, a FIFO) is
    // never replaced: run as root, the rename would put a plain file in place
    // of the system's device node.
    struct stat old;
    const bool exists = ::lstat(destination, &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) return ReplaceResult::kNotARegularFile;
    if (exists && ::access(destination, W_OK) != 0) return ReplaceResult::kFailed;

    RemoveStrayTemporaries(destination);
    char temporary[PATH_MAX + 64];
    const int fd = CreateTemporary(destination, temporary, sizeof temporary);
    if (fd < 0) {
        // No new file may be made beside it, but the file itself may be
        // written: rewriting it in place, as stdio's "w" does, is the only
        // way left to keep the change.
        const bool refused = errno == EACCES || errno == EPERM;
        return refused && exists && RewriteInPlace(destination, data, size) ? ReplaceResult::kReplaced
                                                                           : ReplaceResult::kFailed;
    }
    if (exists && !KeepOwnerAndMode(fd, old)) {
        // Another user's file, which this user may write but not give away:
        // a replacement would hand it over, so it is rewritten in place.
        ::close(fd);
        ::unlink(temporary);
        return RewriteInPlace(destination, data, size) ? ReplaceResult::kReplaced : ReplaceResult::kFailed;
    }

    // fsync before the rename: otherwise a crash soon after can leave the new
    // name pointing at a file whose data never reached the disk.
    bool ok = WriteAll(fd, data, size) && ::fsync(fd) == 0;
    if (::close(fd) != 0) ok = false;
    if (ok && ::rename(temporary, destination) == 0) return ReplaceResult::kReplaced;
    ::unlink(temporary);
    return ReplaceResult::kFailed;
}

// Only a regular file counts as a settings file: a FIFO would block the event
// thread in open, a device could feed it forever. O_NONBLOCK only matters for
// the FIFO; reads of a regular file ignore it.
std::FILE* OpenRegularFileForReading(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "r");
    if (file == nullptr) ::close(fd);
    return file;
}
