// The plug-in's section of the info panel: title, the sentence for server,
// channel and client, and what happens when there is nothing to show.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diagnostics_client.h"

using morindale_test::DiagnosticsClient;
using Calls = std::vector<std::string>;

namespace {

class InfoPanel : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(plugin.NothingLeaked()); }

    DiagnosticsClient plugin;
};

TEST_F(InfoPanel, Title) {
    auto title = plugin.client.entry<const char* (*)()>("ts3plugin_infoTitle");
    ASSERT_NE(title, nullptr);
    EXPECT_STREQ(title(), "Test plugin info");
    EXPECT_EQ(plugin.Calls(), Calls{});
}

TEST_F(InfoPanel, ClientShowsItsNickname) {
    plugin.client.data().clientNicknames[5] = "Bob";
    EXPECT_EQ(plugin.client.infoData(3, 5, PLUGIN_CLIENT), std::string("The nickname is [I]\"Bob\"[/I]"));
    EXPECT_EQ(plugin.Calls(), (Calls{"getClientVariableAsString(3, 5, 1)", "freeMemory()"}));
}

TEST_F(InfoPanel, ClientIdIsCutTo16Bits) {
    plugin.client.data().clientNicknames[5] = "Bob";
    EXPECT_EQ(plugin.client.infoData(3, 65536 + 5, PLUGIN_CLIENT), std::string("The nickname is [I]\"Bob\"[/I]"));
    EXPECT_EQ(plugin.Calls(), (Calls{"getClientVariableAsString(3, 5, 1)", "freeMemory()"}));
}

TEST_F(InfoPanel, ChannelShowsItsNameInTheSameSentence) {
    plugin.client.data().channelNames[4294967296ULL + 3] = "Lobby";
    EXPECT_EQ(plugin.client.infoData(2, 4294967296ULL + 3, PLUGIN_CHANNEL),
              std::string("The nickname is [I]\"Lobby\"[/I]"));
    EXPECT_EQ(plugin.Calls(), (Calls{"getChannelVariableAsString(2, 4294967299, 0)", "freeMemory()"}));
}

TEST_F(InfoPanel, ServerShowsItsName) {
    plugin.client.data().serverVariables[VIRTUALSERVER_NAME] = "Morindale Testbed";
    EXPECT_EQ(plugin.client.infoData(2, 0, PLUGIN_SERVER), std::string("The nickname is [I]\"Morindale Testbed\"[/I]"));
    EXPECT_EQ(plugin.Calls(), (Calls{"getServerVariableAsString(2, 1)", "freeMemory()"}));
}

TEST_F(InfoPanel, NamesWithPercentSignsAreShownAsTheyAre) {
    plugin.client.data().clientNicknames[1] = "%s%n%d";
    EXPECT_EQ(plugin.client.infoData(1, 1, PLUGIN_CLIENT), std::string("The nickname is [I]\"%s%n%d\"[/I]"));
}

TEST_F(InfoPanel, MarkupInNamesIsShownNotRendered) {
    // A word joiner (U+2060) after each '[': the brackets of a clan tag stay
    // visible, but no name opens a tag or closes our italics.
    const std::string j = "\xE2\x81\xA0";
    const struct {
        PluginItemType type;
        std::string name, shown;
    } cases[] = {
        {PLUGIN_CLIENT, "[img]http://evil.test/x.png[/img]", "[" + j + "img]http://evil.test/x.png[" + j + "/img]"},
        {PLUGIN_CLIENT, "[ABC] Bob", "[" + j + "ABC] Bob"},
        {PLUGIN_CLIENT, "x[/I][b]loud[", "x[" + j + "/I][" + j + "b]loud[" + j},
        {PLUGIN_CHANNEL, "[url=http://evil.test]Lobby[/url]", "[" + j + "url=http://evil.test]Lobby[" + j + "/url]"},
        {PLUGIN_SERVER, "]]Server[[", "]]Server[" + j + "[" + j},
    };
    for (const auto& c : cases) {
        plugin.client.data().clientNicknames[9] = c.name;
        plugin.client.data().channelNames[9] = c.name;
        plugin.client.data().serverVariables[VIRTUALSERVER_NAME] = c.name;
        EXPECT_EQ(plugin.client.infoData(1, 9, c.type), "The nickname is [I]\"" + c.shown + "\"[/I]") << c.name;
    }
}

TEST_F(InfoPanel, UnknownItemTypeGivesNoTextAndCallsNothing) {
    EXPECT_EQ(plugin.client.infoData(1, 1, static_cast<PluginItemType>(3)), std::nullopt);
    EXPECT_EQ(plugin.Calls(), Calls{});
}

