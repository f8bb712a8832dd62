#include "voice_engine.h"

#include <algorithm>
#include <cstring>

#include "pitch_rules.h"
#include "semitone_text.h"
#include "soundtouch_pitch.h"
#include "ts3_types.h"
#include "voice_table.h"

VoiceEngine::VoiceEngine(MonitorSink& monitor) : VoiceEngine(std::make_unique<SoundTouchPitch>(), monitor) {}

VoiceEngine::VoiceEngine(std::unique_ptr<PitchProcessor> pitch, MonitorSink& monitor)
    : pitch_(std::move(pitch)), monitor_(monitor), sweepValue_(kSweepStartValue), sweepStep_(kSweepStartStep) {}

VoiceEngine::~VoiceEngine() = default;

void VoiceEngine::RequestReset() { requestedResets_.fetch_add(1, std::memory_order_release); }

void VoiceEngine::Process(const VoiceRequest& request, int16_t* samples, int sampleCount, int* edited) {
    if (edited == nullptr) return;
    if ((*edited & EDIT_FLAG_SENDING) == 0 || !request.enabled) return;
    const Voice* voice = FindVoice(request.voice);
    if (voice == nullptr) return;

    const int count = (samples == nullptr || sampleCount < 0) ? 0 : sampleCount;
    const bool monitor = request.monitor;
    try {
        // One case per kind of rule: a kind added to the table without its
        // case here is a compiler warning (-Wswitch).
        switch (voice->rule.kind) {
            case RuleKind::FixedShift:
            case RuleKind::ManualShift:
            case RuleKind::Sweep:
            case RuleKind::Jump:
                HonourResetRequests();
                // Once per block, also for an empty one.
                ProcessThrough(*pitch_, StepPitchRule(voice->rule, request.manualPitch), samples, count, monitor,
                               edited);
                break;
            case RuleKind::Echo:
                echo_.Apply(samples, count);
                CommitInPlace(samples, count, monitor, edited);
                break;
            case RuleKind::RingModulation:
                ringModulator_.Apply(samples, count);
                CommitInPlace(samples, count, monitor, edited);
                break;
            case RuleKind::Unchanged:
                // The samples stay as they are, but are still committed.
                CommitInPlace(samples, count, monitor, edited);
                break;
            case RuleKind::NaturalShift:
                HonourResetRequests();
                // An unchanged shift keeps the shifter's state.
                natural_.setShift(voice->rule.semitones, voice->rule.formants);
                lastSemitones_.store(voice->rule.semitones, std::memory_order_relaxed);
                // One output per input, the first latencySamples() after a
                // reset silent.
                natural_.process(samples, samples, count);
                CommitInPlace(samples, count, monitor, edited);
                break;
        }
    } catch (...) {
        // SoundTouch throws only on misuse; the rest of the block stays as captured.
    }
}

// Clears the processors that hold samples back, once for any number of
// requests since the last time; only the capture thread gets here.
void VoiceEngine::HonourResetRequests() {
    const unsigned requested = requestedResets_.load(std::memory_order_acquire);
    if (requested == honouredResets_) return;
    honouredResets_ = requested;
    pitch_->Clear();
    natural_.reset();
}

// Advances the rule by one block and returns the shift for it.
double VoiceEngine::StepPitchRule(const VoiceRule& rule, float manualPitch) {
    switch (rule.kind) {
        case RuleKind::FixedShift: return rule.semitones;
        case RuleKind::ManualShift: return ManualPitchInRange(manualPitch);
        case RuleKind::Sweep:
            MutationRule(sweepValue_, sweepStep_, rule.semitones);
            return sweepValue_;
        case RuleKind::Jump:
            AtariRule(sweepValue_, sweepStep_, jumpShift_);
            return jumpShift_;
        default: return 0.0;
    }
}

void VoiceEngine::ProcessThrough(PitchProcessor& processor, double semitones, int16_t* samples, int count,
                                 bool monitor, int* edited) {
    // Set on every block, although a fixed shift does not change: SoundTouch
    // ignores an unchanged value.
    processor.SetSemitones(semitones);
    lastSemitones_.store(static_cast<float>(semitones), std::memory_order_relaxed);
    // Returned samples fill the block from its start, continuously across
    // pieces; they never overtake the input already put in, so a piece's
    // input is still intact when it is read.
    int written = 0;
    for (int offset = 0, piece = 0; offset < count; offset += piece) {
        piece = std::min(kMergeBufferSize, count - offset);
        const int received = processor.Process(samples + offset, piece, merge_);
        Commit(samples + written, received, monitor, edited);
        written += received;
    }
}

void VoiceEngine::CommitInPlace(int16_t* samples, int count, bool monitor, int* edited) {
    for (int offset = 0, piece = 0; offset < count; offset += piece) {
        piece = std::min(kMergeBufferSize, count - offset);
        std::memcpy(merge_, samples + offset, static_cast<std::size_t>(piece) * sizeof(int16_t));
        Commit(samples + offset, piece, monitor, edited);
    }
}

// Copies count samples of merge_ over dest, hands them to the monitor and
// flags the block as edited.
void VoiceEngine::Commit(int16_t* dest, int count, bool monitor, int* edited) {
    if (count <= 0) return;
    std::memcpy(dest, merge_, static_cast<std::size_t>(count) * sizeof(int16_t));
    if (monitor) monitor_.Play(merge_, count);
    *edited |= EDIT_FLAG_EDITED;
}
