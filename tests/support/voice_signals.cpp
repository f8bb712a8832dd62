#include "voice_signals.h"

#include <cmath>

namespace morindale_test {

double ZeroCrossingFrequency(const std::vector<int16_t>& samples, std::size_t from, std::size_t to) {
    if (to > samples.size()) to = samples.size();
    double first = -1.0, last = -1.0;
    std::size_t crossings = 0;
    for (std::size_t i = from + 1; i < to; ++i) {
        const double a = samples[i - 1], b = samples[i];
        if (a < 0.0 && b >= 0.0) {
            const double at = static_cast<double>(i - 1) + (-a) / (b - a);
            if (crossings == 0) first = at;
            last = at;
            ++crossings;
        }
    }
    if (crossings < 2) return 0.0;
    return static_cast<double>(crossings - 1) * 48000.0 / (last - first);
}

double Rms(const std::vector<int16_t>& samples, std::size_t from, std::size_t to) {
    if (to > samples.size()) to = samples.size();
    if (to <= from) return 0.0;
    double sum = 0.0;
    for (std::size_t i = from; i < to; ++i) sum += static_cast<double>(samples[i]) * samples[i];
    return std::sqrt(sum / static_cast<double>(to - from));
}

}  // namespace morindale_test
