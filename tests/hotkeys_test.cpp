// The global hotkeys as the client sees them: the list it is handed and what
// each keyword does, also while the voice changer is disabled.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "client_emulator.h"
#include "settings_support.h"
#include "test_support.h"

using morindale_host::ClientEmulator;
using namespace morindale_test;

namespace {

bool FieldIs(const char (&field)[128], const std::string& text) {
    if (text.size() > 127 || std::memcmp(field, text.data(), text.size()) != 0) return false;
    for (std::size_t i = text.size(); i < 128; ++i)
        if (field[i] != '\0') return false;
    return true;
}

TEST(HotkeyList, EighteenHotkeysInTheClientsOrder) {
    const std::pair<const char*, const char*> expected[] = {
        {"enable_disable", "Enable/Disable Morindale"},
        {"effect_atari", "Atari Game"},
        {"effect_clone", "Clone"},
        {"effect_myvoice", "My voice"},
        {"effect_mut_slow", "Mutation (slow)"},
        {"effect_mutation", "Mutation"},
        {"effect_mut_fast", "Mutation (fast)"},
        {"effect_pmale", "Pitch (male)"},
        {"effect_pfmale", "Pitch (female)"},
        {"effect_phelium", "Pitch (helium)"},
        {"effect_pbaby", "Pitch (baby)"},
        {"effect_pmanual", "Pitch (manual)"},
        {"effect_nfemale", "Female (natural)"},
        {"effect_nmale", "Male (natural)"},
        {"effect_robovoice", "Robotic Voice"},
        {"effect_hearvoice", "Hear Voice (On/Off)"},
        {"effect_musicplayer", "Music Player"},
        {"effect_hearmusic", "Hear Music (On/Off)"},
    };
    ClientEmulator client;
    client.start();
    ASSERT_EQ(client.hotkeys.size(), 18u);
    for (std::size_t i = 0; i < 18; ++i) {
        EXPECT_TRUE(FieldIs(client.hotkeys[i].keyword, expected[i].first)) << i << ": " << client.hotkeys[i].keyword;
        EXPECT_TRUE(FieldIs(client.hotkeys[i].description, expected[i].second))
            << i << ": " << client.hotkeys[i].description;
    }
}

TEST(HotkeyEvents, EachActionKeywordRunsItsAction) {
    const std::pair<const char*, int> effects[] = {
        {"effect_atari", 7},      {"effect_clone", 8},     {"effect_myvoice", 17}, {"effect_mut_slow", 9},
        {"effect_mutation", 10},  {"effect_mut_fast", 11}, {"effect_pmale", 12},  {"effect_pfmale", 13},
        {"effect_phelium", 14},   {"effect_pbaby", 15},    {"effect_pmanual", 22},  {"effect_nfemale", 23},
        {"effect_nmale", 24},     {"effect_robovoice", 16}};
    const char* const messages[] = {
        "Atari Game voice active. [Morindale]",      "Clone voice active. [Morindale]",
        "Mutation (slow) voice active. [Morindale]", "Mutation voice active. [Morindale]",
        "Mutation (fast) voice active. [Morindale]", "Pitch (male) voice active. [Morindale]",
        "Pitch (female) voice active. [Morindale]",  "Pitch (helium) voice active. [Morindale]",
        "Pitch (baby) voice active. [Morindale]",    "Robotic voice active. [Morindale]",
        "My voice active. [Morindale]"};
    const auto message = [&messages](int id) {
        if (id == 22) return std::string("Pitch (manual) voice active. [Morindale]");
        if (id == 23) return std::string("Female (natural) voice active. [Morindale]");
        if (id == 24) return std::string("Male (natural) voice active. [Morindale]");
        return std::string(messages[id - 7]);
    };
    ClientEmulator client;
    client.start();
    for (const auto& [keyword, id] : effects) {
        client.clearCalls();
        client.hotkey(keyword);
        EXPECT_EQ(client.chatMessages(), std::vector<std::string>{message(id)}) << keyword;
        EXPECT_EQ(ReadFile(client.settingsFile()), SettingsText(1, id, 1)) << keyword;
    }
    client.clearCalls();
    client.hotkey("enable_disable");
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{kDisabledLine});
    EXPECT_EQ(MenuEnabledCalls(client), EffectItemsSetTo(0));
    client.hotkey("effect_hearvoice");
    EXPECT_EQ(client.chatMessages(),
              (std::vector<std::string>{kDisabledLine, "Hear you own voice is Off [Morindale]"}));
    EXPECT_EQ(ReadFile(client.settingsFile()), SettingsText(0, 16, 0));
}

