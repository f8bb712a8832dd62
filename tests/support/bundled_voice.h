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

}  // namespace morindale_test
