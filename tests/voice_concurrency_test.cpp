// Effect changes from an event thread while the capture thread processes
// blocks: the clear that every change requests must never overlap the
// processor's use (ThreadSanitizer runs this in CI), and the capture thread
// must never wait for it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

#include "catalogue.h"
#include "test_support.h"
#include "ts3_plugin.h"
#include "voice_doubles.h"
#include "voice_processing.h"
#include "voice_state.h"

namespace {

constexpr int kBlock = 960;

TEST(VoiceConcurrency, EffectChangesAndClearsWhileTheCaptureThreadProcesses) {
    FillSineTable();
    ConfigurePitchProcessor();
    gl_HearMyVoice = false;
    const std::vector<int16_t> signal = morindale_test::Sine(190.0, 9000.0, 200 * kBlock);

    std::atomic<bool> captureDone{false};
    std::atomic<long> changes{0};
    std::thread events([&] {
        // Tight loop, bounded: every effect in turn, each with its clear.
        for (long i = 0; i < 50000000 && !captureDone.load(); ++i) {
            gl_CurrentVoiceEffect = kFirstEffect + static_cast<int>(i % 11);
            RequestPitchProcessorClear();
            changes.fetch_add(1, std::memory_order_relaxed);
        }
    });

    int badFlags = 0;
    std::vector<int16_t> block(kBlock);
    for (int b = 0; b < 3000; ++b) {
        std::copy(signal.begin() + (b % 200) * kBlock, signal.begin() + (b % 200 + 1) * kBlock, block.begin());
        int edited = EDIT_FLAG_SENDING;
        ts3plugin_onEditCapturedVoiceDataEvent(1, block.data(), kBlock, 1, &edited);
        if (edited != EDIT_FLAG_SENDING && edited != (EDIT_FLAG_SENDING | EDIT_FLAG_EDITED)) ++badFlags;
    }
    captureDone = true;
    events.join();
    EXPECT_EQ(badFlags, 0);
    EXPECT_GT(changes.load(), 0);
    // Many requests, at most one clear per processed block, all on this thread.
    EXPECT_GT(voice_doubles::ClearCount(), 0u);
    EXPECT_LE(voice_doubles::ClearCount(), 3000u);

    // The last request is honoured before the next processed block: a
    // cleared processor returns nothing for a first short block.
    gl_CurrentVoiceEffect = EFFECT_PITCH_HELIUM;
    RequestPitchProcessorClear();
    std::vector<int16_t> first(signal.begin(), signal.begin() + 480);
    const std::vector<int16_t> captured = first;
    int edited = EDIT_FLAG_SENDING;
    ts3plugin_onEditCapturedVoiceDataEvent(1, first.data(), 480, 1, &edited);
    EXPECT_EQ(edited, EDIT_FLAG_SENDING);
    EXPECT_EQ(first, captured);
}

TEST(VoiceConcurrency, SetUpAgainWhileTheCaptureThreadProcesses) {
    // The client initialising the plug-in again while a block is being
    // processed: neither the sine table nor the processor's configuration
    // may change under the capture thread (ThreadSanitizer sees it).
    FillSineTable();
    ConfigurePitchProcessor();
    gl_HearMyVoice = false;
    const std::vector<int16_t> loud = morindale_test::Sine(190.0, 12000.0, kBlock);
    std::atomic<bool> captureDone{false};
    std::thread init([&] {
        for (int i = 0; i < 2000 && !captureDone.load(); ++i) {
            FillSineTable();
            ConfigurePitchProcessor();
        }
    });
    std::vector<int16_t> block(kBlock);
    for (int b = 0; b < 400; ++b) {
        gl_CurrentVoiceEffect = b % 2 == 0 ? EFFECT_ROBOTIC : EFFECT_PITCH_BABY;
        block = loud;
        int edited = EDIT_FLAG_SENDING;
        ts3plugin_onEditCapturedVoiceDataEvent(1, block.data(), kBlock, 1, &edited);
        ASSERT_TRUE(edited == EDIT_FLAG_SENDING || edited == (EDIT_FLAG_SENDING | EDIT_FLAG_EDITED)) << edited;
    }
    captureDone = true;
    init.join();
}

TEST(VoiceConcurrency, ClearRequestsFromManyThreadsNeverBlockTheCaptureThread) {
    FillSineTable();
    ConfigurePitchProcessor();
    gl_HearMyVoice = false;
    gl_CurrentVoiceEffect = EFFECT_PITCH_BABY;
    std::atomic<bool> stop{false};
    std::vector<std::thread> requesters;
    for (int t = 0; t < 3; ++t)
        requesters.emplace_back([&] {
            for (long i = 0; i < 10000000 && !stop.load(); ++i) RequestPitchProcessorClear();
        });
    const std::vector<int16_t> signal = morindale_test::Sine(250.0, 12000.0, kBlock);
    std::vector<int16_t> block(kBlock);
    for (int b = 0; b < 500; ++b) {
        block = signal;
        int edited = EDIT_FLAG_SENDING;
        ts3plugin_onEditCapturedVoiceDataEvent(1, block.data(), kBlock, 1, &edited);
        ASSERT_TRUE(edited == EDIT_FLAG_SENDING || edited == (EDIT_FLAG_SENDING | EDIT_FLAG_EDITED)) << edited;
    }
    stop = true;
    for (std::thread& t : requesters) t.join();
}

}  // namespace
