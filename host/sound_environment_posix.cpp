#include "sound_environment.h"

#include <cstdlib>
#include <filesystem>

namespace morindale_host {

SoundEnvironment::SoundEnvironment(const std::string& workDir, const std::string& server) {
    const std::string root = workDir + "/sound";
    std::error_code ignored;
    std::filesystem::create_directories(root + "/config", ignored);
    std::filesystem::create_directories(root + "/runtime", ignored);
    set("PULSE_SERVER", server.empty() ? "unix:" + root + "/no-sound-server" : server);
    set("PULSE_COOKIE", root + "/cookie");
    set("PULSE_CLIENTCONFIG", root + "/client.conf");
    set("XDG_CONFIG_HOME", root + "/config");
    set("XDG_RUNTIME_DIR", root + "/runtime");
    set("HOME", root);
}

SoundEnvironment::~SoundEnvironment() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
        if (it->second) {
            setenv(it->first.c_str(), it->second->c_str(), 1);
        } else {
            unsetenv(it->first.c_str());
        }
    }
}

void SoundEnvironment::set(const char* name, const std::string& value) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
    setenv(name, value.c_str(), 1);
}

}  // namespace morindale_host
