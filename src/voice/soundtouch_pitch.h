// The plug-in's pitch processor: one SoundTouch instance with the settings of
// pitch_processor.h. SoundTouch works on float samples here (Debian builds it
// so); the conversion goes through sample_conversion.h, staged in pieces of
// kStagingSize samples that the object owns, so nothing is allocated per
// block. SoundTouch itself allocates when the pitch changes: it redesigns its
// anti-alias filter.
#pragma once

#include <SoundTouch.h>

#include <cstdint>

#include "pitch_processor.h"

// Applies the settings of pitch_processor.h to a SoundTouch instance, tempo
// and rate changes 0. The plug-in's processor, the benchmark's bare one and
// the tests' reference all go through here.
void ConfigureForVoice(soundtouch::SoundTouch& touch);

class SoundTouchPitch final : public PitchProcessor {
public:
    SoundTouchPitch();  // configured by ConfigureForVoice
    SoundTouchPitch(const SoundTouchPitch&) = delete;
    SoundTouchPitch& operator=(const SoundTouchPitch&) = delete;

    void SetSemitones(double semitones) override;
    int Process(const int16_t* in, int count, int16_t* out) override;
    void Clear() override;

private:
    // Client blocks (960 samples) fit in one piece; longer ones go through in
    // pieces of this size.
    static constexpr int kStagingSize = 4096;

    int Drain(int16_t* out, int room);

    soundtouch::SoundTouch touch_;
    float stagingIn_[kStagingSize];
    float stagingOut_[kStagingSize];
};
