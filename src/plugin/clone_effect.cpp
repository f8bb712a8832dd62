#include "clone_effect.h"

namespace {

int16_t SS_Effect_Buffer[kCloneRingSize];  // halved input samples
// Write position, 0..kCloneRingSize between blocks; kCloneRingSize is
// wrapped to 0 just before the next write.
int32_t SS_effectStart = 0;

}  // namespace

void ApplyClone(int16_t* samples, int count) {
    int32_t read = SS_effectStart - kCloneDelay;
    if (read < 0) read += kCloneRingSize;
    for (int i = 0; i < count; ++i) {
        if (SS_effectStart >= kCloneRingSize) SS_effectStart = 0;
        if (read >= kCloneRingSize) read = 0;
        const int16_t half = static_cast<int16_t>(samples[i] >> 1);  // arithmetic: rounds toward -inf
        SS_Effect_Buffer[SS_effectStart] = half;
        // Two halved 16-bit samples: the sum always fits.
        samples[i] = static_cast<int16_t>(half + SS_Effect_Buffer[read]);
        ++SS_effectStart;
        ++read;
    }
}
