// Plug-in-wide state set up by the lifecycle entry points.
//   ts3Functions: written once by ts3plugin_setFunctionPointers before any
//                 other call, read by every thread afterwards.
//   pluginID:     written at registration and at shutdown only (event thread).
//   glConfigFile: written by ts3plugin_init only; empty means no settings file.
#pragma once

#include <cstddef>

#include "ts3_functions.h"

extern TS3Functions ts3Functions;
extern char* pluginID;

constexpr std::size_t kConfigPathSize = 1024;
extern char glConfigFile[kConfigPathSize];

extern const char* const kSettingsFileName;  // "MorindaleForTeamspeak.ini"

// Writes home + "/" (unless home ends with one) + the settings file name into
// out. A null or empty home, or a result that would not fit in outSize bytes,
// gives the empty string: no settings file rather than a wrong one.
void BuildSettingsPath(const char* home, char* out, std::size_t outSize);

// Prints one line into the client's current chat tab.
void PrintToCurrentTab(const char* text);
