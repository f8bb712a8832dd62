// The settings file in the user's home directory, read at registration and at
// every server-tab change, rewritten after every change the user makes. Both
// run on the client's event threads.
#include "settings.h"

#include <cstdio>
#include <mutex>

#include "actions.h"
#include "atomic_file.h"
#include "plugin_state.h"
#include "settings_format.h"
#include "voice_state.h"

namespace {

// Lines longer than this are read in pieces, each taken as a line of its own.
constexpr int kLineBufferSize = 10240;

// One save or read of the file at a time: an in-place rewrite must not be
// interleaved with another, nor read half-way. Held only around the file's
// own calls, never while calling the client.
std::mutex fileMutex;

void WarnNotSaved(const char* path) {
    if (ts3Functions.logMessage == nullptr) return;
    char line[kConfigPathSize + 96];
    std::snprintf(line, sizeof line, "Settings not saved: %s is not a regular file", path);
    ts3Functions.logMessage(line, LogLevel_WARNING, "Plugin", 0);
}

}  // namespace

void SaveSettings() {
    char path[kConfigPathSize];
    if (!CopySettingsPath(path)) return;
    char text[kSettingsTextSize];
    const std::size_t length = FormatSettings(text);
    ReplaceResult result;
    {
        std::lock_guard<std::mutex> lock(fileMutex);
        result = ReplaceFileContents(path, text, length);
    }
    // Other failures are passed over in silence; the change stays in effect
    // in memory and the file keeps the previous settings whole. A device or
    // FIFO at the path is the user's choice, and worth a word in the log.
    if (result == ReplaceResult::kNotARegularFile) WarnNotSaved(path);
}

void LoadSettings() {
    char path[kConfigPathSize];
    if (!CopySettingsPath(path)) return;
    {
        std::lock_guard<std::mutex> lock(fileMutex);
        std::FILE* file = OpenRegularFileForReading(path);
        if (file == nullptr) return;
        char line[kLineBufferSize];
        while (!std::feof(file) && std::fgets(line, sizeof line, file) != nullptr) ApplySettingsLine(line);
        std::fclose(file);
    }
    EnableDisableVoiceMenu(gl_Enabled);
}
