// The one pair of conversions between the client's 16-bit samples and the
// 32-bit float samples of the pitch processor (Debian builds SoundTouch for
// float samples). Full scale is 32768 in both directions: -32768 <-> -1.0,
// 32767 <-> 0.99997. The way back rounds to nearest (halves away from zero)
// and saturates to -32768..32767, so a shifted peak above full scale clips
// instead of wrapping round.
#pragma once

#include <cstdint>

constexpr float kSampleFullScale = 32768.0f;

// One 16-bit sample as float, -1.0 to just below +1.0.
inline float SampleToFloat(int16_t sample) { return static_cast<float>(sample) * (1.0f / kSampleFullScale); }

// One float sample as 16 bits, rounded and saturated; NaN becomes 0.
inline int16_t FloatToSample(float value) {
    float scaled = value * kSampleFullScale;
    if (!(scaled == scaled)) return 0;
    if (scaled >= 32767.0f) return 32767;
    if (scaled <= -32768.0f) return -32768;
    // The half is added in double: in float, 0.49999997 + 0.5 would round up
    // to 1.0 and so round the sample the wrong way.
    const double half = scaled >= 0.0f ? 0.5 : -0.5;
    return static_cast<int16_t>(static_cast<int32_t>(static_cast<double>(scaled) + half));
}

// count samples from in to out; the arrays must not overlap.
inline void SamplesToFloat(const int16_t* in, float* out, int count) {
    for (int i = 0; i < count; ++i) out[i] = SampleToFloat(in[i]);
}

inline void FloatToSamples(const float* in, int16_t* out, int count) {
    for (int i = 0; i < count; ++i) out[i] = FloatToSample(in[i]);
}
