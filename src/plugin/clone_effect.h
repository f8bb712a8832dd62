// Clone (effect 8): one echo, without feedback, 9000 samples (187.5 ms at
// 48 kHz) behind the voice; voice and echo each at half level. The echo ring
// holds the halved dry input and moves only while Clone runs; nothing resets
// it, so Clone chosen again first repeats what it stored last time.
#pragma once

#include <cstdint>

constexpr int kCloneRingSize = 192000;  // samples, 4 s
constexpr int kCloneDelay = 9000;       // samples

// Capture thread: transforms count samples in place.
void ApplyClone(int16_t* samples, int count);