TEST_F(InfoPanel, FailedNameQueryGivesNoText) {
    plugin.client.setResult("getServerVariableAsString", 1794);
    plugin.client.setResult("getChannelVariableAsString", 768);
    plugin.client.setResult("getClientVariableAsString", 512);
    EXPECT_EQ(plugin.client.infoData(1, 0, PLUGIN_SERVER), std::nullopt);
    EXPECT_EQ(plugin.client.infoData(1, 2, PLUGIN_CHANNEL), std::nullopt);
    EXPECT_EQ(plugin.client.infoData(1, 3, PLUGIN_CLIENT), std::nullopt);
    // Nothing was handed out, so nothing is released.
    EXPECT_EQ(plugin.Calls(), (Calls{"getServerVariableAsString(1, 1)", "getChannelVariableAsString(1, 2, 0)",
                                     "getClientVariableAsString(1, 3, 1)"}));
}

// "The nickname is [I]\"" and "\"[/I]" take 25 of the 127 bytes: 102 are left
// for the name.
std::string Repeat(const std::string& piece, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

TEST_F(InfoPanel, LongNameIsCutSoThatTheClosingTagStays) {
    plugin.client.data().clientNicknames[9] = std::string(200, 'n');
    const auto text = plugin.client.infoData(1, 9, PLUGIN_CLIENT);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, "The nickname is [I]\"" + std::string(102, 'n') + "\"[/I]");
    EXPECT_EQ(text->size(), 127u);
}

TEST_F(InfoPanel, LongNameIsCutAtACharacterBoundary) {
    const std::string e = "\xC3\xA9";          // é, 2 bytes
    const std::string euro = "\xE2\x82\xAC";    // €, 3 bytes
    const std::string clef = "\xF0\x9D\x84\x9E";  // 𝄞, 4 bytes
    const struct {
        std::string name, kept;
    } cases[] = {
        {Repeat(e, 200), Repeat(e, 51)},                  // 102 bytes: the cut falls between two
        {"a" + Repeat(e, 200), "a" + Repeat(e, 50)},      // 103rd byte would be inside an é
        {Repeat(euro, 100), Repeat(euro, 34)},            // 102 bytes exactly
        {"ab" + Repeat(euro, 100), "ab" + Repeat(euro, 33)},
        {"a" + Repeat(clef, 50), "a" + Repeat(clef, 25)}, // 101 bytes; the next clef would end at 105
        {Repeat(clef, 50), Repeat(clef, 25)},             // 100 bytes
        // Each '[' takes its 3-byte word joiner along, and is never left without it.
        {Repeat("[", 200), Repeat("[\xE2\x81\xA0", 25)},     // 100 bytes
        {"ab" + Repeat("[", 30), "ab" + Repeat("[\xE2\x81\xA0", 25)},  // 102 bytes exactly
        {"abc" + Repeat("[", 30), "abc" + Repeat("[\xE2\x81\xA0", 24)},
    };
    for (const auto& c : cases) {
        plugin.client.data().clientNicknames[9] = c.name;
        EXPECT_EQ(plugin.client.infoData(1, 9, PLUGIN_CLIENT), "The nickname is [I]\"" + c.kept + "\"[/I]")
            << c.name.size() << " bytes";
    }
}

TEST_F(InfoPanel, EmptyNameStillGivesTheSentence) {
    plugin.client.data().clientNicknames[9] = "";
    EXPECT_EQ(plugin.client.infoData(1, 9, PLUGIN_CLIENT), std::string("The nickname is [I]\"\"[/I]"));
}

TEST_F(InfoPanel, NoPlaceForTheTextStillReleasesTheName) {
    auto infoData = plugin.client.entry<void (*)(uint64, uint64, PluginItemType, char**)>("ts3plugin_infoData");
    ASSERT_NE(infoData, nullptr);
    infoData(1, 9, PLUGIN_CLIENT, nullptr);
    EXPECT_EQ(plugin.Calls(), (Calls{"getClientVariableAsString(1, 9, 1)", "freeMemory()"}));
}

TEST_F(InfoPanel, EveryTextIsAFreshBlockForTheClient) {
    // The client frees each block through ts3plugin_freeMemory (the emulator
    // does so in infoData); a static or reused block would fail under ASan.
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(plugin.client.infoData(1, 4, PLUGIN_CLIENT), std::string("The nickname is [I]\"Client 4\"[/I]"));
}

}  // namespace
