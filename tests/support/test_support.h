// Helpers shared by the tests: signals and file contents.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morindale_test {

// A sine of `frequency` Hz at 48 kHz, `amplitude` in sample units, rounded.
std::vector<int16_t> Sine(double frequency, double amplitude, std::size_t count, double phase = 0.0);

// The whole contents of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// Writes text to a file, replacing it.
void WriteFile(const std::string& path, const std::string& text);

bool FileExists(const std::string& path);

// Runs a shell command; returns its standard output and error together and,
// through status, its wait status.
std::string RunCommand(const std::string& command, int* status = nullptr);

}  // namespace morindale_test
