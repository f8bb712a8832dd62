// The settings file in the user's home directory, read at registration and at
// every server-tab change, rewritten after every change the user makes. Both
// run on the client's event threads.
#include "settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "actions.h"
#include "atomic_file.h"
#include "plugin_state.h"
#include "settings_format.h"
#include "voice_state.h"

namespace {

// Lines longer than this are read in pieces, each taken as a line of its own.
constexpr int kLineBufferSize = 10240;

// Only a regular file counts as a settings file: a FIFO would block the event
// thread in open, a device could feed it forever. O_NONBLOCK only matters for
// the FIFO; reads of a regular file ignore it.
FILE* OpenForReading(const char* path) {
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

}  // namespace

void SaveSettings() {
    if (glConfigFile[0] == '\0') return;
    char text[kSettingsTextSize];
    const std::size_t length = FormatSettings(text);
    // A failure is passed over in silence; the change stays in effect in
    // memory and the file keeps the previous settings whole.
    ReplaceFileContents(glConfigFile, text, length);
}

void LoadSettings() {
    if (glConfigFile[0] == '\0') return;
    FILE* file = OpenForReading(glConfigFile);
    if (file == nullptr) return;
    char line[kLineBufferSize];
    while (!std::feof(file) && std::fgets(line, sizeof line, file) != nullptr) ApplySettingsLine(line);
    std::fclose(file);
    EnableDisableVoiceMenu(gl_Enabled);
}
