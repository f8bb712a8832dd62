// Robotic Voice (effect 16): ring modulation with a 25 Hz sine on loud
// blocks. The oscillator is a table of one period (1920 entries at 48 kHz);
// its phase moves only while loud blocks are modulated and carries over from
// one to the next.
#pragma once

#include <cstdint>

constexpr int kSineTableSize = 1920;  // entries: 40 ms at 48 kHz
constexpr int kRoboticThreshold = 200;  // mean of the positive samples, sample units

// Capture thread: modulates count samples in place when the mean of the
// block's positive samples is above kRoboticThreshold; otherwise leaves them.
void ApplyRobotic(int16_t* samples, int count);
