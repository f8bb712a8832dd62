// The pitch processor of the voices that shift the pitch: 16-bit mono
// samples at 48 kHz go in, come out shifted in pitch at unchanged tempo. The
// processor holds back a few tens of milliseconds (its latency), so the
// first blocks after a clear return fewer samples than were put in.
//
// VoiceEngine owns one and uses it on the capture thread only. Tests give
// the engine a double of their own through the interface.
#pragma once

#include <cstdint>

class PitchProcessor {
public:
    virtual ~PitchProcessor() = default;

    // The shift, in semitones, for the samples put in from now on.
    virtual void SetSemitones(double semitones) = 0;

    // Puts count samples in and moves at most count processed samples out
    // into out; returns how many it moved (0..count). Processed samples
    // beyond count stay inside for later calls. in and out must not overlap.
    // May throw what SoundTouch throws.
    virtual int Process(const int16_t* in, int count, int16_t* out) = 0;

    // Drops every sample inside; keeps the buffers' capacity.
    virtual void Clear() = 0;
};

// SoundTouch's settings (soundtouch_pitch.h) for speech at 48 kHz mono: only the pitch moves.
// A short sequence and overlap keep the latency low; quick seek off and
// the anti-alias filter on keep the sound clean.
namespace pitch_settings {
constexpr int kSampleRate = 48000;  // Hz
constexpr int kChannels = 1;
constexpr int kSequenceMs = 40;
constexpr int kSeekWindowMs = 15;
constexpr int kOverlapMs = 8;
constexpr bool kQuickSeek = false;
constexpr bool kAntiAliasFilter = true;
}  // namespace pitch_settings
