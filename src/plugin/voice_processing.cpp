// ts3plugin_onEditCapturedVoiceDataEvent: the gate, the effect of the block
// and the commit of its result.
#include "voice_processing.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "audio/monitor.h"
#include "catalogue.h"
#include "clone_effect.h"
#include "pitch_effects.h"
#include "pitch_processor.h"
#include "robotic_effect.h"
#include "ts3_plugin.h"
#include "voice_state.h"

namespace {

// A block's result before it goes back to the client and to the monitor.
// Client blocks are far shorter; a longer one is handled in pieces of this
// size, each committed like a block of its own.
constexpr int kMergeBufferSize = 300000;  // samples, 6.25 s
int16_t mergeBuffer[kMergeBufferSize];

// Copies count samples of mergeBuffer over dest, hands them to the monitor
// and flags the block as edited.
void Commit(int16_t* dest, int count, bool monitor, int* edited) {
    if (count <= 0) return;
    std::memcpy(dest, mergeBuffer, static_cast<std::size_t>(count) * sizeof(int16_t));
    if (monitor) WAVE_WIN_Play_Samples(mergeBuffer, count * static_cast<int>(sizeof(int16_t)));
    *edited |= EDIT_FLAG_EDITED;
}

void ProcessWithPitchProcessor(int effect, int16_t* samples, int count, bool monitor, int* edited) {
    if (!PitchProcessorReady()) return;  // init has not run: leave the block as captured
    HonourPitchProcessorClear();
    StepPitch(effect);  // once per block, also for an empty one
    // Returned samples fill the block from its start, continuously across
    // pieces; they never overtake the input already put in, so a piece's
    // input is still intact when it is read.
    int written = 0;
    for (int offset = 0, piece = 0; offset < count; offset += piece) {
        piece = std::min(kMergeBufferSize, count - offset);
        const int received = RunPitchProcessor(samples + offset, piece, mergeBuffer);
        Commit(samples + written, received, monitor, edited);
        written += received;
    }
}

void ProcessInPlace(int effect, int16_t* samples, int count, bool monitor, int* edited) {
    if (effect == EFFECT_CLONE) ApplyClone(samples, count);
    if (effect == EFFECT_ROBOTIC) ApplyRobotic(samples, count);
    // My voice leaves the samples as they are, but still commits them.
    for (int offset = 0, piece = 0; offset < count; offset += piece) {
        piece = std::min(kMergeBufferSize, count - offset);
        std::memcpy(mergeBuffer, samples + offset, static_cast<std::size_t>(piece) * sizeof(int16_t));
        Commit(samples + offset, piece, monitor, edited);
    }
}

}  // namespace

// Capture thread, one block at a time; never blocks. The client owns samples
// and edited for the duration of the call.
void ts3plugin_onEditCapturedVoiceDataEvent(uint64 /*serverConnectionHandlerID*/, short* samples, int sampleCount,
                                            int /*channels*/, int* edited) {
    if (edited == nullptr) return;
    // The voice state is read once; the block works on these copies.
    const bool enabled = gl_Enabled;
    const int effect = gl_CurrentVoiceEffect;
    const bool monitor = gl_HearMyVoice;
    if ((*edited & EDIT_FLAG_SENDING) == 0 || !enabled || !IsEffect(effect)) return;

    // A negative count or a missing buffer is taken as an empty block.
    const int count = (samples == nullptr || sampleCount < 0) ? 0 : sampleCount;
    try {
        if (IsPitchEffect(effect))
            ProcessWithPitchProcessor(effect, samples, count, monitor, edited);
        else
            ProcessInPlace(effect, samples, count, monitor, edited);
    } catch (...) {
        // SoundTouch throws only on misuse; the rest of the block stays as captured.
    }
}
