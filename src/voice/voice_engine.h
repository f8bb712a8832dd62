// The voice engine: everything that transforms the captured voice, in one
// object. The client's capture thread hands over each block of 16-bit mono
// samples at 48 kHz that it is about to send; the voice's rule (voice_table.h)
// transforms it, either through the pitch processor (which returns a block's
// worth of samples only once its latency, some tens of ms, has filled), or
// through the natural voices' shifter (one output per input, silent for its
// latency after a reset), or in place. Returned samples replace the start of the block, go to the monitor
// sink when monitoring is on, and the block is flagged as edited.
//
// Processing allocates nothing, takes no lock and makes no system call of
// its own; the monitor sink and SoundTouch are the exceptions the plug-in
// accepts: the monitor FIFO takes its lock, and SoundTouch allocates when
// the pitch changes (it redesigns its anti-alias filter: every block under
// Mutation, one block in eight under Atari Game, the first block of a fixed
// shift) and gives it back at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "clone_effect.h"
#include "natural_voice_shifter.h"
#include "pitch_processor.h"
#include "robotic_effect.h"
#include "voice_table.h"

// Where committed samples go besides the client's buffer: the local monitor.
class MonitorSink {
public:
    // Capture thread: count samples of the block's result (count > 0).
    virtual void Play(const int16_t* samples, int count) = 0;

protected:
    ~MonitorSink() = default;
};

// The voice state that one block is processed with, read once per block.
struct VoiceRequest {
    bool enabled = true;      // false: the block passes untouched
    int voice = 0;            // action ID (voice_table.h); any other value: untouched
    bool monitor = false;     // hand the result to the monitor sink
    float manualPitch = 0.0f; // semitones for Pitch (manual), held to -12..12
};

class VoiceEngine {
public:
    // With the plug-in's pitch processor: SoundTouch, configured from the
    // settings of pitch_processor.h.
    explicit VoiceEngine(MonitorSink& monitor);
    // With a pitch processor of the caller's (a test's recording double).
    VoiceEngine(std::unique_ptr<PitchProcessor> pitch, MonitorSink& monitor);
    ~VoiceEngine();
    VoiceEngine(const VoiceEngine&) = delete;
    VoiceEngine& operator=(const VoiceEngine&) = delete;

    // Capture thread, one block at a time; never waits. edited is the
    // client's flag word: nothing happens unless its sending bit is set, the
    // request is enabled and names a voice; then the edited bit is set when
    // processed samples were written. A negative count or a missing buffer is
    // an empty block. Nothing thrown inside leaves: a block that fails keeps
    // its captured samples.
    void Process(const VoiceRequest& request, int16_t* samples, int sampleCount, int* edited);

    // Any thread: asks for the pitch processor and the natural voices'
    // shifter to be cleared, dropping the samples they hold. The capture
    // thread clears them itself before its next use of either, so a clear
    // never overlaps processing and no one waits. The sweep, echo and
    // oscillator carry on.
    void RequestReset();

    // Any thread: the shift, in semitones, last set on the pitch processor
    // (0 before the first).
    float LastSemitones() const { return lastSemitones_.load(std::memory_order_relaxed); }

private:
    // A block's result before it goes back to the client and to the monitor.
    // Client blocks are far shorter; a longer one is handled in pieces of
    // this size, each committed like a block of its own.
    static constexpr int kMergeBufferSize = 300000;  // samples, 6.25 s

    void HonourResetRequests();
    // Advances a pitch rule by one block; returns the shift for it, semitones.
    double StepPitchRule(const VoiceRule& rule, float manualPitch);
    // The block through a processor at `semitones`; what it returns is
    // committed over the start of the block.
    void ProcessThrough(PitchProcessor& processor, double semitones, int16_t* samples, int count, bool monitor,
                        int* edited);
    // The block, transformed in place or not at all, committed whole.
    void CommitInPlace(int16_t* samples, int count, bool monitor, int* edited);
    void Commit(int16_t* dest, int count, bool monitor, int* edited);

    std::unique_ptr<PitchProcessor> pitch_;
    MonitorSink& monitor_;

    // Requests counted by any thread; honouredResets_ only by the capture thread.
    std::atomic<unsigned> requestedResets_{0};
    unsigned honouredResets_ = 0;

    // Shared by the Mutation sweeps and Atari Game (pitch_rules.h).
    float sweepValue_;
    float sweepStep_;
    int32_t jumpShift_ = 0;  // Atari Game's current shift, semitones

    NaturalVoiceShifter natural_;
    CloneEcho echo_;
    RingModulator ringModulator_;
    std::atomic<float> lastSemitones_{0.0f};
    int16_t merge_[kMergeBufferSize];
};
