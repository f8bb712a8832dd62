// Where the plug-in's sound output goes while the emulator runs it. libpulse
// finds its server, cookie and configuration through environment variables;
// these are pointed into the emulator's work folder, so that a test never
// reaches the machine's real sound server or card, and are restored after.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace morindale_host {

class SoundEnvironment {
public:
    // server: a PulseAudio server string ("unix:/path/native"); empty gives
    // one where nothing listens, so the plug-in finds no sound server.
    SoundEnvironment(const std::string& workDir, const std::string& server);
    ~SoundEnvironment();
    SoundEnvironment(const SoundEnvironment&) = delete;
    SoundEnvironment& operator=(const SoundEnvironment&) = delete;

private:
    void set(const char* name, const std::string& value);
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace morindale_host
