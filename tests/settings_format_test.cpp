// The settings text: number reading, the CUSTOM_PITCH conversions and the
// six formatted lines, checked against values worked out here.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "settings_format.h"
#include "voice_state.h"

namespace {

std::string Formatted() {
    char text[kSettingsTextSize];
    std::memset(text, '#', sizeof text);
    const std::size_t length = FormatSettings(text);
    EXPECT_LT(length, kSettingsTextSize);
    EXPECT_EQ(text[length], '\0');
    return std::string(text, length);
}

TEST(SettingsNumber, ReadsLikeAtoi) {
    EXPECT_EQ(ParseSettingsNumber("12"), 12);
    EXPECT_EQ(ParseSettingsNumber("  \t\v\f\r\n-7x"), -7);
    EXPECT_EQ(ParseSettingsNumber("+15"), 15);
    EXPECT_EQ(ParseSettingsNumber("0=1"), 0);
    EXPECT_EQ(ParseSettingsNumber("1\r\n"), 1);
    EXPECT_EQ(ParseSettingsNumber("007"), 7);
    EXPECT_EQ(ParseSettingsNumber(""), 0);
    EXPECT_EQ(ParseSettingsNumber("abc"), 0);
    EXPECT_EQ(ParseSettingsNumber("yes"), 0);
    EXPECT_EQ(ParseSettingsNumber("-"), 0);
    EXPECT_EQ(ParseSettingsNumber("+-3"), 0);
    EXPECT_EQ(ParseSettingsNumber("- 3"), 0);
    EXPECT_EQ(ParseSettingsNumber("1 2"), 1);
}

TEST(SettingsNumber, SaturatesBeyondTheRangeOfAnInt) {
    EXPECT_EQ(ParseSettingsNumber("2147483647"), INT_MAX);
    EXPECT_EQ(ParseSettingsNumber("2147483648"), INT_MAX);
    EXPECT_EQ(ParseSettingsNumber("-2147483648"), INT_MIN);
    EXPECT_EQ(ParseSettingsNumber("-2147483649"), INT_MIN);
    EXPECT_EQ(ParseSettingsNumber("4294967296"), INT_MAX);  // not 0, as a wrapping atoi gives
    EXPECT_EQ(ParseSettingsNumber(std::string(5000, '9').c_str()), INT_MAX);
    EXPECT_EQ(ParseSettingsNumber(("-" + std::string(5000, '9')).c_str()), INT_MIN);
    EXPECT_EQ(ParseSettingsNumber(std::string(5000, '0').append("42").c_str()), 42);
}

TEST(SettingsPitch, WritesTheFloatProductTruncatedTowardZero) {
    EXPECT_EQ(PitchToSettingsNumber(0.0f), 0);
    EXPECT_EQ(PitchToSettingsNumber(1.5f), 1500);
    EXPECT_EQ(PitchToSettingsNumber(-1.5f), -1500);
    EXPECT_EQ(PitchToSettingsNumber(0.0019f), 1);    // 1.9 truncates to 1
    EXPECT_EQ(PitchToSettingsNumber(-0.0019f), -1);  // toward zero, not down
    // The nearest float to 0.251 is 0.250999987...; times 1000 in float that
    // is 250.99998..., which truncates to 250.
    const float f = 0.251f;
    ASSERT_LT(static_cast<double>(f), 0.251);
    EXPECT_EQ(PitchToSettingsNumber(f), 250);
}

TEST(SettingsPitch, SaturatesInsteadOfOverflowing) {
    EXPECT_EQ(PitchToSettingsNumber(2147483.75f), INT_MAX);  // 2147483750 > INT_MAX
    EXPECT_EQ(PitchToSettingsNumber(-2147483.75f), INT_MIN);
    EXPECT_EQ(PitchToSettingsNumber(std::numeric_limits<float>::infinity()), INT_MAX);
    EXPECT_EQ(PitchToSettingsNumber(-std::numeric_limits<float>::infinity()), INT_MIN);
    EXPECT_EQ(PitchToSettingsNumber(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(PitchToSettingsNumber(1e30f), INT_MAX);
    // The largest float below 2^31 still converts exactly.
    EXPECT_EQ(PitchToSettingsNumber(2147483.5f), 2147483520);
}

TEST(SettingsPitch, ReadsThroughFloatAndDouble) {
    EXPECT_EQ(PitchFromSettingsNumber(1500), 1.5f);
    EXPECT_EQ(PitchFromSettingsNumber(0), 0.0f);
    EXPECT_EQ(PitchFromSettingsNumber(251), 0.251f);
    EXPECT_EQ(PitchFromSettingsNumber(-251), -0.251f);
    // INT_MAX becomes 2147483648.0f first, then 2147483.648 in double, whose
    // nearest float is 2147483.75 (floats step by 0.25 there).
    EXPECT_EQ(PitchFromSettingsNumber(INT_MAX), 2147483.75f);
    // 16777217 is no float: it becomes 16777216 before the division.
    EXPECT_EQ(PitchFromSettingsNumber(16777217), static_cast<float>(16777.216));
}

TEST(SettingsPitch, RoundTripsAsTheFileFormatPromises) {
    EXPECT_EQ(PitchToSettingsNumber(PitchFromSettingsNumber(1500)), 1500);
    EXPECT_EQ(PitchToSettingsNumber(PitchFromSettingsNumber(251)), 250);
    EXPECT_EQ(PitchToSettingsNumber(PitchFromSettingsNumber(INT_MAX)), INT_MAX);
    EXPECT_EQ(PitchToSettingsNumber(PitchFromSettingsNumber(INT_MIN)), INT_MIN);
}

// Each test starts from the initial voice state, also when the tests run in
// one process.
class SettingsText : public ::testing::Test {
protected:
    void SetUp() override {
        gl_Enabled = true;
        gl_CurrentVoiceEffect = 14;
        gl_HearMyVoice = true;
        gl_HearMyMusic = true;
        gl_UseDirectSound = true;
        SS_Manual_Pitch = 0.0f;
    }
};

TEST_F(SettingsText, DefaultsGiveTheSixLinesInOrder) {
    EXPECT_EQ(Formatted(),
              "ENABLED=1\nEFFECT=14\nHEAR_VOICE=1\nHEAR_MUSIC=1\nUSE_DIRECTSOUND=1\nCUSTOM_PITCH=0\n");
}

TEST_F(SettingsText, ExtremeValuesStillFit) {
    gl_Enabled = false;
    gl_CurrentVoiceEffect = INT_MIN;
    gl_HearMyVoice = false;
    gl_HearMyMusic = false;
    gl_UseDirectSound = false;
    SS_Manual_Pitch = -std::numeric_limits<float>::infinity();
    EXPECT_EQ(Formatted(),
              "ENABLED=0\nEFFECT=-2147483648\nHEAR_VOICE=0\nHEAR_MUSIC=0\nUSE_DIRECTSOUND=0\n"
              "CUSTOM_PITCH=-2147483648\n");
}

TEST_F(SettingsText, AppliesEachKnownKey) {
    ApplySettingsLine("ENABLED=0\n");
    EXPECT_FALSE(gl_Enabled);
    ApplySettingsLine("ENABLED=-3\n");
    EXPECT_TRUE(gl_Enabled);
    ApplySettingsLine("EFFECT=99\n");
    EXPECT_EQ(gl_CurrentVoiceEffect, 99);
    ApplySettingsLine("HEAR_VOICE=0");
    EXPECT_FALSE(gl_HearMyVoice);
    ApplySettingsLine("HEAR_MUSIC=0\r\n");
    EXPECT_FALSE(gl_HearMyMusic);
    ApplySettingsLine("USE_DIRECTSOUND=0\n");
    EXPECT_FALSE(gl_UseDirectSound);
    ApplySettingsLine("CUSTOM_PITCH=1500\n");
    EXPECT_EQ(static_cast<float>(SS_Manual_Pitch), 1.5f);
}

TEST_F(SettingsText, IgnoresUnknownOrAlmostMatchingKeys) {
    for (const char* line : {"enabled=0\n", " ENABLED=0\n", "ENABLED =0\n", "ENABLE=0\n", "ENABLEDX=0\n",
                             "ENABLED\n", "=0\n", "", "\n", "EFFECT\0=0\n"}) {
        ApplySettingsLine(line);
        EXPECT_TRUE(gl_Enabled) << line;
        EXPECT_EQ(gl_CurrentVoiceEffect, 14) << line;
    }
}

TEST_F(SettingsText, ValueIsEverythingAfterTheFirstEquals) {
    ApplySettingsLine("ENABLED=0=1\n");
    EXPECT_FALSE(gl_Enabled);
    ApplySettingsLine("EFFECT==12\n");
    EXPECT_EQ(gl_CurrentVoiceEffect, 0);
}

}  // namespace
