// The dispatcher on its own: the neighbours it calls (processor clear, update
// check, homepage) are recorded here, the client's chat tab and menu too, so
// that the order of each action's steps can be checked.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "actions.h"
#include "homepage.h"
#include "net/update_check.h"
#include "plugin_state.h"
#include "test_support.h"
#include "ts3_plugin.h"
#include "voice_processing.h"
#include "voice_state.h"

namespace {

// Everything the dispatcher did, in order: "clear effect=N", "print TEXT
// [file: ...]", "menu ID ENABLED", "update automatic=B", "homepage".
std::vector<std::string> g_events;
bool g_updateThrows = false;
std::string g_settingsPath;

std::string FileNow() {
    return morindale_test::FileExists(g_settingsPath) ? morindale_test::ReadFile(g_settingsPath) : "(none)";
}

void RecordPrint(const char* text) { g_events.push_back(std::string("print ") + text); }
void RecordMenuEnabled(const char* id, int menuID, int enabled) {
    g_events.push_back("menu " + std::string(id != nullptr ? id : "(null)") + " " + std::to_string(menuID) + " " +
                       std::to_string(enabled));
}

std::string SixLines(int enabled, int effect, int hearVoice) {
    return "ENABLED=" + std::to_string(enabled) + "\nEFFECT=" + std::to_string(effect) +
           "\nHEAR_VOICE=" + std::to_string(hearVoice) + "\nHEAR_MUSIC=1\nUSE_DIRECTSOUND=1\nCUSTOM_PITCH=0\n";
}

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[] = "/tmp/morindale-dispatch-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        folder_ = folder;
        g_settingsPath = folder_ + "/MorindaleForTeamspeak.ini";
        SetSettingsPath(g_settingsPath.c_str());
        std::memset(&ts3Functions, 0, sizeof ts3Functions);
        ts3Functions.printMessageToCurrentTab = &RecordPrint;
        ts3Functions.setPluginMenuEnabled = &RecordMenuEnabled;
        SetPluginId("dispatch-id");
        g_events.clear();
        g_updateThrows = false;
        gl_Enabled = true;
        gl_CurrentVoiceEffect = 14;
        gl_HearMyVoice = true;
        gl_AboutDialogActive = false;
    }
    void TearDown() override {
        ClearPluginId();
        std::remove(g_settingsPath.c_str());
        ::rmdir(folder_.c_str());
    }
    std::string folder_;
};

}  // namespace

// The neighbours, as the dispatcher sees them.
void RequestPitchProcessorClear() {
    g_events.push_back("clear effect=" + std::to_string(static_cast<int>(gl_CurrentVoiceEffect)));
}
void CheckForUpdate(bool automatic) {
    g_events.push_back(std::string("update automatic=") + (automatic ? "true" : "false"));
    if (g_updateThrows) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}
void StopUpdateChecks() {}
void OpenHomepage() { g_events.push_back("homepage"); }

