// Helpers for the tests of the settings file, the menus and the hotkeys.
#pragma once

#include <string>
#include <vector>

#include "client_emulator.h"

namespace morindale_test {

// The six lines of the settings file for these values, spelled out here so
// that no test takes its expectation from the code under test.
std::string SettingsText(int enabled, int effect, int hearVoice, int hearMusic = 1, int useDirectSound = 1,
                         int customPitch = 0);

// The file the plug-in writes with the initial voice state.
inline std::string DefaultSettingsText() { return SettingsText(1, 14, 1); }

// Every file or directory named `name` below root, at any depth.
std::vector<std::string> FindNamed(const std::string& root, const std::string& name);

// The names in a directory, sorted. On Windows without the subfolders: the
// home there is a profile folder, where the system keeps AppData, Temp and
// the like.
std::vector<std::string> DirectoryEntries(const std::string& dir);

// The "enabled" argument of each setPluginMenuEnabled call, as "ID=0|1", in
// call order; with the plug-in ID of every call checked against `id`.
std::vector<std::string> MenuEnabledCalls(const morindale_host::ClientEmulator& client,
                                          const std::string& id = "morindale_test_plugin_id");

// The calls of a status line that greys (enabled 0) or enables (1) the
// voices' items 7..17 and 22, in ascending ID order.
std::vector<std::string> EffectItemsSetTo(int enabled);

// Messages of the chat tab that the status line prints.
extern const char* const kEnabledLine;
extern const char* const kDisabledLine;

}  // namespace morindale_test
