#include "soundtouch_pitch.h"

#include <algorithm>

#include "sample_conversion.h"

void ConfigureForVoice(soundtouch::SoundTouch& touch) {
    using namespace pitch_settings;
    touch.setSampleRate(kSampleRate);
    touch.setChannels(kChannels);
    touch.setTempoChange(0);
    touch.setRateChange(0);
    touch.setSetting(SETTING_USE_QUICKSEEK, kQuickSeek ? 1 : 0);
    touch.setSetting(SETTING_USE_AA_FILTER, kAntiAliasFilter ? 1 : 0);
    touch.setSetting(SETTING_SEQUENCE_MS, kSequenceMs);
    touch.setSetting(SETTING_SEEKWINDOW_MS, kSeekWindowMs);
    touch.setSetting(SETTING_OVERLAP_MS, kOverlapMs);
}

SoundTouchPitch::SoundTouchPitch() { ConfigureForVoice(touch_); }

void SoundTouchPitch::SetSemitones(double semitones) { touch_.setPitchSemiTones(semitones); }

void SoundTouchPitch::Clear() { touch_.clear(); }  // keeps the buffers' capacity: no allocation

int SoundTouchPitch::Drain(int16_t* out, int room) {
    int moved = 0;
    while (moved < room) {
        const int wanted = std::min(kStagingSize, room - moved);
        const int got = static_cast<int>(touch_.receiveSamples(stagingOut_, static_cast<unsigned>(wanted)));
        FloatToSamples(stagingOut_, out + moved, got);
        moved += got;
        if (got < wanted) break;
    }
    return moved;
}

int SoundTouchPitch::Process(const int16_t* in, int count, int16_t* out) {
    // Each piece's output is drained before the next goes in, so the
    // processor's buffers stay at their working size even for long blocks.
    int moved = 0;
    for (int offset = 0, piece = 0; offset < count; offset += piece) {
        piece = std::min(kStagingSize, count - offset);
        SamplesToFloat(in + offset, stagingIn_, piece);
        touch_.putSamples(stagingIn_, static_cast<unsigned>(piece));
        moved += Drain(out + moved, count - moved);
    }
    return moved;
}
