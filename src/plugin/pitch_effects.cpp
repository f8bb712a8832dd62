#include "pitch_effects.h"

#include <cstdint>

#include "catalogue.h"
#include "pitch_processor.h"

namespace {

// Shared by Mutation (all three speeds) and Atari Game.
float SS_VariablePitch_Value = 0.0f;         // semitones
float SS_VariablePitch_Value_Offset = 0.1f;  // semitones per block, signed
int32_t SS_VariableTempValue = 0;            // Atari Game's current shift, semitones

constexpr float kMutationLow = -4.0f;
constexpr float kMutationHigh = 13.0f;
constexpr float kMutationRise = 0.1f;  // for all three speeds

// Semitones per block on the way down, by speed.
float MutationFall(int effect) {
    switch (effect) {
        case EFFECT_MUTATION_SLOW: return -0.01f;
        case EFFECT_MUTATION: return -0.1f;
        default: return -0.3f;
    }
}

void StepMutation(int effect) {
    MutationRule(SS_VariablePitch_Value, SS_VariablePitch_Value_Offset, MutationFall(effect));
    SetPitchSemiTones(SS_VariablePitch_Value);
}

void StepAtari() {
    AtariRule(SS_VariablePitch_Value, SS_VariablePitch_Value_Offset, SS_VariableTempValue);
    SetPitchSemiTones(static_cast<int>(SS_VariableTempValue));
}

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
    if (value < -3.0f) {
        step = 1.0f;
        shift = 6;
    } else if (value > 4.0f) {
        shift = -3;
        step = -1.0f;
    }
}

bool IsPitchEffect(int effect) {
    return effect == EFFECT_ATARI || (effect >= EFFECT_MUTATION_SLOW && effect <= EFFECT_PITCH_BABY);
}

void StepPitch(int effect) {
    switch (effect) {
        case EFFECT_ATARI: StepAtari(); break;
        case EFFECT_MUTATION_SLOW:
        case EFFECT_MUTATION:
        case EFFECT_MUTATION_FAST: StepMutation(effect); break;
        // The fixed shifts set their value on every block, although it
        // does not change (the processor ignores an unchanged value).
        case EFFECT_PITCH_MALE: SetPitchSemiTones(-3); break;
        case EFFECT_PITCH_FEMALE: SetPitchSemiTones(4); break;
        case EFFECT_PITCH_HELIUM: SetPitchSemiTones(8); break;
        case EFFECT_PITCH_BABY: SetPitchSemiTones(12); break;
        default: break;
    }
}
