#include "plugin_state.h"

#include <atomic>
#include <cstring>
#include <forward_list>
#include <mutex>
#include <new>
#include <string>

TS3Functions ts3Functions;

const char* const kSettingsFileName = "MorindaleForTeamspeak.ini";

namespace {

// Every ID registered since the library was loaded. A registration or a
// shutdown only changes which one is current; none is freed before the
// library's own static objects go, so a reader on another thread never holds
// a freed ID. The client registers one ID per load, and the same ID again
// reuses its copy, so the list stays at one entry in practice.
std::mutex idMutex;  // guards keptIds; event threads only
std::forward_list<std::string> keptIds;
std::atomic<const char*> currentId{nullptr};

// The path is copied in and out whole under its own lock; a save or load
// works on its copy, so init may rebuild it meanwhile.
std::mutex pathMutex;
char settingsPath[kConfigPathSize] = "";

}  // namespace

const char* PluginId() { return currentId.load(std::memory_order_acquire); }

bool SetPluginId(const char* id) {
    std::lock_guard<std::mutex> lock(idMutex);
    for (const std::string& kept : keptIds) {
        if (kept == id) {
            currentId.store(kept.c_str(), std::memory_order_release);
            return true;
        }
    }
    try {
        keptIds.emplace_front(id);
    } catch (const std::bad_alloc&) {
        return false;
    }
    currentId.store(keptIds.front().c_str(), std::memory_order_release);
    return true;
}

void ClearPluginId() { currentId.store(nullptr, std::memory_order_release); }

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

void SetSettingsPath(const char* path) {
    const std::size_t length = path != nullptr ? std::strlen(path) : 0;
    std::lock_guard<std::mutex> lock(pathMutex);
    if (length == 0 || length >= kConfigPathSize) {
        settingsPath[0] = '\0';
        return;
    }
    std::memcpy(settingsPath, path, length + 1);
}

bool CopySettingsPath(char (&out)[kConfigPathSize]) {
    std::lock_guard<std::mutex> lock(pathMutex);
    std::memcpy(out, settingsPath, kConfigPathSize);
    return out[0] != '\0';
}

void PrintToCurrentTab(const char* text) {
    if (ts3Functions.printMessageToCurrentTab != nullptr) ts3Functions.printMessageToCurrentTab(text);
}
