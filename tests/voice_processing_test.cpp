// The voice engine with a recording monitor and a pitch processor that
// records the shifts it is given; SoundTouch itself does the processing. Each
// test makes a fresh engine, which starts as the plug-in's does at load.
#include <gtest/gtest.h>

#include <SoundTouch.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine_doubles.h"
#include "pitch_rules.h"
#include "sample_conversion.h"
#include "soundtouch_pitch.h"
#include "test_support.h"
#include "ts3_types.h"
#include "voice_engine.h"
#include "voice_table.h"

namespace {

using Samples = std::vector<int16_t>;
using morindale_test::EngineUnderTest;

constexpr int kBlock = 960;

// Block number `index` of a long test signal.
Samples Slice(const Samples& signal, std::size_t index, std::size_t size = kBlock) {
    return Samples(signal.begin() + index * size, signal.begin() + (index + 1) * size);
}

// A voiced-looking test signal: a 180 Hz tone with two harmonics.
Samples VoicedTone(std::size_t count, double amplitude = 9000.0) {
    Samples out(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / 48000.0;
        const double v = amplitude * (0.6 * std::sin(2 * M_PI * 180 * t) + 0.3 * std::sin(2 * M_PI * 360 * t + 0.4) +
                                      0.1 * std::sin(2 * M_PI * 540 * t + 1.1));
        out[i] = static_cast<int16_t>(std::lround(v));
    }
    return out;
}

// A second SoundTouch configured as the plug-in's must be, with the test's
// own conversion, to compute what the processor effects should send.
class ReferenceProcessor {
public:
    ReferenceProcessor() { ConfigureForVoice(touch_); }
    // Puts the block in at `semitones` and returns what comes out (at most
    // as many samples as went in).
    Samples Run(const Samples& in, int semitones) {
        touch_.setPitchSemiTones(semitones);
        std::vector<float> floats(in.size());
        for (std::size_t i = 0; i < in.size(); ++i) floats[i] = static_cast<float>(in[i]) / 32768.0f;
        touch_.putSamples(floats.data(), static_cast<unsigned>(floats.size()));
        std::vector<float> out(in.size());
        const unsigned got = touch_.receiveSamples(out.data(), static_cast<unsigned>(out.size()));
        Samples result(got);
        for (unsigned i = 0; i < got; ++i) {
            const double v = std::lround(static_cast<double>(out[i]) * 32768.0);
            result[i] = static_cast<int16_t>(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
        }
        return result;
    }
    void Clear() { touch_.clear(); }

private:
    soundtouch::SoundTouch touch_;
};

class VoiceProcessing : public ::testing::Test {
protected:
    // Hands one block to the engine with the test's voice state; returns the
    // edited flags.
    int Hook(Samples& block, int flags = EDIT_FLAG_SENDING) {
        int edited = flags;
        engine().Process(state, block.empty() ? nullptr : block.data(), static_cast<int>(block.size()), &edited);
        return edited;
    }
    VoiceEngine& engine() { return *test_.engine; }
    std::size_t MonitorCallCount() const { return test_.monitor.calls.size(); }
    int MonitorCallCountAt(std::size_t index) const { return test_.monitor.calls.at(index).count; }
    const Samples& MonitorSamples() const { return test_.monitor.samples; }
    const std::vector<double>& PitchCalls() const { return test_.pitch->semitones; }
    void ResetPitchCalls() { test_.pitch->semitones.clear(); }
    int ClearCount() const { return test_.pitch->clears.load(); }

    // Checks that a sent block holds `expected` at its start and its captured
    // samples after that, and that the monitor got exactly `expected`.
    void ExpectCommitted(const Samples& sent, const Samples& captured, const Samples& expected, int flags,
                         std::size_t monitorCallsBefore, const std::string& where) {
        SCOPED_TRACE(where);
        ASSERT_EQ(sent.size(), captured.size());
        ASSERT_LE(expected.size(), sent.size());
        EXPECT_EQ(Samples(sent.begin(), sent.begin() + expected.size()), expected);
        EXPECT_EQ(Samples(sent.begin() + expected.size(), sent.end()),
                  Samples(captured.begin() + expected.size(), captured.end()));
        if (expected.empty()) {
            EXPECT_EQ(flags, EDIT_FLAG_SENDING);
            EXPECT_EQ(MonitorCallCount(), monitorCallsBefore);
        } else {
            EXPECT_EQ(flags, EDIT_FLAG_SENDING | EDIT_FLAG_EDITED);
            ASSERT_EQ(MonitorCallCount(), monitorCallsBefore + 1);
            const auto call = test_.monitor.calls[monitorCallsBefore];
            EXPECT_EQ(call.count, static_cast<int>(expected.size()));
            EXPECT_EQ(Samples(MonitorSamples().begin() + call.offset,
                              MonitorSamples().begin() + call.offset + expected.size()),
                      expected);
        }
    }

