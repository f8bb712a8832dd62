// Doubles for the tests of the voice engine (they link the voice core): a
// monitor sink that records what it is given, and a pitch processor that
// records the shifts set on the plug-in's SoundTouch processor and counts its
// clears while the processing itself stays the real one. Both record into
// storage reserved up front, so they allocate nothing on the audio path.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "soundtouch_pitch.h"
#include "voice_engine.h"

namespace morindale_test {

class RecordingMonitor final : public MonitorSink {
public:
    struct Call {
        std::size_t offset;  // first sample in samples
        int count;
    };
    RecordingMonitor() {
        samples.reserve(std::size_t{1} << 21);
        calls.reserve(std::size_t{1} << 16);
    }
    void Play(const int16_t* data, int count) override {
        if (calls.size() < calls.capacity()) calls.push_back({samples.size(), count});
        for (int i = 0; i < count && samples.size() < samples.capacity(); ++i) samples.push_back(data[i]);
    }
    std::vector<int16_t> samples;  // every sample handed over, in order (the first 2^21)
    std::vector<Call> calls;
};

class RecordingPitch final : public PitchProcessor {
public:
    RecordingPitch() { semitones.reserve(std::size_t{1} << 17); }
    void SetSemitones(double value) override {
        ++uses_;
        if (recording && semitones.size() < semitones.capacity()) semitones.push_back(value);
        real_.SetSemitones(value);
    }
    int Process(const int16_t* in, int count, int16_t* out) override {
        ++uses_;
        return real_.Process(in, count, out);
    }
    void Clear() override {
        ++uses_;
        clears.fetch_add(1, std::memory_order_relaxed);
        real_.Clear();
    }

    bool recording = true;
    std::vector<double> semitones;  // every shift set, in order (the first 2^17)
    std::atomic<int> clears{0};

private:
    SoundTouchPitch real_;
    // Plain on purpose: written by every use, so that ThreadSanitizer reports
    // a clear that overlaps processing, which it cannot see inside
    // SoundTouch.
    unsigned long uses_ = 0;
};

// A fresh engine over the two doubles, which stay reachable.
struct EngineUnderTest {
    EngineUnderTest() {
        auto recorder = std::make_unique<RecordingPitch>();
        pitch = recorder.get();
        engine = std::make_unique<VoiceEngine>(std::move(recorder), monitor);
    }
    RecordingMonitor monitor;
    RecordingPitch* pitch = nullptr;
    std::unique_ptr<VoiceEngine> engine;
};

}  // namespace morindale_test
