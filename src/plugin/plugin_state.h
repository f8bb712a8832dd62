// Plug-in-wide state set up by the lifecycle entry points.
//   ts3Functions:  written once by ts3plugin_setFunctionPointers before any
//                  other call, read by every thread afterwards.
//   plug-in ID:    set at registration, cleared at shutdown, read by the
//                  event threads at any time, also while it changes.
//   settings path: set by ts3plugin_init, read by the saves and loads of the
//                  event threads, also while it changes.
#pragma once

#include <cstddef>

#include "ts3_functions.h"

extern TS3Functions ts3Functions;

// The registered plug-in ID, or null before registration and after
// shutdown. Any thread. The string stays valid until the library is
// unloaded, also when the ID is registered again or shut down meanwhile: a
// menu event may still be handing it to the client.
const char* PluginId();

// Registration (event thread): keeps a copy of id, which the caller may free
// at once. False, with the ID as it was, when out of memory.
bool SetPluginId(const char* id);

// Shutdown: PluginId() is null from now on.
void ClearPluginId();

constexpr std::size_t kConfigPathSize = 1024;

extern const char* const kSettingsFileName;  // "MorindaleForTeamspeak.ini"

// Writes home + "/" (unless home ends with one) + the settings file name into
// out. A null or empty home, or a result that would not fit in outSize bytes,
// gives the empty string: no settings file rather than a wrong one.
void BuildSettingsPath(const char* home, char* out, std::size_t outSize);

// Makes path (the empty string: no settings file) the settings path, in one
// step as far as CopySettingsPath sees it. A path that does not fit gives the
// empty string. Any thread.
void SetSettingsPath(const char* path);

// Copies the settings path into out; false, with out empty, when there is
// none. Any thread.
bool CopySettingsPath(char (&out)[kConfigPathSize]);

// Prints one line into the client's current chat tab.
void PrintToCurrentTab(const char* text);
