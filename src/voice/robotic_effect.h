// Robotic Voice: ring modulation with a 25 Hz sine on loud blocks. The
// oscillator is a table of one period (1920 entries at 48 kHz); its phase
// moves only while loud blocks are modulated and carries over from one to the
// next.
#pragma once

#include <cstdint>

class RingModulator {
public:
    static constexpr int kTableSize = 1920;  // entries: 40 ms at 48 kHz
    static constexpr int kThreshold = 200;   // mean of the positive samples, sample units

    RingModulator();  // fills the table
    RingModulator(const RingModulator&) = delete;
    RingModulator& operator=(const RingModulator&) = delete;

    // Capture thread: modulates count samples in place when the mean of the
    // block's positive samples is above kThreshold; otherwise leaves them.
    void Apply(int16_t* samples, int count);

private:
    float sine_[kTableSize];
    int32_t index_ = 0;  // entry last used, 0..1919
};
