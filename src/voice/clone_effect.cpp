#include "clone_effect.h"

void CloneEcho::Apply(int16_t* samples, int count) {
    int32_t read = writeAt_ - kDelay;
    if (read < 0) read += kRingSize;
    for (int i = 0; i < count; ++i) {
        if (writeAt_ >= kRingSize) writeAt_ = 0;
        if (read >= kRingSize) read = 0;
        const int16_t half = static_cast<int16_t>(samples[i] >> 1);  // arithmetic: rounds toward -inf
        ring_[writeAt_] = half;
        // Two halved 16-bit samples: the sum always fits.
        samples[i] = static_cast<int16_t>(half + ring_[read]);
        ++writeAt_;
        ++read;
    }
}
