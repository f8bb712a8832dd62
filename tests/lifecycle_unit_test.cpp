// Internal pieces of the shell: the settings path and the voice state's
// starting values.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "catalogue.h"
#include "plugin_state.h"
#include "voice_state.h"

namespace {

std::string PathFor(const char* home, std::size_t size = kConfigPathSize) {
    std::string buffer(size, '#');
    BuildSettingsPath(home, &buffer[0], size);
    return std::string(buffer.c_str());
}

TEST(SettingsPath, AppendsSlashAndFileNameOnlyWhenNeeded) {
    EXPECT_EQ(PathFor("/Users/guest"), "/Users/guest/MorindaleForTeamspeak.ini");
    EXPECT_EQ(PathFor("/Users/guest/"), "/Users/guest/MorindaleForTeamspeak.ini");
    EXPECT_EQ(PathFor("/"), "/MorindaleForTeamspeak.ini");
}

TEST(SettingsPath, EmptyOrMissingHomeGivesNoPath) {
    EXPECT_EQ(PathFor(""), "");
    EXPECT_EQ(PathFor(nullptr), "");
}

TEST(SettingsPath, HomeTooLongForTheBufferGivesNoPathRatherThanATruncatedOne) {
    const std::string fileName = "/MorindaleForTeamspeak.ini";
    // Exactly fits: home + "/" + name + zero byte == 1024.
    std::string fits(kConfigPathSize - 1 - fileName.size(), 'h');
    fits[0] = '/';
    EXPECT_EQ(PathFor(fits.c_str()), fits + fileName);
    std::string tooLong = fits + "h";
    EXPECT_EQ(PathFor(tooLong.c_str()), "");
    std::string huge(5000, 'x');
    EXPECT_EQ(PathFor(huge.c_str()), "");
}

TEST(SettingsPath, ZeroSizedBufferIsLeftAlone) {
    char untouched = '#';
    BuildSettingsPath("/home/u", &untouched, 0);
    EXPECT_EQ(untouched, '#');
}

TEST(VoiceState, StartsEnabledWithHeliumAndMonitoringOn) {
    EXPECT_TRUE(gl_Enabled);
    EXPECT_EQ(gl_CurrentVoiceEffect, 14);
    EXPECT_TRUE(gl_HearMyVoice);
    EXPECT_TRUE(gl_HearMyMusic);
    EXPECT_TRUE(gl_UseDirectSound);
    EXPECT_EQ(static_cast<float>(SS_Manual_Pitch), 0.0f);
    EXPECT_FALSE(gl_AboutDialogActive);
}

TEST(Catalogue, EveryActionHasItsTexts) {
    EXPECT_EQ(FindAction(5), nullptr);
    EXPECT_EQ(FindVoice(5), nullptr);
    EXPECT_EQ(FindAction(25), nullptr);
    EXPECT_EQ(FindVoice(25), nullptr);
    // Each ID names either a voice or another action, never both.
    for (int id : {6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24}) {
        const Action* action = FindAction(id);
        const Voice* voice = FindVoice(id);
        ASSERT_NE(action == nullptr, voice == nullptr) << id;
        EXPECT_EQ(action != nullptr ? action->id : voice->id, id);
    }
    EXPECT_STREQ(FindVoice(16)->message, "Robotic voice active. [Morindale]");
    EXPECT_STREQ(FindVoice(16)->menuText, "Robotic Voice");
    EXPECT_STREQ(FindVoice(23)->message, "Female (natural) voice active. [Morindale]");
    EXPECT_STREQ(FindVoice(24)->hotkey, "effect_nmale");
    EXPECT_STREQ(FindAction(18)->messageOff, "Hear you own voice is Off [Morindale]");
    EXPECT_STREQ(FindAction(19)->menuIcon, "home.png");
}

TEST(Catalogue, HotkeysMapExactlyAndCaseSensitively) {
    EXPECT_EQ(ActionForHotkey("effect_phelium"), 14);
    EXPECT_EQ(ActionForHotkey("effect_myvoice"), 17);
    EXPECT_EQ(ActionForHotkey("enable_disable"), 6);
    EXPECT_EQ(ActionForHotkey("effect_hearvoice"), 18);
    EXPECT_EQ(ActionForHotkey("EFFECT_PHELIUM"), 0);
    EXPECT_EQ(ActionForHotkey("effect_phelium "), 0);
    EXPECT_EQ(ActionForHotkey("effect_pmanual"), 22);
    EXPECT_EQ(ActionForHotkey("effect_musicplayer"), 0);
    EXPECT_EQ(ActionForHotkey("effect_hearmusic"), 0);
    EXPECT_EQ(ActionForHotkey(""), 0);
    EXPECT_EQ(ActionForHotkey(nullptr), 0);
}

}  // namespace