namespace {

TEST_F(Dispatch, EffectIsStoredThenClearedThenPrintedThenSaved) {
    gl_CurrentVoiceEffect = 7;
    HandleMenuAction(12);
    ASSERT_EQ(g_events.size(), 2u);
    EXPECT_EQ(g_events[0], "clear effect=12");  // the new effect is in place before the clear
    EXPECT_EQ(g_events[1], "print Pitch (male) voice active. [Morindale]");
    EXPECT_EQ(FileNow(), SixLines(1, 12, 1));
}

TEST_F(Dispatch, PrintComesBeforeTheSave) {
    ts3Functions.printMessageToCurrentTab = [](const char* text) {
        g_events.push_back(std::string("print ") + text + " [file: " + FileNow() + "]");
    };
    HandleMenuAction(16);
    ASSERT_EQ(g_events.size(), 2u);
    EXPECT_EQ(g_events[1], "print Robotic voice active. [Morindale] [file: (none)]");
    EXPECT_EQ(FileNow(), SixLines(1, 16, 1));
}

TEST_F(Dispatch, HeliumTwiceClearsPrintsAndSavesTwice) {
    HandleMenuAction(14);
    morindale_test::WriteFile(g_settingsPath, "garbage");
    HandleMenuAction(14);
    EXPECT_EQ(g_events, (std::vector<std::string>{"clear effect=14", "print Pitch (helium) voice active. [Morindale]",
                                                  "clear effect=14", "print Pitch (helium) voice active. [Morindale]"}));
    EXPECT_EQ(FileNow(), SixLines(1, 14, 1));  // the second action rewrote it
}

TEST_F(Dispatch, EveryEffectHasItsMessage) {
    const char* const messages[] = {
        "Atari Game voice active. [Morindale]",      "Clone voice active. [Morindale]",
        "Mutation (slow) voice active. [Morindale]", "Mutation voice active. [Morindale]",
        "Mutation (fast) voice active. [Morindale]", "Pitch (male) voice active. [Morindale]",
        "Pitch (female) voice active. [Morindale]",  "Pitch (helium) voice active. [Morindale]",
        "Pitch (baby) voice active. [Morindale]",    "Robotic voice active. [Morindale]",
        "My voice active. [Morindale]"};
    const std::pair<int, const char*> effects[] = {
        {7, messages[0]},  {8, messages[1]},  {9, messages[2]},   {10, messages[3]},
        {11, messages[4]}, {12, messages[5]}, {13, messages[6]},  {14, messages[7]},
        {15, messages[8]}, {16, messages[9]}, {17, messages[10]}, {22, "Pitch (manual) voice active. [Morindale]"},
        {23, "Female (natural) voice active. [Morindale]"}, {24, "Male (natural) voice active. [Morindale]"}};
    for (const auto& [id, message] : effects) {
        g_events.clear();
        HandleMenuAction(id);
        EXPECT_EQ(g_events, (std::vector<std::string>{"clear effect=" + std::to_string(id),
                                                      std::string("print ") + message}));
        EXPECT_EQ(FileNow(), SixLines(1, id, 1));
    }
}

TEST_F(Dispatch, EnableDisableSavesBeforeItGreysTheMenu) {
    ts3Functions.setPluginMenuEnabled = [](const char* id, int menuID, int enabled) {
        RecordMenuEnabled(id, menuID, enabled);
        if (menuID == 7) g_events.push_back("file " + FileNow());
    };
    HandleMenuAction(6);
    EXPECT_FALSE(gl_Enabled);
    std::vector<std::string> expected = {"menu dispatch-id 7 0", "file " + SixLines(0, 14, 1)};
    for (int id : {8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 22, 23, 24})
        expected.push_back("menu dispatch-id " + std::to_string(id) + " 0");
    expected.push_back("print Morindale Voice Changer is DISABLED.");
    EXPECT_EQ(g_events, expected);
}

TEST_F(Dispatch, HearVoiceSavesBeforeItPrints) {
    ts3Functions.printMessageToCurrentTab = [](const char* text) {
        g_events.push_back(std::string("print ") + text + " [file: " + FileNow() + "]");
    };
    HandleMenuAction(18);
    HandleMenuAction(18);
    EXPECT_EQ(g_events, (std::vector<std::string>{
                            "print Hear you own voice is Off [Morindale] [file: " + SixLines(1, 14, 0) + "]",
                            "print Hear you own voice is On [Morindale] [file: " + SixLines(1, 14, 1) + "]"}));
}

TEST_F(Dispatch, CheckForUpdateAsksForAManualCheck) {
    HandleMenuAction(20);
    EXPECT_EQ(g_events, std::vector<std::string>{"update automatic=false"});
    EXPECT_EQ(FileNow(), "(none)");
}

TEST_F(Dispatch, HomepageOpensTheBrowserOnly) {
    HandleMenuAction(19);
    EXPECT_EQ(g_events, std::vector<std::string>{"homepage"});
    EXPECT_EQ(FileNow(), "(none)");
}

TEST_F(Dispatch, AboutPrintsThreeLinesAndClearsItsGuard) {
    ts3Functions.printMessageToCurrentTab = [](const char* text) {
        g_events.push_back(std::string(text) + (gl_AboutDialogActive ? " [guard set]" : " [guard clear]"));
    };
    HandleMenuAction(21);
    ASSERT_EQ(g_events.size(), 3u);
    EXPECT_EQ(g_events[0], "Morindale for Teamspeak v1.50 [guard set]");
    EXPECT_EQ(g_events[1], "The ultimate voice changer tool [guard set]");
    EXPECT_NE(g_events[2].find(" [guard set]"), std::string::npos);
    EXPECT_GT(g_events[2].size(), std::string(" [guard set]").size());  // a credit line with some text
    EXPECT_FALSE(gl_AboutDialogActive);
    EXPECT_EQ(FileNow(), "(none)");
}

TEST_F(Dispatch, AboutWhileItsGuardIsSetDoesNothing) {
    gl_AboutDialogActive = true;
    HandleMenuAction(21);
    EXPECT_TRUE(g_events.empty());
    EXPECT_TRUE(gl_AboutDialogActive);
}

TEST_F(Dispatch, OtherIdsDoNothing) {
    for (int id : {-1, 0, 5, 25, 100, 1 << 30}) HandleMenuAction(id);
    EXPECT_TRUE(g_events.empty());
    EXPECT_EQ(FileNow(), "(none)");
    EXPECT_TRUE(gl_Enabled);
    EXPECT_EQ(gl_CurrentVoiceEffect, 14);
}

TEST_F(Dispatch, OnlyGlobalMenuEventsAct) {
    ts3plugin_onMenuItemEvent(1, PLUGIN_MENU_TYPE_CHANNEL, 12, 3);
    ts3plugin_onMenuItemEvent(1, PLUGIN_MENU_TYPE_CLIENT, 12, 3);
    ts3plugin_onMenuItemEvent(1, static_cast<PluginMenuType>(7), 12, 3);
    EXPECT_TRUE(g_events.empty());
    EXPECT_EQ(gl_CurrentVoiceEffect, 14);
    ts3plugin_onMenuItemEvent(1, PLUGIN_MENU_TYPE_GLOBAL, 12, 3);
    EXPECT_EQ(gl_CurrentVoiceEffect, 12);
}

TEST_F(Dispatch, AFailingUpdateStartStaysInsideThePlugin) {
    g_updateThrows = true;
    EXPECT_NO_THROW(ts3plugin_onMenuItemEvent(1, PLUGIN_MENU_TYPE_GLOBAL, 20, 0));
    EXPECT_EQ(g_events, std::vector<std::string>{"update automatic=false"});
}

TEST_F(Dispatch, HotkeysMapToTheirActions) {
    const std::pair<const char*, int> effects[] = {
        {"effect_atari", 7},   {"effect_clone", 8},   {"effect_myvoice", 17}, {"effect_mut_slow", 9},
        {"effect_mutation", 10}, {"effect_mut_fast", 11}, {"effect_pmale", 12}, {"effect_pfmale", 13},
        {"effect_phelium", 14}, {"effect_pbaby", 15},  {"effect_pmanual", 22}, {"effect_robovoice", 16},
        {"effect_nfemale", 23}, {"effect_nmale", 24}};
    for (const auto& [keyword, id] : effects) {
        g_events.clear();
        ts3plugin_onHotkeyEvent(keyword);
        ASSERT_FALSE(g_events.empty()) << keyword;
        EXPECT_EQ(g_events[0], "clear effect=" + std::to_string(id)) << keyword;
    }
    g_events.clear();
    ts3plugin_onHotkeyEvent("enable_disable");
    EXPECT_FALSE(gl_Enabled);
    ts3plugin_onHotkeyEvent("effect_hearvoice");
    EXPECT_FALSE(gl_HearMyVoice);
}

TEST_F(Dispatch, OtherKeywordsDoNothing) {
    for (const char* keyword : {"effect_musicplayer", "effect_hearmusic", "EFFECT_PHELIUM",
                                "effect_phelium ", "effect_pheliu", "", "Pitch (helium)"})
        ts3plugin_onHotkeyEvent(keyword);
    ts3plugin_onHotkeyEvent(nullptr);
    ts3plugin_onHotkeyRecordedEvent("effect_phelium", "F5");
    EXPECT_TRUE(g_events.empty());
    EXPECT_EQ(FileNow(), "(none)");
}

TEST_F(Dispatch, EnableDisableVoiceMenuWithoutAFileOrRegistration) {
    ClearPluginId();
    EnableDisableVoiceMenu(true);
    ASSERT_EQ(g_events.size(), 15u);
    EXPECT_EQ(g_events[0], "menu (null) 7 1");
    EXPECT_EQ(g_events[13], "menu (null) 24 1");
    EXPECT_EQ(g_events[14], "print Morindale Voice Changer is ENABLED.");
    EXPECT_EQ(FileNow(), "(none)");  // applying the flag writes nothing
}

}  // namespace
