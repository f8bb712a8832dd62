// The plug-in menu as the client sees it: the lists it is handed, and what
// each menu event does to the chat tab, the menu and the settings file.
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

// Field equals text followed by zero bytes up to its 128th byte.
bool FieldIs(const char (&field)[128], const std::string& text) {
    if (text.size() > 127 || std::memcmp(field, text.data(), text.size()) != 0) return false;
    for (std::size_t i = text.size(); i < 128; ++i)
        if (field[i] != '\0') return false;
    return true;
}

struct ExpectedItem {
    int id;
    const char* text;
    const char* icon;
};

const ExpectedItem kExpectedMenu[] = {
    {6, "Enable/Disable", "stop.png"},        {7, "Atari Game", "voice.png"},
    {8, "Clone", "voice.png"},                {17, "My voice", "voice.png"},
    {9, "Mutation (slow)", "voice.png"},      {10, "Mutation", "voice.png"},
    {11, "Mutation (fast)", "voice.png"},     {12, "Pitch (male)", "voice.png"},
    {13, "Pitch (female)", "voice.png"},      {14, "Pitch (helium)", "voice.png"},
    {15, "Pitch (baby)", "voice.png"},        {22, "Pitch (manual)", "voice.png"},
    {23, "Female (natural)", "voice.png"},    {24, "Male (natural)", "voice.png"},
    {16, "Robotic Voice", "voice.png"},
    {18, "Hear Voice (On/Off)", "head.png"},  {20, "Check for update", "update.png"},
    {19, "Homepage", "home.png"},             {21, "About", "about.png"},
};

TEST(MenuList, NineteenGlobalItemsInTheClientsOrder) {
    ClientEmulator client;
    client.start();
    ASSERT_EQ(client.menuItems.size(), 19u);
    for (std::size_t i = 0; i < 19; ++i) {
        const PluginMenuItem& item = client.menuItems[i];
        EXPECT_EQ(item.type, PLUGIN_MENU_TYPE_GLOBAL) << i;
        EXPECT_EQ(item.id, kExpectedMenu[i].id) << i;
        EXPECT_TRUE(FieldIs(item.text, kExpectedMenu[i].text)) << i << ": " << item.text;
        EXPECT_TRUE(FieldIs(item.icon, kExpectedMenu[i].icon)) << i << ": " << item.icon;
    }
}

TEST(MenuList, IconBlockIs128BytesOfNameAndZeros) {
    ClientEmulator client;
    client.start();
    ASSERT_EQ(client.menuIcon.size(), 128u);
    std::vector<char> expected(128, '\0');
    std::memcpy(expected.data(), "vorn16.png", 10);
    EXPECT_EQ(client.menuIcon, expected);
}

TEST(MenuList, EveryBlockGoesBackThroughFreeMemory) {
    // The emulator returns each record, the lists and the icon through
    // ts3plugin_freeMemory; under ASan a block not from malloc would fail.
    ClientEmulator client;
    client.start();
    client.initMenus();
    client.initHotkeys();
    client.unload();
    EXPECT_TRUE(client.problems().empty());
    EXPECT_EQ(client.outstandingClientBlocks(), 0u);
}

TEST(MenuList, HandingOverTheListsCallsNothingInTheClient) {
    ClientEmulator client;
    client.start();
    client.clearCalls();
    client.initMenus();
    client.initHotkeys();
    EXPECT_TRUE(client.calls().empty());
    EXPECT_FALSE(FileExists(client.settingsFile()));
}

TEST(MenuEvents, EachEffectConfirmsItselfAndIsStored) {
    const std::pair<int, const char*> effects[] = {
        {7, "Atari Game voice active. [Morindale]"},      {8, "Clone voice active. [Morindale]"},
        {9, "Mutation (slow) voice active. [Morindale]"}, {10, "Mutation voice active. [Morindale]"},
        {11, "Mutation (fast) voice active. [Morindale]"}, {12, "Pitch (male) voice active. [Morindale]"},
        {13, "Pitch (female) voice active. [Morindale]"}, {14, "Pitch (helium) voice active. [Morindale]"},
        {15, "Pitch (baby) voice active. [Morindale]"},   {16, "Robotic voice active. [Morindale]"},
        {17, "My voice active. [Morindale]"},             {22, "Pitch (manual) voice active. [Morindale]"}};
    ClientEmulator client;
    client.start();
    for (const auto& [id, message] : effects) {
        client.clearCalls();
        client.menuItem(id);
        EXPECT_EQ(client.chatMessages(), std::vector<std::string>{message}) << id;
        EXPECT_EQ(ReadFile(client.settingsFile()), SettingsText(1, id, 1)) << id;
        EXPECT_TRUE(client.calls("setPluginMenuEnabled").empty()) << id;
    }
}

