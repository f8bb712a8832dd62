#include "plugin_state.h"

#include <cstring>

TS3Functions ts3Functions;
char* pluginID = nullptr;
char glConfigFile[kConfigPathSize] = "";

const char* const kSettingsFileName = "MorindaleForTeamspeak.ini";

void BuildSettingsPath(const char* home, char* out, std::size_t outSize) {
    if (outSize == 0) return;
    out[0] = '\0';
    if (home == nullptr || home[0] == '\0') return;

    const std::size_t homeLength = std::strlen(home);
    const bool needsSlash = home[homeLength - 1] != '/';
    const std::size_t nameLength = std::strlen(kSettingsFileName);
    const std::size_t total = homeLength + (needsSlash ? 1 : 0) + nameLength;
    if (total + 1 > outSize) return;

    std::memcpy(out, home, homeLength);
    std::size_t at = homeLength;
    if (needsSlash) out[at++] = '/';
    std::memcpy(out + at, kSettingsFileName, nameLength + 1);
}

void PrintToCurrentTab(const char* text) {
    if (ts3Functions.printMessageToCurrentTab != nullptr) ts3Functions.printMessageToCurrentTab(text);
}