    // After gated blocks the Mutation sweep must still take its first step
    // from the value at load (0.0 + 0.1).
    void ExpectSweepStillAtLoad() {
        state.enabled = true;
        state.voice = EFFECT_MUTATION;
        Samples block = VoicedTone(kBlock);
        Hook(block);
        ASSERT_EQ(PitchCalls().size(), 1u);
        EXPECT_EQ(PitchCalls()[0], static_cast<double>(0.0f + 0.1f));
    }

    // The voice state as the plug-in starts: enabled, helium, monitoring on.
    VoiceRequest state{true, EFFECT_PITCH_HELIUM, true, 0.0f};
    EngineUnderTest test_;
};

// --- Sample conversion --------------------------------------------------------

TEST(SampleConversion, FullScaleMapsToPlusMinusOne) {
    EXPECT_EQ(SampleToFloat(-32768), -1.0f);
    EXPECT_EQ(SampleToFloat(32767), 32767.0f / 32768.0f);
    EXPECT_EQ(SampleToFloat(0), 0.0f);
    EXPECT_EQ(FloatToSample(-1.0f), -32768);
    EXPECT_EQ(FloatToSample(32767.0f / 32768.0f), 32767);
}

TEST(SampleConversion, EverySampleSurvivesTheRoundTrip) {
    for (int s = -32768; s <= 32767; ++s)
        ASSERT_EQ(FloatToSample(SampleToFloat(static_cast<int16_t>(s))), s) << s;
}

TEST(SampleConversion, RoundsToNearestWithHalvesAwayFromZero) {
    const float unit = 1.0f / 32768.0f;
    EXPECT_EQ(FloatToSample(0.5f * unit), 1);
    EXPECT_EQ(FloatToSample(-0.5f * unit), -1);
    EXPECT_EQ(FloatToSample(0.49999997f * unit), 0);   // just below a half
    EXPECT_EQ(FloatToSample(-0.49999997f * unit), 0);
    EXPECT_EQ(FloatToSample(100.4f * unit), 100);
    EXPECT_EQ(FloatToSample(100.6f * unit), 101);
    EXPECT_EQ(FloatToSample(-100.6f * unit), -101);
    EXPECT_EQ(FloatToSample(32766.5f * unit), 32767);
}

TEST(SampleConversion, SaturatesBeyondFullScale) {
    EXPECT_EQ(FloatToSample(1.0f), 32767);
    EXPECT_EQ(FloatToSample(1.7f), 32767);
    EXPECT_EQ(FloatToSample(-1.00001f), -32768);
    EXPECT_EQ(FloatToSample(-3.0f), -32768);
    EXPECT_EQ(FloatToSample(INFINITY), 32767);
    EXPECT_EQ(FloatToSample(-INFINITY), -32768);
    EXPECT_EQ(FloatToSample(NAN), 0);
    EXPECT_EQ(FloatToSample(1e30f), 32767);
}

// --- The pitch processor's settings ---------------------------------------------

TEST(PitchSettings, SoundTouchIsSetUpForSpeechAt48kHzMono) {
    soundtouch::SoundTouch touch;
    ConfigureForVoice(touch);
    EXPECT_EQ(touch.getSetting(SETTING_USE_QUICKSEEK), 0);
    EXPECT_EQ(touch.getSetting(SETTING_USE_AA_FILTER), 1);
    EXPECT_EQ(touch.getSetting(SETTING_SEQUENCE_MS), 40);
    EXPECT_EQ(touch.getSetting(SETTING_SEEKWINDOW_MS), 15);
    EXPECT_EQ(touch.getSetting(SETTING_OVERLAP_MS), 8);
    // A sequence less its overlap, (40 - 8) ms, in samples at 48 kHz.
    EXPECT_EQ(touch.getSetting(SETTING_NOMINAL_OUTPUT_SEQUENCE), 1536);
    EXPECT_EQ(touch.numChannels(), 1u);
}

// --- Gate ------------------------------------------------------------------------

TEST_F(VoiceProcessing, SendBitClearLeavesBlockFlagsAndStateUntouched) {
    state.voice = EFFECT_MUTATION;
    const Samples captured = VoicedTone(kBlock);
    for (int flags : {0, 1, 4, 0x7ffffffd}) {
        Samples block = captured;
        EXPECT_EQ(Hook(block, flags), flags);
        EXPECT_EQ(block, captured);
    }
    EXPECT_EQ(MonitorCallCount(), 0u);
    EXPECT_EQ(PitchCalls().size(), 0u);
    ExpectSweepStillAtLoad();
}

TEST_F(VoiceProcessing, DisabledLeavesBlockFlagsAndStateUntouched) {
    state.enabled = false;
    const Samples captured = VoicedTone(kBlock);
    for (const Voice& voice : kVoices) {
        state.voice = voice.id;
        Samples block = captured;
        EXPECT_EQ(Hook(block), EDIT_FLAG_SENDING) << voice.id;
        EXPECT_EQ(block, captured) << voice.id;
    }
    EXPECT_EQ(MonitorCallCount(), 0u);
    EXPECT_EQ(PitchCalls().size(), 0u);
    ExpectSweepStillAtLoad();
}

TEST_F(VoiceProcessing, ValueThatNamesNoVoiceLeavesEverythingUntouched) {
    const Samples captured = VoicedTone(kBlock);
    for (int effect : {6, 18, 21, 25, 0, -1, 99, INT_MIN, INT_MAX}) {
        state.voice = effect;
        Samples block = captured;
        EXPECT_EQ(Hook(block), EDIT_FLAG_SENDING) << effect;
        EXPECT_EQ(block, captured) << effect;
    }
    EXPECT_EQ(MonitorCallCount(), 0u);
    EXPECT_EQ(PitchCalls().size(), 0u);
    ExpectSweepStillAtLoad();
}

TEST_F(VoiceProcessing, NegativeCountMissingBufferOrMissingFlagsChangeNothing) {
    state.voice = EFFECT_MY_VOICE;
    Samples block = VoicedTone(kBlock);
    const Samples captured = block;
    int edited = EDIT_FLAG_SENDING;
    engine().Process(state, block.data(), -5, &edited);
    EXPECT_EQ(edited, EDIT_FLAG_SENDING);
    engine().Process(state, nullptr, kBlock, &edited);
    EXPECT_EQ(edited, EDIT_FLAG_SENDING);
    engine().Process(state, block.data(), kBlock, nullptr);
    EXPECT_EQ(block, captured);
    EXPECT_EQ(MonitorCallCount(), 0u);
}

// --- The pitch processor ------------------------------------------------------

TEST_F(VoiceProcessing, PartlyReturnedBlocksSendTheirTailAsCaptured) {
    state.voice = EFFECT_PITCH_HELIUM;
    ReferenceProcessor reference;
    const Samples signal = VoicedTone(40 * kBlock);
    int empty = 0, partial = 0, full = 0;
    for (std::size_t b = 0; b < 40; ++b) {
        const Samples captured = Slice(signal, b);
        const Samples expected = reference.Run(captured, 8);
        Samples block = captured;
        const std::size_t before = MonitorCallCount();
        const int flags = Hook(block);
        ExpectCommitted(block, captured, expected, flags, before, "block " + std::to_string(b));
        if (expected.empty()) ++empty;
        else if (expected.size() < captured.size()) ++partial;
        else ++full;
    }
    // The processor's latency must have produced every kind of block.
    EXPECT_GT(empty, 0);
    EXPECT_GT(partial, 0);
    EXPECT_GT(full, 0);
}

TEST_F(VoiceProcessing, SamplesHeldInTheProcessorComeOutAtTheNextTransmission) {
    state.voice = EFFECT_PITCH_MALE;
    ReferenceProcessor reference;
    const Samples signal = VoicedTone(70 * kBlock);
    for (std::size_t b = 0; b < 70; ++b) {
        const Samples captured = Slice(signal, b);
        Samples block = captured;
        const std::size_t before = MonitorCallCount();
        if (b >= 30 && b < 35) {
            // The user stopped talking: nothing is sent, nothing moves.
            EXPECT_EQ(Hook(block, 0), 0);
            EXPECT_EQ(block, captured);
            EXPECT_EQ(MonitorCallCount(), before);
            continue;
        }
        const Samples expected = reference.Run(captured, -3);
        const int flags = Hook(block);
        ExpectCommitted(block, captured, expected, flags, before, "block " + std::to_string(b));
        if (b == 35) {
            EXPECT_EQ(expected.size(), captured.size()) << "held samples are ready at once";
        }
    }
}

TEST_F(VoiceProcessing, RequestedClearTakesEffectBeforeTheNextProcessedBlock) {
    state.voice = EFFECT_PITCH_FEMALE;
    ReferenceProcessor reference;
    const Samples signal = VoicedTone(80 * kBlock);
    std::size_t b = 0;
    auto send = [&](int semitones) {
        const Samples captured = Slice(signal, b);
        Samples block = captured;
        const std::size_t before = MonitorCallCount();
        const Samples expected = reference.Run(captured, semitones);
        const int flags = Hook(block);
        ExpectCommitted(block, captured, expected, flags, before, "block " + std::to_string(b));
        ++b;
        return expected.size();
    };
    for (int i = 0; i < 25; ++i) send(4);
    // A change of effect clears; the next processed block starts afresh.
    engine().RequestReset();
    reference.Clear();
    EXPECT_EQ(send(4), 0u) << "a cleared processor returns nothing at first";
    for (int i = 0; i < 20; ++i) send(4);
    // A request made while an in-place effect runs is honoured when the
    // processor is next used; two requests clear once.
    state.voice = EFFECT_CLONE;
    const std::size_t clearsBefore = ClearCount();
    engine().RequestReset();
    Samples cloneBlock = Slice(signal, b++);
    Hook(cloneBlock);
    EXPECT_EQ(ClearCount(), clearsBefore) << "Clone does not touch the processor";
    engine().RequestReset();
    state.voice = EFFECT_PITCH_FEMALE;
    reference.Clear();
    for (int i = 0; i < 30; ++i) send(4);
    EXPECT_EQ(ClearCount(), clearsBefore + 1);
}

TEST_F(VoiceProcessing, EmptyBlockIsNeitherChangedNorFlaggedButTheSweepSteps) {
    Samples empty;
    state.voice = EFFECT_MUTATION_FAST;
    EXPECT_EQ(Hook(empty), EDIT_FLAG_SENDING);
    state.voice = EFFECT_ATARI;
    EXPECT_EQ(Hook(empty), EDIT_FLAG_SENDING);
    for (const Voice& voice : kVoices) {
        state.voice = voice.id;
        EXPECT_EQ(Hook(empty), EDIT_FLAG_SENDING) << voice.id;
    }
    EXPECT_EQ(MonitorCallCount(), 0u);
    ASSERT_GE(PitchCalls().size(), 2u);
    EXPECT_EQ(PitchCalls()[0], static_cast<double>(0.0f + 0.1f));
    EXPECT_EQ(PitchCalls()[1], 0.0);
    // Then one call per voice of the pitch processor in the loop: 7, 9..15, 22.
    EXPECT_EQ(PitchCalls().size(), 2u + 9u);
}

// The fixed shifts, and the manual one at the value of each block's voice
// state, held to -12..12 (a settings file may hold any value).
TEST_F(VoiceProcessing, FixedAndManualShiftsSetTheirShiftOnEveryBlock) {
    struct Shift {
        int voice;
        float manualPitch;
        double semitones;
    };
    const Shift shifts[] = {{EFFECT_PITCH_MALE, 5.0f, -3},     {EFFECT_PITCH_FEMALE, 0.0f, 4},
                            {EFFECT_PITCH_HELIUM, 0.0f, 8},    {EFFECT_PITCH_BABY, 0.0f, 12},
                            {EFFECT_PITCH_MANUAL, -2.5f, -2.5}, {EFFECT_PITCH_MANUAL, 0.125f, 0.125},
                            {EFFECT_PITCH_MANUAL, 12.0f, 12},  {EFFECT_PITCH_MANUAL, 99.0f, 12},
                            {EFFECT_PITCH_MANUAL, -2147483.75f, -12}, {EFFECT_PITCH_MANUAL, NAN, 0}};
    Samples block = VoicedTone(kBlock);
    for (const Shift& shift : shifts) {
        SCOPED_TRACE(std::to_string(shift.voice) + " at " + std::to_string(shift.manualPitch));
        ResetPitchCalls();
        state.voice = shift.voice;
        state.manualPitch = shift.manualPitch;
        for (int i = 0; i < 5; ++i) Hook(block);
        EXPECT_EQ(PitchCalls(), std::vector<double>(5, shift.semitones));
        EXPECT_EQ(engine().LastSemitones(), static_cast<float>(shift.semitones));
    }
}

// --- Mutation and Atari Game ----------------------------------------------------

const char* FindActionName(int effect) {
    return effect == EFFECT_MUTATION_SLOW ? "Slow" : effect == EFFECT_MUTATION ? "Normal" : "Fast";
}

struct MutationCase {
    int effect;
    float fall;
    int fallBlocks;
};

class MutationFromLoad : public VoiceProcessing, public ::testing::WithParamInterface<MutationCase> {};

TEST_P(MutationFromLoad, RisesFor130BlocksThenFallsAtItsOwnSpeedAndRisesAgain) {
    const MutationCase c = GetParam();
    state.voice = c.effect;
    const int total = 130 + 2 * (c.fallBlocks + 170) + 3;
    Samples block(1, 100);  // a one-sample block steps the sweep like any other
    for (int i = 0; i < total; ++i) Hook(block);
    const std::vector<double> calls = PitchCalls();
    ASSERT_EQ(calls.size(), static_cast<std::size_t>(total));
    // Expected values follow the rule step by step in single precision.
    float value = 0.0f, step = 0.1f;
    std::vector<int> upper, lower;  // blocks (from 1) at which a bound held the value
    for (int i = 0; i < total; ++i) {
        value = value + step;
        if (value < -4.0f) {
            value = -4.0f;
            step = 0.1f;
            lower.push_back(i + 1);
        } else if (value > 13.0f) {
            value = 13.0f;
            step = c.fall;
            upper.push_back(i + 1);
        }
        ASSERT_EQ(calls[i], static_cast<double>(value)) << "block " << i + 1;
    }
    // The counts as the effect is meant to behave, independently of the loop.
    ASSERT_GE(upper.size(), 2u);
    ASSERT_GE(lower.size(), 2u);
    EXPECT_EQ(upper[0], 130);
    EXPECT_EQ(lower[0] - upper[0], c.fallBlocks);
    EXPECT_EQ(upper[1] - lower[0], 170);
    EXPECT_EQ(lower[1] - upper[1], c.fallBlocks);
    EXPECT_EQ(calls[129], 13.0);
    EXPECT_EQ(calls[lower[0] - 1], -4.0);
    EXPECT_NEAR(calls[0], 0.1, 1e-6);
    EXPECT_NEAR(calls[130], 13.0 + c.fall, 1e-5);
}

INSTANTIATE_TEST_SUITE_P(AllSpeeds, MutationFromLoad,
                         ::testing::Values(MutationCase{EFFECT_MUTATION_SLOW, -0.01f, 1700},
                                           MutationCase{EFFECT_MUTATION, -0.1f, 170},
                                           MutationCase{EFFECT_MUTATION_FAST, -0.3f, 57}),
                         [](const ::testing::TestParamInfo<MutationCase>& info) {
                             return std::string(FindActionName(info.param.effect));
                         });

TEST(MutationRuleBounds, ExactlyThirteenOrMinusFourDoesNotTrigger) {
    float value = 12.0f, step = 1.0f;
    MutationRule(value, step, -0.3f);
    EXPECT_EQ(value, 13.0f);
    EXPECT_EQ(step, 1.0f);
    MutationRule(value, step, -0.3f);
    EXPECT_EQ(value, 13.0f);
    EXPECT_EQ(step, -0.3f);
    value = -3.0f;
    step = -1.0f;
    MutationRule(value, step, -0.3f);
    EXPECT_EQ(value, -4.0f);
    EXPECT_EQ(step, -1.0f);
    MutationRule(value, step, -0.3f);
    EXPECT_EQ(value, -4.0f);
    EXPECT_EQ(step, 0.1f);
}

TEST(AtariRuleBounds, ExactlyFourOrMinusThreeDoesNotTurn) {
    float value = 3.0f, step = 1.0f;
    int32_t shift = 6;
    AtariRule(value, step, shift);
    EXPECT_EQ(value, 4.0f);
    EXPECT_EQ(step, 1.0f);
    EXPECT_EQ(shift, 6);
    AtariRule(value, step, shift);
    EXPECT_EQ(value, 5.0f);  // not clamped
    EXPECT_EQ(step, -1.0f);
    EXPECT_EQ(shift, -3);
    value = -2.0f;
    AtariRule(value, step, shift);
    EXPECT_EQ(value, -3.0f);
    EXPECT_EQ(shift, -3);
    AtariRule(value, step, shift);
    EXPECT_EQ(value, -4.0f);
    EXPECT_EQ(step, 1.0f);
    EXPECT_EQ(shift, 6);
}

TEST_F(VoiceProcessing, AtariGameFromLoadHolds40BlocksThenAlternatesInRunsOf8) {
    state.voice = EFFECT_ATARI;
    Samples block = VoicedTone(kBlock);
    const int total = 40 + 8 * 12;
    for (int i = 0; i < total; ++i) Hook(block);
    const std::vector<double> calls = PitchCalls();
    ASSERT_EQ(calls.size(), static_cast<std::size_t>(total));
    for (int i = 0; i < total; ++i) {
        const int expected = i < 40 ? 0 : ((i - 40) / 8) % 2 == 0 ? -3 : 6;
        EXPECT_EQ(calls[i], expected) << "block " << i + 1;
    }
}

TEST_F(VoiceProcessing, MutationAfterAtariGameMovesAWholeSemitoneUntilTheNextBound) {
    state.voice = EFFECT_ATARI;
    Samples block(1, 100);
    for (int i = 0; i < 44; ++i) Hook(block);  // 4 blocks into the first fall
    ResetPitchCalls();
    state.voice = EFFECT_MUTATION_SLOW;
    for (int i = 0; i < 12; ++i) Hook(block);
    const std::vector<double> calls = PitchCalls();
    ASSERT_EQ(calls.size(), 12u);
    // From about 0.1 falling by 1.0: 9 whole steps pass -4 and are held there,
    // then the rise of 0.1 takes over.
    std::size_t held = 0;
    while (held < calls.size() && calls[held] != -4.0) ++held;
    ASSERT_LT(held, calls.size()) << "the sweep never reached -4";
    EXPECT_GE(held, 3u);
    for (std::size_t i = 1; i < held; ++i) EXPECT_NEAR(calls[i] - calls[i - 1], -1.0, 1e-5) << i;
    for (std::size_t i = held + 1; i < calls.size(); ++i)
        EXPECT_NEAR(calls[i] - calls[i - 1], 0.1, 1e-5) << i;
    EXPECT_LT(calls[held - 1], -3.0);
    EXPECT_GT(calls[held - 1], -4.0);
}

// --- Clone ---------------------------------------------------------------------

// What Clone must send for a stream of samples that all went through Clone
// since load: half of each sample plus half of the one 9000 earlier.
Samples CloneExpected(const Samples& stream) {
    Samples out(stream.size());
    for (std::size_t t = 0; t < stream.size(); ++t) {
        const int dry = static_cast<int>(std::floor(stream[t] / 2.0));
        const int echo = t >= 9000 ? static_cast<int>(std::floor(stream[t - 9000] / 2.0)) : 0;
        out[t] = static_cast<int16_t>(dry + echo);
    }
    return out;
}

// A loud test stream with full-scale samples at both ends of the range.
Samples LoudStream(std::size_t count) {
    Samples out = VoicedTone(count, 20000.0);
    for (std::size_t i = 0; i < count; i += 997) out[i] = -32768;
    for (std::size_t i = 500; i < count; i += 1009) out[i] = 32767;
    for (std::size_t i = 3; i < count; i += 211) out[i] = static_cast<int16_t>(-(static_cast<int>(i) % 7));
    return out;
}

TEST_F(VoiceProcessing, CloneAddsHalfTheVoiceOf9000SamplesEarlierAcrossTheRingWrap) {
    state.voice = EFFECT_CLONE;
    const std::size_t blocks = 230;  // 220800 samples: the ring wraps once
    const Samples stream = LoudStream(blocks * kBlock);
    const Samples expected = CloneExpected(stream);
    Samples sent;
    for (std::size_t b = 0; b < blocks; ++b) {
        Samples block = Slice(stream, b);
        ASSERT_EQ(Hook(block), EDIT_FLAG_SENDING | EDIT_FLAG_EDITED);
        sent.insert(sent.end(), block.begin(), block.end());
    }
    ASSERT_EQ(sent.size(), expected.size());
    for (std::size_t t = 0; t < sent.size(); ++t) ASSERT_EQ(sent[t], expected[t]) << "sample " << t;
    EXPECT_EQ(MonitorSamples(), sent);
    EXPECT_EQ(MonitorCallCount(), blocks);
}

TEST_F(VoiceProcessing, CloneKeepsFullScaleBlocksInRange) {
    state.voice = EFFECT_CLONE;
    Samples low(9000, -32768);
    Hook(low);
    EXPECT_EQ(low, Samples(9000, -16384));  // the echo of load is silence
    Samples again(9000, -32768);
    Hook(again);
    EXPECT_EQ(again, Samples(9000, -32768));
    Samples high(9000, 32767);
    Hook(high);
    EXPECT_EQ(high, Samples(9000, 16383 - 16384));
    Samples odd(9000, -1);
    Hook(odd);
    EXPECT_EQ(odd, Samples(9000, -1 + 16383));
}

TEST_F(VoiceProcessing, CloneChosenAgainRepeatsWhatItStoredBefore) {
    const Samples stream = LoudStream(40 * kBlock);
    Samples cloneStream;
    Samples sent;
    std::size_t b = 0;
    auto cloneBlocks = [&](int count) {
        state.voice = EFFECT_CLONE;
        for (int i = 0; i < count; ++i, ++b) {
            Samples block = Slice(stream, b);
            cloneStream.insert(cloneStream.end(), block.begin(), block.end());
            Hook(block);
            sent.insert(sent.end(), block.begin(), block.end());
        }
    };
    cloneBlocks(15);
    for (int effect : {EFFECT_PITCH_HELIUM, EFFECT_ROBOTIC, EFFECT_MY_VOICE}) {
        state.voice = effect;
        for (int i = 0; i < 3; ++i, ++b) {
            Samples block = Slice(stream, b);
            Hook(block);
        }
    }
    cloneBlocks(12);
    EXPECT_EQ(sent, CloneExpected(cloneStream));
}

// --- Robotic Voice ----------------------------------------------------------------

// The oscillator table as it is defined: float angle, float step, sin in double.
std::vector<float> SineTable() {
    std::vector<float> table(1920);
    float theta = 0.0f;
    for (int k = 0; k < 1920; ++k) {
        table[k] = static_cast<float>(std::sin(static_cast<double>(theta)));
        theta += 0.0032724924f;
    }
    return table;
}

// Modulates like Robotic Voice, from table index `index` (last one used).
Samples Modulated(const Samples& in, int& index) {
    const std::vector<float> table = SineTable();
    Samples out(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        index = (index + 1) % 1920;
        const double product = std::trunc(static_cast<double>(in[i] * table[index]));
        out[i] = static_cast<int16_t>(static_cast<int>(product) == 32768 ? -32768 : static_cast<int>(product));
    }
    return out;
}

TEST(SineTable, HoldsOnePeriodWithExactPeaks) {
    const std::vector<float> table = SineTable();
    EXPECT_EQ(table[0], 0.0f);
    EXPECT_EQ(table[480], 1.0f);
    EXPECT_EQ(table[1440], -1.0f);
    // The float angle drifts by some 1e-5 rad over a period; the peaks still
    // round to exactly 1.0.
    EXPECT_NEAR(table[960], 0.0f, 1e-4);
    EXPECT_NEAR(table[1919], -0.0032724924f, 1e-4);
}

TEST_F(VoiceProcessing, RoboticVoiceModulatesLoudBlocksFromEntryOneWithThePhaseCarriedOver) {
    state.voice = EFFECT_ROBOTIC;
    int index = 0;
    const Samples signal = VoicedTone(10 * kBlock, 12000.0);
    for (std::size_t b = 0; b < 6; ++b) {
        const Samples captured = Slice(signal, b);
        Samples block = captured;
        EXPECT_EQ(Hook(block), EDIT_FLAG_SENDING | EDIT_FLAG_EDITED);
        const Samples expected = Modulated(captured, index);
        ASSERT_EQ(block, expected) << "block " << b;
        if (b == 0) {
            EXPECT_EQ(block[0], static_cast<int16_t>(std::trunc(captured[0] * SineTable()[1])));
        }
    }
    // A quiet block passes unchanged (still committed) and the phase stays.
    Samples quiet(kBlock, 150);
    EXPECT_EQ(Hook(quiet), EDIT_FLAG_SENDING | EDIT_FLAG_EDITED);
    EXPECT_EQ(quiet, Samples(kBlock, 150));
    const Samples captured = Slice(signal, 7);
    Samples block = captured;
    Hook(block);
    EXPECT_EQ(block, Modulated(captured, index));
}

TEST_F(VoiceProcessing, RoboticVoiceThresholdIsAMeanOfPositiveSamplesAbove200) {
    state.voice = EFFECT_ROBOTIC;
    auto unchanged = [this](Samples block) {
        const Samples captured = block;
        Hook(block);
        return block == captured;
    };
    EXPECT_TRUE(unchanged(Samples(kBlock, 200)));
    EXPECT_TRUE(unchanged(Samples(kBlock, 0)));
    EXPECT_TRUE(unchanged(Samples(kBlock, -30000)));   // no positive sample
    Samples mixed(kBlock, -30000);
    mixed[10] = 100;
    mixed[20] = 301;  // mean 200.5 truncates to 200
    EXPECT_TRUE(unchanged(mixed));
    mixed[20] = 302;  // mean 201
    EXPECT_FALSE(unchanged(mixed));
    // The loud block was the first modulated: it started at entry 1.
    int index = 0;
    Samples again = mixed;
    Modulated(mixed, index);  // advance the test's phase past that block
    Samples block = again;
    Hook(block);
    EXPECT_EQ(block, Modulated(again, index));
}

TEST_F(VoiceProcessing, RoboticVoiceTurnsMinusFullScaleTimesMinusOneIntoMinusFullScale) {
    state.voice = EFFECT_ROBOTIC;
    Samples first(1439, 1000);  // entries 1..1439
    Hook(first);
    Samples block(481, 1000);
    block[0] = -32768;  // entry 1440: -1.0
    Samples expectedTail(block.begin() + 1, block.end());
    int index = 1440;
    expectedTail = Modulated(expectedTail, index);
    Hook(block);
    EXPECT_EQ(block[0], -32768);
    EXPECT_EQ(Samples(block.begin() + 1, block.end()), expectedTail);
    EXPECT_EQ(block.back(), 0);  // entry 1920 wraps to entry 0: sin 0
    Samples peak(480, 32767);   // entries 1..480: the last is +1.0
    int peakIndex = 0;
    const Samples peakExpected = Modulated(peak, peakIndex);
    Hook(peak);
    EXPECT_EQ(peak, peakExpected);
    EXPECT_EQ(peak.back(), 32767);
}

// --- My voice ----------------------------------------------------------------------

TEST_F(VoiceProcessing, MyVoiceFlagsAndMonitorsEveryBlockUnchanged) {
    state.voice = EFFECT_MY_VOICE;
    const Samples signal = LoudStream(5 * kBlock);
    for (std::size_t b = 0; b < 5; ++b) {
        Samples block = Slice(signal, b);
        const std::size_t before = MonitorCallCount();
        ExpectCommitted(block, Slice(signal, b), Slice(signal, b), Hook(block), before, "block " + std::to_string(b));
    }
    state.monitor = false;
    Samples block = Slice(signal, 0);
    EXPECT_EQ(Hook(block), EDIT_FLAG_SENDING | EDIT_FLAG_EDITED);
    EXPECT_EQ(Hook(block, EDIT_FLAG_SENDING | 8 | 16), EDIT_FLAG_SENDING | EDIT_FLAG_EDITED | 8 | 16);
    EXPECT_EQ(MonitorCallCount(), 5u) << "monitoring off: nothing more reaches the monitor";
}

// --- Blocks longer than the work buffer ------------------------------------------------

TEST_F(VoiceProcessing, InPlaceBlockLongerThanTheWorkBufferIsProcessedWholeAndMonitoredInPieces) {
    state.voice = EFFECT_CLONE;
    const Samples stream = LoudStream(700001);
    Samples block = stream;
    EXPECT_EQ(Hook(block), EDIT_FLAG_SENDING | EDIT_FLAG_EDITED);
    EXPECT_EQ(block, CloneExpected(stream));
    ASSERT_EQ(MonitorCallCount(), 3u);
    EXPECT_EQ(MonitorCallCountAt(0), 300000);
    EXPECT_EQ(MonitorCallCountAt(1), 300000);
    EXPECT_EQ(MonitorCallCountAt(2), 100001);
    EXPECT_EQ(MonitorSamples(), block);
}

TEST_F(VoiceProcessing, ProcessorBlockLongerThanTheWorkBufferIsProcessedInPieces) {
    state.voice = EFFECT_PITCH_BABY;
    ReferenceProcessor reference;
    const Samples stream = VoicedTone(650000);
    const Samples whole = reference.Run(stream, 12);
    Samples block = stream;
    EXPECT_EQ(Hook(block), EDIT_FLAG_SENDING | EDIT_FLAG_EDITED);
    const Samples& monitored = MonitorSamples();
    ASSERT_GE(MonitorCallCount(), 2u);
    for (std::size_t i = 0; i < MonitorCallCount(); ++i) EXPECT_LE(MonitorCallCountAt(i), 300000) << i;
    // The returned samples fill the block from its start, in order, as one
    // long run of the processor would deliver them; the rest stays captured.
    const std::size_t processed = monitored.size();
    ASSERT_LE(processed, whole.size());
    EXPECT_GT(processed, stream.size() - 10000);  // only the latency is missing
    EXPECT_EQ(Samples(block.begin(), block.begin() + processed), Samples(whole.begin(), whole.begin() + processed));
    EXPECT_EQ(Samples(block.begin() + processed, block.end()), Samples(stream.begin() + processed, stream.end()));
    EXPECT_EQ(Samples(block.begin(), block.begin() + processed), monitored);
}

}  // namespace
