// 16-bit PCM RIFF/WAVE files for the tests, written and read here without
// any library, and a runner for the project's command-line tools.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morindale_test {

// Writes interleaved 16-bit samples as a PCM WAVE file.
bool WriteWave(const std::string& path, const std::vector<int16_t>& samples, int rate, int channels);

struct Wave {
    int rate = 0;
    int channels = 0;
    std::vector<int16_t> samples;  // interleaved
};
// Reads a 16-bit PCM WAVE file; false when it is not one.
bool ReadWave(const std::string& path, Wave* wave);

struct ProgramRun {
    int exitCode = -1;  // -1: did not end normally
    std::string out, err;
};
// Runs argv (argv[0] a full path) to its end, at most `timeoutSeconds`
// (killed after that), and collects its exit code and both streams.
ProgramRun RunProgram(const std::vector<std::string>& argv, int timeoutSeconds = 120);

}  // namespace morindale_test