TEST(MenuEvents, HeliumTwicePrintsTwiceAndWritesTwice) {
    ClientEmulator client;
    client.start();
    client.menuItem(14);
    EXPECT_EQ(ReadFile(client.settingsFile()), DefaultSettingsText());
    WriteFile(client.settingsFile(), "EFFECT=3\n");  // so the second write shows
    client.menuItem(14);
    EXPECT_EQ(ReadFile(client.settingsFile()), DefaultSettingsText());
    EXPECT_EQ(client.chatMessages(), (std::vector<std::string>{"Pitch (helium) voice active. [Morindale]",
                                                               "Pitch (helium) voice active. [Morindale]"}));
}

TEST(MenuEvents, EnableDisableTwiceReturnsToTheStart) {
    ClientEmulator client;
    client.start();
    client.menuItem(6);
    EXPECT_EQ(ReadFile(client.settingsFile()), SettingsText(0, 14, 1));
    EXPECT_EQ(MenuEnabledCalls(client), EffectItemsSetTo(0));
    client.clearCalls();
    client.menuItem(6);
    EXPECT_EQ(ReadFile(client.settingsFile()), SettingsText(1, 14, 1));
    EXPECT_EQ(MenuEnabledCalls(client), EffectItemsSetTo(1));
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{kEnabledLine});
}

TEST(MenuEvents, EnableDisablePrintsInTheOrderOfTheChanges) {
    ClientEmulator client;
    client.start();
    client.menuItem(6);
    client.menuItem(6);
    client.menuItem(6);
    EXPECT_EQ(client.chatMessages(), (std::vector<std::string>{kDisabledLine, kEnabledLine, kDisabledLine}));
}

TEST(MenuEvents, RegistrationKeepsItsOwnCopyOfTheID) {
    // The emulator overwrites its ID buffer right after registerPluginID.
    ClientEmulator client;
    client.start();
    client.menuItem(6);
    const auto calls = client.calls("setPluginMenuEnabled");
    ASSERT_EQ(calls.size(), 14u);
    for (const auto& call : calls) EXPECT_EQ(call.args.at(0), "morindale_test_plugin_id");
}

TEST(MenuEvents, HearVoiceTogglesAndSaysSo) {
    ClientEmulator client;
    client.start();
    client.menuItem(18);
    EXPECT_EQ(ReadFile(client.settingsFile()), SettingsText(1, 14, 0));
    client.menuItem(18);
    EXPECT_EQ(ReadFile(client.settingsFile()), SettingsText(1, 14, 1));
    EXPECT_EQ(client.chatMessages(), (std::vector<std::string>{"Hear you own voice is Off [Morindale]",
                                                               "Hear you own voice is On [Morindale]"}));
    EXPECT_TRUE(client.calls("setPluginMenuEnabled").empty());
}

TEST(MenuEvents, AboutPrintsItsThreeLinesEveryTime) {
    ClientEmulator client;
    client.start();
    client.menuItem(21);
    client.menuItem(21);
    const auto lines = client.chatMessages();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "Morindale for Teamspeak v1.50");
    EXPECT_EQ(lines[1], "The ultimate voice changer tool");
    EXPECT_FALSE(lines[2].empty());
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 3, lines.end()),
              std::vector<std::string>(lines.begin(), lines.begin() + 3));
    EXPECT_FALSE(FileExists(client.settingsFile()));
}

TEST(MenuEvents, ChannelAndClientMenusChangeNothing) {
    ClientEmulator client;
    client.start();
    client.menuItem(12, PLUGIN_MENU_TYPE_CHANNEL, 1, 4);
    client.menuItem(14, PLUGIN_MENU_TYPE_CHANNEL, 1, 4);
    client.menuItem(6, PLUGIN_MENU_TYPE_CLIENT, 1, 9);
    client.menuItem(14, PLUGIN_MENU_TYPE_CLIENT, 1, 9);
    client.menuItem(21, PLUGIN_MENU_TYPE_CLIENT, 1, 9);
    EXPECT_TRUE(client.chatMessages().empty());
    EXPECT_FALSE(FileExists(client.settingsFile()));
    // The effect is still helium and the voice changer still enabled.
    client.menuItem(18);
    EXPECT_EQ(ReadFile(client.settingsFile()), SettingsText(1, 14, 0));
}

TEST(MenuEvents, UnknownIdsChangeNothing) {
    ClientEmulator client;
    client.start();
    for (int id : {5, 25, 0, -6, 1000}) client.menuItem(id);
    EXPECT_TRUE(client.chatMessages().empty());
    EXPECT_TRUE(client.calls("setPluginMenuEnabled").empty());
    EXPECT_FALSE(FileExists(client.settingsFile()));
}

}  // namespace
