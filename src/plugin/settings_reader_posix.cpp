#include "settings_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// O_NONBLOCK only matters for a FIFO, which must not block open; reads of a
// regular file ignore it.
FILE* OpenSettingsForReading(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    FILE* file = ::fdopen(fd, "r");
    if (file == nullptr) ::close(fd);
    return file;
}
