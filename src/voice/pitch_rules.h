// The moving pitch rules, one block at a time, on state that the caller owns
// (VoiceEngine keeps one value and step for the Mutation sweeps and Atari Game
// together, so a change between them continues where the last one left off).
// Values in semitones, steps in semitones per block, in single precision as
// the voices were tuned.
#pragma once

#include <cstdint>

// The state at load: the sweep starts at 0 and rises.
constexpr float kSweepStartValue = 0.0f;
constexpr float kSweepStartStep = 0.1f;

// Mutation: value += step; below -4 it is held at -4 and rises by 0.1 (all
// three speeds), above 13 held at 13 and falls by fall (negative). Exactly -4
// or 13 is no bound.
void MutationRule(float& value, float& step, float fall);

// Atari Game: value += step, unclamped; below -3 the step becomes +1 and the
// shift +6, above 4 the step -1 and the shift -3.
void AtariRule(float& value, float& step, int32_t& shift);
