// Voice changes from event threads while the capture thread processes
// blocks: the clear that every change requests must never overlap the pitch
// processor's use (ThreadSanitizer runs this in CI and sees the recording
// double's plain counter), and the capture thread must never wait for it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "engine_doubles.h"
#include "test_support.h"
#include "ts3_types.h"
#include "voice_engine.h"
#include "voice_table.h"

namespace {

constexpr int kBlock = 960;

TEST(VoiceConcurrency, VoiceChangesAndClearsWhileTheCaptureThreadProcesses) {
    morindale_test::EngineUnderTest test;
    test.pitch->recording = false;
    VoiceEngine& engine = *test.engine;
    const std::vector<int16_t> signal = morindale_test::Sine(190.0, 9000.0, 200 * kBlock);

    std::atomic<bool> captureDone{false};
    std::atomic<long> changes{0};
    std::atomic<int> voice{EFFECT_PITCH_HELIUM};
    std::thread events([&] {
        // Tight loop, bounded: every voice in turn, each with its clear.
        for (long i = 0; i < 50000000 && !captureDone.load(); ++i) {
            voice.store(kVoices[static_cast<std::size_t>(i) % kVoiceCount].id, std::memory_order_relaxed);
            engine.RequestReset();
            changes.fetch_add(1, std::memory_order_relaxed);
        }
    });

    int badFlags = 0;
    std::vector<int16_t> block(kBlock);
    for (int b = 0; b < 3000; ++b) {
        std::copy(signal.begin() + (b % 200) * kBlock, signal.begin() + (b % 200 + 1) * kBlock, block.begin());
        int edited = EDIT_FLAG_SENDING;
        engine.Process(VoiceRequest{true, voice.load(std::memory_order_relaxed), false, 3.5f}, block.data(), kBlock,
                       &edited);
        if (edited != EDIT_FLAG_SENDING && edited != (EDIT_FLAG_SENDING | EDIT_FLAG_EDITED)) ++badFlags;
    }
    captureDone = true;
    events.join();
    EXPECT_EQ(badFlags, 0);
    EXPECT_GT(changes.load(), 0);
    // Many requests, at most one clear per processed block, all on this thread.
    EXPECT_GT(test.pitch->clears.load(), 0);
    EXPECT_LE(test.pitch->clears.load(), 3000);

    // The last request is honoured before the next processed block: a
    // cleared processor returns nothing for a first short block.
    engine.RequestReset();
    std::vector<int16_t> first(signal.begin(), signal.begin() + 480);
    const std::vector<int16_t> captured = first;
    int edited = EDIT_FLAG_SENDING;
    engine.Process(VoiceRequest{true, EFFECT_PITCH_HELIUM, false, 0.0f}, first.data(), 480, &edited);
    EXPECT_EQ(edited, EDIT_FLAG_SENDING);
    EXPECT_EQ(first, captured);
}

TEST(VoiceConcurrency, ClearRequestsFromManyThreadsNeverBlockTheCaptureThread) {
    morindale_test::EngineUnderTest test;
    test.pitch->recording = false;
    VoiceEngine& engine = *test.engine;
    std::atomic<bool> stop{false};
    std::vector<std::thread> requesters;
    for (int t = 0; t < 3; ++t)
        requesters.emplace_back([&] {
            for (long i = 0; i < 10000000 && !stop.load(); ++i) engine.RequestReset();
        });
    const std::vector<int16_t> signal = morindale_test::Sine(250.0, 12000.0, kBlock);
    std::vector<int16_t> block(kBlock);
    for (int b = 0; b < 500; ++b) {
        block = signal;
        int edited = EDIT_FLAG_SENDING;
        engine.Process(VoiceRequest{true, EFFECT_PITCH_BABY, false, 0.0f}, block.data(), kBlock, &edited);
        ASSERT_TRUE(edited == EDIT_FLAG_SENDING || edited == (EDIT_FLAG_SENDING | EDIT_FLAG_EDITED)) << edited;
    }
    stop = true;
    for (std::thread& t : requesters) t.join();
}

}  // namespace
