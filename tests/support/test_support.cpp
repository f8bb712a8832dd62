#include "test_support.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

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

// Paths are UTF-8; u8path makes them so on Windows too, where a narrow
// path would be read in the ANSI code page.
std::string ReadFile(const std::string& path) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    if (!in) return std::string();
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
    out << text;
}

bool FileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::status(std::filesystem::u8path(path), error));
}

std::string RunCommand(const std::string& command, int* status) {
    std::string output;
#if defined(_WIN32)
    FILE* pipe = _popen((command + " 2>&1").c_str(), "r");
#else
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
#endif
    if (pipe == nullptr) {
        if (status != nullptr) *status = -1;
        return output;
    }
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
#if defined(_WIN32)
    const int rc = _pclose(pipe);
#else
    const int rc = pclose(pipe);
#endif
    if (status != nullptr) *status = rc;
    return output;
}

}  // namespace morindale_test
