#include "spoken_voice.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "child_process.h"
#include "test_support.h"

namespace morindale_test {
namespace {

uint32_t Le32(const std::string& bytes, std::size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

uint16_t Le16(const std::string& bytes, std::size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                 (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

// The samples of a 16-bit mono RIFF/WAVE file and its rate.
bool ParseWave(const std::string& bytes, std::vector<int16_t>* samples, uint32_t* rate) {
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) return false;
    bool haveFormat = false;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id = bytes.substr(at, 4);
        std::size_t size = Le32(bytes, at + 4);
        const std::size_t body = at + 8;
        if (body + size > bytes.size()) size = bytes.size() - body;  // streamed files leave sizes open
        if (id == "fmt " && size >= 16) {
            if (Le16(bytes, body) != 1 || Le16(bytes, body + 2) != 1 || Le16(bytes, body + 14) != 16) return false;
            *rate = Le32(bytes, body + 4);
            haveFormat = true;
        } else if (id == "data" && haveFormat) {
            samples->resize(size / 2);
            std::memcpy(samples->data(), bytes.data() + body, samples->size() * 2);
            return *rate > 0;
        }
        at = body + size + (size & 1);
    }
    return false;
}

}  // namespace

std::vector<int16_t> SpokenVoice(double seconds, std::string* error) {
    const std::string binary = FindProgram("espeak-ng");
    if (binary.empty()) {
        *error = "espeak-ng is not installed (scripts/setup.sh)";
        return {};
    }
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("morindale-voice-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string wave = (folder / "voice.wav").string();
    ChildProcess speaker;
    const std::vector<std::string> argv = {
        binary, "-v", "en", "-s", "150", "-w", wave,
        "Hello, this is Morindale speaking. The quick brown fox jumps over the lazy dog, "
        "and my voice comes back to me while I talk to my friends."};
    std::vector<int16_t> spoken;
    uint32_t rate = 0;
    if (speaker.start(argv, {"PATH=/usr/bin:/bin", "HOME=" + folder.string(), "LANG=C"},
                      (folder / "out").string(), (folder / "err").string())) {
        for (int i = 0; i < 3000 && speaker.running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        speaker.stop(SIGKILL);
        ParseWave(ReadFile(wave), &spoken, &rate);
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    if (spoken.empty()) {
        *error = "espeak-ng wrote no usable speech";
        return {};
    }
    // Linear interpolation to 48 kHz: plenty for a test signal.
    const std::size_t count = static_cast<std::size_t>(seconds * 48000.0);
    std::vector<int16_t> out(count);
    const double step = static_cast<double>(rate) / 48000.0;
    const double length = static_cast<double>(spoken.size());
    for (std::size_t i = 0; i < count; ++i) {
        const double position = std::fmod(static_cast<double>(i) * step, length - 1.0);
        const std::size_t k = static_cast<std::size_t>(position);
        const double fraction = position - static_cast<double>(k);
        out[i] = static_cast<int16_t>(std::lround(spoken[k] * (1.0 - fraction) + spoken[k + 1] * fraction));
    }
    return out;
}

}  // namespace morindale_test
