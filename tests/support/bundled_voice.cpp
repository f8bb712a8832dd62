#include "bundled_voice.h"

#include <cmath>
#include <cstring>

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

bool ReadMonoWave(const std::string& path, std::vector<int16_t>* samples, uint32_t* rate) {
    return ParseWave(ReadFile(path), samples, rate);
}

std::vector<int16_t> BundledVoice(double seconds, std::string* error) {
    const std::string path = std::string(MORINDALE_SOURCE_DIR) + "/tests/data/voice-sample.wav";
    std::vector<int16_t> spoken;
    uint32_t rate = 0;
    if (!ParseWave(ReadFile(path), &spoken, &rate) || spoken.size() < 2) {
        *error = "cannot read a 16-bit mono sample from " + path;
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
