#include "robotic_effect.h"

#include <cmath>

#include "voice_processing.h"

namespace {

float soundFreq[kSineTableSize];
int32_t soundFreqIdx = 0;  // entry last used, 0..1919

}  // namespace

void FillSineTable() {
    // The step is the float nearest to 2*pi/1920, accumulated in float, as
    // the table's values are defined; only sin itself runs in double.
    float theta = 0.0f;
    for (int k = 0; k < kSineTableSize; ++k) {
        soundFreq[k] = static_cast<float>(std::sin(static_cast<double>(theta)));
        theta += 0.0032724924f;
    }
}

void ApplyRobotic(int16_t* samples, int count) {
    int64_t sum = 0;
    int64_t positives = 0;
    for (int i = 0; i < count; ++i) {
        if (samples[i] > 0) {
            sum += samples[i];
            ++positives;
        }
    }
    const int64_t level = positives > 0 ? sum / positives : 0;
    if (level <= kRoboticThreshold) return;
    for (int i = 0; i < count; ++i) {
        if (++soundFreqIdx >= kSineTableSize) soundFreqIdx = 0;
        // Truncated toward zero; only -32768 * -1.0 leaves the 16-bit range,
        // and its low 16 bits are -32768 again.
        const int32_t product = static_cast<int32_t>(static_cast<float>(samples[i]) * soundFreq[soundFreqIdx]);
        samples[i] = static_cast<int16_t>(static_cast<uint16_t>(product));
    }
}
