// The four fixed shifts move a voiced tone by 2^(s/12). The frequency is
// measured from zero crossings after the processor's start-up; 2% allows for
// the time-stretcher's splices, which jitter the period slightly, while a
// shift off by one semitone (6%) still fails.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "catalogue.h"
#include "test_support.h"
#include "ts3_plugin.h"
#include "voice_processing.h"
#include "voice_signals.h"
#include "voice_state.h"

namespace {

constexpr int kBlock = 960;

struct Shift {
    int effect;
    int semitones;
};

std::string ShiftName(const ::testing::TestParamInfo<Shift>& info) {
    static const char* const names[] = {"Male", "Female", "Helium", "Baby"};
    return names[info.index];
}

class FixedShiftAccuracy : public ::testing::TestWithParam<Shift> {};

TEST_P(FixedShiftAccuracy, ToneComesOutAtTheShiftedFrequency) {
    FillSineTable();
    ConfigurePitchProcessor();
    gl_CurrentVoiceEffect = GetParam().effect;
    for (double input : {150.0, 220.0}) {
        SCOPED_TRACE(input);
        RequestPitchProcessorClear();
        const std::vector<int16_t> tone = morindale_test::Sine(input, 10000.0, 150 * kBlock);
        std::vector<int16_t> sent;
        for (int b = 0; b < 150; ++b) {
            std::vector<int16_t> block(tone.begin() + b * kBlock, tone.begin() + (b + 1) * kBlock);
            int edited = EDIT_FLAG_SENDING;
            ts3plugin_onEditCapturedVoiceDataEvent(1, block.data(), kBlock, 1, &edited);
            ASSERT_TRUE(b < 10 || edited == (EDIT_FLAG_SENDING | EDIT_FLAG_EDITED)) << "block " << b;
            sent.insert(sent.end(), block.begin(), block.end());
        }
        const double measured = morindale_test::ZeroCrossingFrequency(sent, 24000, sent.size());
        const double expected = input * std::pow(2.0, GetParam().semitones / 12.0);
        EXPECT_NEAR(measured / expected, 1.0, 0.02) << "measured " << measured << " Hz, expected " << expected;
        // The level stays that of the input (within 3 dB: the splices).
        const double rms = morindale_test::Rms(sent, 24000, sent.size());
        EXPECT_GT(rms, 10000.0 / std::sqrt(2.0) / 1.41);
        EXPECT_LT(rms, 10000.0 / std::sqrt(2.0) * 1.41);
    }
}

INSTANTIATE_TEST_SUITE_P(Pitch, FixedShiftAccuracy,
                         ::testing::Values(Shift{EFFECT_PITCH_MALE, -3}, Shift{EFFECT_PITCH_FEMALE, 4},
                                           Shift{EFFECT_PITCH_HELIUM, 8}, Shift{EFFECT_PITCH_BABY, 12}),
                         ShiftName);

}  // namespace
