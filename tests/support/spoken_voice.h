// Speech for the end-to-end tests: a fixed English sentence spoken by
// espeak-ng (installed by scripts/setup.sh), as 48 kHz mono samples.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morindale_test {

// The first `seconds` of the sentence (repeated if it is shorter); empty,
// with the reason in `error`, when espeak-ng is missing or fails.
std::vector<int16_t> SpokenVoice(double seconds, std::string* error);

}  // namespace morindale_test
