#include "settings_support.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace morindale_test {

const char* const kEnabledLine = "Morindale Voice Changer is ENABLED.";
const char* const kDisabledLine = "Morindale Voice Changer is DISABLED.";

std::string SettingsText(int enabled, int effect, int hearVoice, int hearMusic, int useDirectSound,
                         int customPitch) {
    return "ENABLED=" + std::to_string(enabled) + "\n" + "EFFECT=" + std::to_string(effect) + "\n" +
           "HEAR_VOICE=" + std::to_string(hearVoice) + "\n" + "HEAR_MUSIC=" + std::to_string(hearMusic) + "\n" +
           "USE_DIRECTSOUND=" + std::to_string(useDirectSound) + "\n" + "CUSTOM_PITCH=" +
           std::to_string(customPitch) + "\n";
}

std::vector<std::string> FindNamed(const std::string& root, const std::string& name) {
    std::vector<std::string> found;
    std::error_code error;
    for (fs::recursive_directory_iterator it(fs::u8path(root), error), end; !error && it != end; it.increment(error)) {
        if (it->path().filename().u8string() == name) found.push_back(it->path().u8string());
    }
    return found;
}

std::vector<std::string> DirectoryEntries(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(fs::u8path(dir), error), end; !error && it != end; it.increment(error)) {
#if defined(_WIN32)
        std::error_code ignored;
        if (it->is_directory(ignored)) continue;
#endif
        names.push_back(it->path().filename().u8string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> MenuEnabledCalls(const morindale_host::ClientEmulator& client, const std::string& id) {
    std::vector<std::string> out;
    for (const morindale_host::Call& call : client.calls("setPluginMenuEnabled")) {
        const std::string prefix = call.args.at(0) == id ? "" : "wrong ID " + call.args.at(0) + ": ";
        out.push_back(prefix + call.args.at(1) + "=" + call.args.at(2));
    }
    return out;
}

std::vector<std::string> EffectItemsSetTo(int enabled) {
    std::vector<std::string> out;
    for (int id : {7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 22, 23, 24})
        out.push_back(std::to_string(id) + "=" + std::to_string(enabled));
    return out;
}

}  // namespace morindale_test
