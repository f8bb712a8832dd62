#include "test_support.h"

#include <cmath>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace morindale_test {

std::vector<int16_t> Sine(double frequency, double amplitude, std::size_t count, double phase) {
    std::vector<int16_t> out(count);
    const double step = 2.0 * M_PI * frequency / 48000.0;
    for (std::size_t i = 0; i < count; ++i) {
        double v = std::lround(amplitude * std::sin(phase + step * static_cast<double>(i)));
        if (v > 32767) v = 32767;
        if (v < -32768) v = -32768;
        out[i] = static_cast<int16_t>(v);
    }
    return out;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::string();
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

bool FileExists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

}  // namespace morindale_test
