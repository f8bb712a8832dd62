// Measurements on sample blocks for the voice tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace morindale_test {

// Frequency in Hz (48 kHz) of a tone, from its rising zero crossings between
// samples from and to, located by linear interpolation; 0 when fewer than two
// crossings lie there.
double ZeroCrossingFrequency(const std::vector<int16_t>& samples, std::size_t from, std::size_t to);

// Root mean square of samples from..to, in sample units.
double Rms(const std::vector<int16_t>& samples, std::size_t from, std::size_t to);

}  // namespace morindale_test
