// The pitch rules of the processor effects: each processed block of effects
// 7 and 9..15 takes one step of its rule and hands the resulting shift to
// the pitch processor. The Mutation sweeps and Atari Game share one moving
// value and step; nothing resets them, so a change between these effects
// continues from where the last one left off.
#pragma once

// True for the effects that run through the pitch processor (7, 9..15).
bool IsPitchEffect(int effect);

// Capture thread: advances effect's rule by one block and sets the
// processor's pitch. effect must satisfy IsPitchEffect.
void StepPitch(int effect);
