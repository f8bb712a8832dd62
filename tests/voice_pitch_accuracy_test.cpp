// The fixed shifts and the manual one move a voiced tone by 2^(s/12). The
// frequency is measured from zero crossings after the processor's start-up;
// 2% allows for the time-stretcher's splices, which jitter the period
// slightly, while a shift off by a semitone (6%) still fails. The tones are a
// sine and a band-limited sawtooth (harmonics up to 4 kHz, as in a voice),
// which the pitch processor must move as a whole.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine_doubles.h"
#include "test_support.h"
#include "ts3_types.h"
#include "voice_engine.h"
#include "voice_signals.h"
#include "voice_table.h"

namespace {

constexpr int kBlock = 960;
constexpr int kBlocks = 150;

struct Shift {
    const char* name;
    int voice;
    float manualPitch;  // Pitch (manual) only
    double semitones;
};

// A sawtooth of `frequency` Hz from its harmonics below 4 kHz, peak near
// `amplitude`.
std::vector<int16_t> Sawtooth(double frequency, double amplitude, std::size_t count) {
    std::vector<int16_t> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / 48000.0;
        double v = 0.0;
        for (int k = 1; k * frequency < 4000.0; ++k) v += std::sin(2 * M_PI * k * frequency * t) / k;
        out[i] = static_cast<int16_t>(std::lround(amplitude * 0.55 * v));
    }
    return out;
}

class ShiftAccuracy : public ::testing::TestWithParam<Shift> {};

TEST_P(ShiftAccuracy, ToneComesOutAtTheShiftedFrequency) {
    const Shift shift = GetParam();
    const VoiceRequest request{true, shift.voice, false, shift.manualPitch};
    struct Tone {
        const char* kind;
        double frequency;
        std::vector<int16_t> samples;
    };
    const Tone tones[] = {{"sine", 150.0, morindale_test::Sine(150.0, 10000.0, kBlocks * kBlock)},
                          {"sine", 220.0, morindale_test::Sine(220.0, 10000.0, kBlocks * kBlock)},
                          {"sawtooth", 130.0, Sawtooth(130.0, 10000.0, kBlocks * kBlock)}};
    for (const Tone& tone : tones) {
        SCOPED_TRACE(std::string(tone.kind) + " " + std::to_string(tone.frequency));
        morindale_test::EngineUnderTest test;
        std::vector<int16_t> sent;
        for (int b = 0; b < kBlocks; ++b) {
            std::vector<int16_t> block(tone.samples.begin() + b * kBlock, tone.samples.begin() + (b + 1) * kBlock);
            int edited = EDIT_FLAG_SENDING;
            test.engine->Process(request, block.data(), kBlock, &edited);
            ASSERT_TRUE(b < 10 || edited == (EDIT_FLAG_SENDING | EDIT_FLAG_EDITED)) << "block " << b;
            sent.insert(sent.end(), block.begin(), block.end());
        }
        const double measured = morindale_test::ZeroCrossingFrequency(sent, 24000, sent.size());
        const double expected = tone.frequency * std::pow(2.0, shift.semitones / 12.0);
        EXPECT_NEAR(measured / expected, 1.0, 0.02) << "measured " << measured << " Hz, expected " << expected;
        // The level stays that of the input (within 3 dB: the splices).
        const double inputRms = morindale_test::Rms(tone.samples, 24000, tone.samples.size());
        const double rms = morindale_test::Rms(sent, 24000, sent.size());
        EXPECT_GT(rms, inputRms / 1.41);
        EXPECT_LT(rms, inputRms * 1.41);
    }
}

INSTANTIATE_TEST_SUITE_P(Pitch, ShiftAccuracy,
                         ::testing::Values(Shift{"Male", EFFECT_PITCH_MALE, 0.0f, -3},
                                           Shift{"Female", EFFECT_PITCH_FEMALE, 0.0f, 4},
                                           Shift{"Helium", EFFECT_PITCH_HELIUM, 0.0f, 8},
                                           Shift{"Baby", EFFECT_PITCH_BABY, 0.0f, 12},
                                           Shift{"ManualDown2_5", EFFECT_PITCH_MANUAL, -2.5f, -2.5},
                                           Shift{"ManualUp5_5", EFFECT_PITCH_MANUAL, 5.5f, 5.5},
                                           Shift{"ManualLowest", EFFECT_PITCH_MANUAL, -12.0f, -12},
                                           // A settings file's value beyond the range plays at its end.
                                           Shift{"ManualBeyondTheRange", EFFECT_PITCH_MANUAL, 30.0f, 12}),
                         [](const ::testing::TestParamInfo<Shift>& info) { return std::string(info.param.name); });

}  // namespace
