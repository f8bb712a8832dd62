// The pitch rules of the processor effects: each processed block of effects
// 7 and 9..15 takes one step of its rule and hands the resulting shift to
// the pitch processor. The Mutation sweeps and Atari Game share one moving
// value and step; nothing resets them, so a change between these effects
// continues from where the last one left off.
#pragma once

#include <cstdint>

// True for the effects that run through the pitch processor (7, 9..15).
bool IsPitchEffect(int effect);

// Capture thread: advances effect's rule by one block and sets the
// processor's pitch. effect must satisfy IsPitchEffect.
void StepPitch(int effect);

// The two sweep rules, one block each, on the shared value and step
// (semitones, semitones per block); StepPitch applies them to the plug-in's
// own state.
// Mutation: value += step; below -4 it is held at -4 and rises by 0.1, above
// 13 held at 13 and falls by fall (negative). Exactly -4 or 13 is no bound.
void MutationRule(float& value, float& step, float fall);
// Atari Game: value += step, unclamped; below -3 the step becomes +1 and the
// shift +6, above 4 the step -1 and the shift -3.
void AtariRule(float& value, float& step, int32_t& shift);
