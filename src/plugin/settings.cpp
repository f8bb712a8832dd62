// The settings file in the user's home directory, read at registration and at
// every server-tab change, rewritten after every change the user makes. Both
// run on the client's event threads.
#include "settings.h"

#include <cstdio>

#include "actions.h"
#include "atomic_file.h"
#include "plugin_state.h"
#include "settings_format.h"
#include "settings_reader.h"
#include "voice_state.h"

namespace {

// Lines longer than this are read in pieces, each taken as a line of its own.
constexpr int kLineBufferSize = 10240;

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
    FILE* file = OpenSettingsForReading(glConfigFile);
    if (file == nullptr) return;
    char line[kLineBufferSize];
    while (!std::feof(file) && std::fgets(line, sizeof line, file) != nullptr) ApplySettingsLine(line);
    std::fclose(file);
    EnableDisableVoiceMenu(gl_Enabled);
}
