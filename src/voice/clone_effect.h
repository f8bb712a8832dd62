// Clone: one echo, without feedback, 9000 samples (187.5 ms at 48 kHz)
// behind the voice; voice and echo each at half level. The ring holds the
// halved dry input, never the output, so there is exactly one repetition. It
// moves only while Clone runs and nothing resets it, so Clone chosen again
// first repeats what it stored last time.
#pragma once

#include <cstdint>

class CloneEcho {
public:
    static constexpr int kRingSize = 192000;  // samples, 4 s
    static constexpr int kDelay = 9000;       // samples

    CloneEcho() = default;
    CloneEcho(const CloneEcho&) = delete;
    CloneEcho& operator=(const CloneEcho&) = delete;

    // Capture thread: transforms count samples in place.
    void Apply(int16_t* samples, int count);

private:
    int16_t ring_[kRingSize] = {};  // halved input samples
    // Write position, 0..kRingSize between blocks; kRingSize is wrapped to 0
    // just before the next write.
    int32_t writeAt_ = 0;
};
