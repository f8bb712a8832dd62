#include "robotic_effect.h"

#include <cmath>

RingModulator::RingModulator() {
    // The step is the float nearest to 2*pi/1920, accumulated in float, as
    // the table's values are defined; only sin itself runs in double.
    float theta = 0.0f;
    for (int k = 0; k < kTableSize; ++k) {
        sine_[k] = static_cast<float>(std::sin(static_cast<double>(theta)));
        theta += 0.0032724924f;
    }
}

namespace {

// Truncated toward zero; only -32768 * -1.0 leaves the 16-bit range, and its
// low 16 bits are -32768 again.
inline int16_t Modulate(int16_t sample, float sine) {
    const int32_t product = static_cast<int32_t>(static_cast<float>(sample) * sine);
    return static_cast<int16_t>(static_cast<uint16_t>(product));
}

}  // namespace

void RingModulator::Apply(int16_t* samples, int count) {
    int64_t sum = 0;
    int64_t positives = 0;
    for (int i = 0; i < count; ++i) {
        const int32_t sample = samples[i];
        const bool positive = sample > 0;
        sum += positive ? sample : 0;
        positives += positive ? 1 : 0;
    }
    const int64_t level = positives > 0 ? sum / positives : 0;
    if (level <= kThreshold) return;
    // The index moves before it is used: the entries after index_, in runs up
    // to the end of the table, then again from entry 0.
    for (int i = 0; i < count;) {
        const int next = index_ + 1 >= kTableSize ? 0 : index_ + 1;
        const int run = count - i < kTableSize - next ? count - i : kTableSize - next;
        const float* sine = sine_ + next;
        for (int k = 0; k < run; ++k) samples[i + k] = Modulate(samples[i + k], sine[k]);
        i += run;
        index_ = next + run - 1;
    }
}
