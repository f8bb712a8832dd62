#include "pitch_rules.h"

namespace {

constexpr float kMutationLow = -4.0f;
constexpr float kMutationHigh = 13.0f;
constexpr float kMutationRise = 0.1f;  // for all three speeds

constexpr float kAtariLow = -3.0f;
constexpr float kAtariHigh = 4.0f;
constexpr int32_t kAtariShiftWhileRising = 6;
constexpr int32_t kAtariShiftWhileFalling = -3;

}  // namespace

void MutationRule(float& value, float& step, float fall) {
    value = value + step;
    // Strict comparisons: exactly -4.0 or 13.0 goes on for one more block.
    if (value < kMutationLow) {
        value = kMutationLow;
        step = kMutationRise;
    } else if (value > kMutationHigh) {
        value = kMutationHigh;
        step = fall;
    }
}

void AtariRule(float& value, float& step, int32_t& shift) {
    // The value is not clamped: it runs from above 4 to below -3 and back at
    // one semitone per block, 8 blocks each way in the steady state.
    value = value + step;
    if (value < kAtariLow) {
        step = 1.0f;
        shift = kAtariShiftWhileRising;
    } else if (value > kAtariHigh) {
        shift = kAtariShiftWhileFalling;
        step = -1.0f;
    }
}
