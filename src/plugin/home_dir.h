// Where the settings file lives: the user's home directory (the profile
// folder on Windows).
#pragma once

#include <cstddef>

// Writes the settings file's full path for the current user into out (UTF-8),
// or the empty string when the user's home cannot be found or the path does
// not fit: no settings file rather than a wrong one.
void BuildUserSettingsPath(char* out, std::size_t outSize);
