#include "robotic_effect.h"

#include <cmath>
#include <mutex>

#include "voice_processing.h"

namespace {

float soundFreq[kSineTableSize];
int32_t soundFreqIdx = 0;  // entry last used, 0..1919

}  // namespace

void FillSineTable() {
    // Once per load: a later init may come while the capture thread reads
    // the table, and the values never change.
    static std::once_flag filled;
    std::call_once(filled, [] {
        // The step is the float nearest to 2*pi/1920, accumulated in float,
        // as the table's values are defined; only sin itself runs in double.
        float theta = 0.0f;
        for (int k = 0; k < kSineTableSize; ++k) {
            soundFreq[k] = static_cast<float>(std::sin(static_cast<double>(theta)));
            theta += 0.0032724924f;
        }
    });
}

namespace {

// Truncated toward zero; only -32768 * -1.0 leaves the 16-bit range, and its
// low 16 bits are -32768 again.
inline int16_t Modulate(int16_t sample, float sine) {
    const int32_t product = static_cast<int32_t>(static_cast<float>(sample) * sine);
    return static_cast<int16_t>(static_cast<uint16_t>(product));
}

}  // namespace

void ApplyRobotic(int16_t* samples, int count) {
    int64_t sum = 0;
    int64_t positives = 0;
    for (int i = 0; i < count; ++i) {
        const int32_t sample = samples[i];
        const bool positive = sample > 0;
        sum += positive ? sample : 0;
        positives += positive ? 1 : 0;
    }
    const int64_t level = positives > 0 ? sum / positives : 0;
    if (level <= kRoboticThreshold) return;
    // The index moves before it is used: the entries after soundFreqIdx, in
    // runs up to the end of the table, then again from entry 0.
    for (int i = 0; i < count;) {
        const int next = soundFreqIdx + 1 >= kSineTableSize ? 0 : soundFreqIdx + 1;
        const int run = count - i < kSineTableSize - next ? count - i : kSineTableSize - next;
        const float* sine = soundFreq + next;
        for (int k = 0; k < run; ++k) samples[i + k] = Modulate(samples[i + k], sine[k]);
        i += run;
        soundFreqIdx = next + run - 1;
    }
}
