// Measurements for the renderer's table: the fundamental frequency of
// voiced speech and the level of a signal, both on 48 kHz mono samples.
#pragma once

#include <cstdint>
#include <vector>

namespace morindale_render {

// Fundamental frequency in Hz (60..1000) of every voiced frame (40 ms frames,
// 10 ms apart), estimated with the YIN difference function on a 12 kHz copy.
// Frames that are quiet (below -40 dBFS) or aperiodic are left out.
std::vector<double> VoicedF0(const std::vector<int16_t>& samples);

// The median of values; 0 for none.
double Median(std::vector<double> values);

// Root mean square level in dB relative to full scale (32768); -inf for
// silence or no samples.
double LevelDbfs(const std::vector<int16_t>& samples);

}  // namespace morindale_render