TEST(HotkeyEvents, KeywordsWithoutAnActionDoNothing) {
    ClientEmulator client;
    client.start();
    for (const char* keyword : {"effect_musicplayer", "effect_hearmusic"}) client.hotkey(keyword);
    EXPECT_TRUE(client.chatMessages().empty());
    EXPECT_FALSE(FileExists(client.settingsFile()));

    // Nor do they touch a file that exists.
    client.hotkey("effect_pbaby");
    const std::string before = ReadFile(client.settingsFile());
    ASSERT_EQ(before, SettingsText(1, 15, 1));
    WriteFile(client.settingsFile(), "EFFECT=15\n");
    client.clearCalls();
    client.hotkey("effect_musicplayer");
    client.hotkey("effect_hearmusic");
    EXPECT_TRUE(client.chatMessages().empty());
    EXPECT_EQ(ReadFile(client.settingsFile()), "EFFECT=15\n");
}

TEST(HotkeyEvents, KeywordsMatchExactlyAndWhole) {
    ClientEmulator client;
    client.start();
    client.clearCalls();
    for (const char* keyword : {"EFFECT_PHELIUM", "Effect_pbaby", "effect_pbab", "effect_pbaby ", " effect_pbaby",
                                "effect_pbaby\n", "Pitch (baby)", "enable", "", "effect_"})
        client.hotkey(keyword);
    client.hotkey(nullptr);
    client.entry<void (*)(const char*, const char*)>("ts3plugin_onHotkeyRecordedEvent")("effect_pbaby", "F5");
    EXPECT_TRUE(client.calls().empty());
    EXPECT_FALSE(FileExists(client.settingsFile()));
}

// A loud 200 Hz tone: loud enough for the robotic effect to act on.
std::vector<short> Tone() {
    std::vector<int16_t> tone = Sine(200.0, 12000.0, 960);
    return std::vector<short>(tone.begin(), tone.end());
}

TEST(HotkeyEvents, EffectHotkeysWorkWhileDisabledButTheVoiceWaitsForEnable) {
    ClientEmulator client;
    client.start();
    client.hotkey("enable_disable");
    client.clearCalls();
    client.hotkey("effect_robovoice");
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{"Robotic voice active. [Morindale]"});
    EXPECT_EQ(ReadFile(client.settingsFile()), SettingsText(0, 16, 1));
    EXPECT_TRUE(client.calls("setPluginMenuEnabled").empty()) << "hotkeys are not greyed";

    const std::vector<short> original = Tone();
    for (int block = 0; block < 3; ++block) {
        std::vector<short> samples = original;
        const int edited = client.voiceBlock(samples.data(), static_cast<int>(samples.size()));
        EXPECT_EQ(edited, EDIT_FLAG_SENDING) << "disabled: the block is not edited";
        EXPECT_EQ(samples, original) << "disabled: the voice stays untouched";
    }

    client.hotkey("enable_disable");
    std::vector<short> samples = original;
    const int edited = client.voiceBlock(samples.data(), static_cast<int>(samples.size()));
    EXPECT_EQ(edited, EDIT_FLAG_SENDING | EDIT_FLAG_EDITED);
    EXPECT_NE(samples, original) << "enabled: the robotic voice changes the block";
}

}  // namespace
