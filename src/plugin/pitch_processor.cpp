// gl_soundTouch and the hand-over of clears from the event threads.
//
// An effect change asks for a clear from a menu or hotkey thread while the
// capture thread may be inside putSamples. Rather than lock, the event
// thread only counts the request; the capture thread compares the count with
// the last one it honoured and clears the processor itself, before its next
// put. So a clear never overlaps processing, and the capture thread never
// waits. A request that arrives while nobody talks is honoured at the start
// of the next transmission, before any sample goes in: the same outcome as
// an immediate clear.
#include "pitch_processor.h"

#include <SoundTouch.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include "sample_conversion.h"
#include "voice_processing.h"

namespace {

soundtouch::SoundTouch gl_soundTouch;

// Set once by Configure (init thread, first init only), before the client
// delivers blocks; read on the capture thread.
std::atomic<bool> processorReady{false};

// Requests counted by any thread; honouredClears only by the capture thread.
std::atomic<unsigned> requestedClears{0};
unsigned honouredClears = 0;

// Float staging of the conversion: client blocks (960 samples) fit in one
// piece, longer ones go through in pieces of this size.
constexpr int kStagingSize = 4096;
float stagingIn[kStagingSize];
float stagingOut[kStagingSize];

// Moves at most room processed samples out into out; returns how many.
int Drain(int16_t* out, int room) {
    int moved = 0;
    while (moved < room) {
        const int wanted = std::min(kStagingSize, room - moved);
        const int got = static_cast<int>(gl_soundTouch.receiveSamples(stagingOut, static_cast<unsigned>(wanted)));
        FloatToSamples(stagingOut, out + moved, got);
        moved += got;
        if (got < wanted) break;
    }
    return moved;
}

// The processor's settings, for 48 kHz mono; marks it ready.
void Configure() {
    try {
        gl_soundTouch.setSampleRate(48000);
        gl_soundTouch.setChannels(1);
        gl_soundTouch.setTempoChange(0);
        gl_soundTouch.setRateChange(0);
        gl_soundTouch.setSetting(SETTING_USE_QUICKSEEK, 0);
        gl_soundTouch.setSetting(SETTING_USE_AA_FILTER, 1);
        gl_soundTouch.setSetting(SETTING_SEQUENCE_MS, 40);
        gl_soundTouch.setSetting(SETTING_SEEKWINDOW_MS, 15);
        gl_soundTouch.setSetting(SETTING_OVERLAP_MS, 8);
        processorReady.store(true, std::memory_order_release);
    } catch (...) {
        // Left unconfigured: the processor effects then pass blocks untouched.
    }
}

}  // namespace

void ConfigurePitchProcessor() {
    // Once per load: a later init may come while the capture thread is
    // inside putSamples, and the settings never change. A request to clear
    // is the only thing another thread ever asks of the processor.
    static std::once_flag configured;
    std::call_once(configured, Configure);
}

void RequestPitchProcessorClear() { requestedClears.fetch_add(1, std::memory_order_release); }

bool PitchProcessorReady() { return processorReady.load(std::memory_order_acquire); }

void HonourPitchProcessorClear() {
    const unsigned requested = requestedClears.load(std::memory_order_acquire);
    if (requested == honouredClears) return;
    honouredClears = requested;
    gl_soundTouch.clear();  // keeps the buffers' capacity: no allocation
}

void SetPitchSemiTones(int semitones) { gl_soundTouch.setPitchSemiTones(semitones); }

void SetPitchSemiTones(float semitones) { gl_soundTouch.setPitchSemiTones(static_cast<double>(semitones)); }

int RunPitchProcessor(const int16_t* in, int count, int16_t* out) {
    // Each piece's output is drained before the next goes in, so the
    // processor's buffers stay at their working size even for long blocks.
    int moved = 0;
    for (int offset = 0, piece = 0; offset < count; offset += piece) {
        piece = std::min(kStagingSize, count - offset);
        SamplesToFloat(in + offset, stagingIn, piece);
        gl_soundTouch.putSamples(stagingIn, static_cast<unsigned>(piece));
        moved += Drain(out + moved, count - moved);
    }
    return moved;
}
