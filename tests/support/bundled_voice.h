// Speech for the end-to-end tests: the bundled voice sample
// (tests/data/voice-sample.wav), as 48 kHz mono samples.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morindale_test {

// The first `seconds` of the sample (repeated if it is shorter); empty, with
// the reason in `error`, when the file cannot be read.
std::vector<int16_t> BundledVoice(double seconds, std::string* error);

// The samples and rate of a 16-bit mono RIFF/WAVE file; false when the file
// cannot be read or holds something else.
bool ReadMonoWave(const std::string& path, std::vector<int16_t>* samples, uint32_t* rate);

}  // namespace morindale_test
