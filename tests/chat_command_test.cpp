// The "/morindale" chat command, driven through the loaded plug-in: results,
// the exact client calls with their arguments, and every text.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "diagnostics_client.h"
#include "settings_support.h"
#include "test_support.h"

using morindale_host::ClientEmulator;
using morindale_test::DiagnosticsClient;
using Calls = std::vector<std::string>;

namespace {

// What the emulated client answers unless a test says otherwise.
const std::string kPluginId = "morindale_test_plugin_id";
const std::string kReturnCode = "morindale-rc-1";  // ClientData::returnCode
const std::string kCreateReturnCode = "createReturnCode(" + kPluginId + ", 128)";

std::string Repeat(const std::string& piece, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) out += piece;
    return out;
}

class ChatCommand : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(plugin.NothingLeaked()); }

    int Run(const char* text, uint64 handler = 5) { return plugin.client.command(text, handler); }

    DiagnosticsClient plugin;
};

// --- Which commands are recognised ------------------------------------------

TEST_F(ChatCommand, EmptyOrBlankTextIsNotHandledAndDoesNothing) {
    EXPECT_EQ(Run(""), 1);
    EXPECT_EQ(Run(" "), 1);
    EXPECT_EQ(Run("        "), 1);
    EXPECT_EQ(Run(nullptr), 1);
    EXPECT_EQ(plugin.Calls(), Calls{});
}

TEST_F(ChatCommand, SubCommandWordsAreCaseSensitive) {
    for (const char* text : {"JOIN 12", "Join 12", "joIn 12", "SERVERINFO", "Subscribe 3", "ENABLEMENU 7 1", "PITCH 2"})
        EXPECT_EQ(Run(text), 1) << text;
    EXPECT_EQ(plugin.Calls(), Calls{});
}

TEST_F(ChatCommand, OnlyTheFirstWordIsLookedUp) {
    EXPECT_EQ(Run("hello join 12"), 1);
    EXPECT_EQ(Run("x serverinfo"), 1);
    EXPECT_EQ(Run("joins 12"), 1);
    EXPECT_EQ(Run("jo"), 1);
    EXPECT_EQ(plugin.Calls(), Calls{});
}

TEST_F(ChatCommand, TabsAreNotSeparators) {
    // "join\t12" is one word, and no sub-command.
    EXPECT_EQ(Run("join\t12"), 1);
    EXPECT_EQ(Run("\tserverinfo"), 1);
    EXPECT_EQ(plugin.Calls(), Calls{});
}

// --- join -------------------------------------------------------------------

TEST_F(ChatCommand, JoinAloneAsksForTheChannel) {
    EXPECT_EQ(Run("join"), 0);
    EXPECT_EQ(Run("   join   "), 0);
    EXPECT_EQ(plugin.Calls(), (Calls{"printMessageToCurrentTab(Missing channel ID parameter.)",
                                     "printMessageToCurrentTab(Missing channel ID parameter.)"}));
}

TEST_F(ChatCommand, JoinMovesOneselfWithAReturnCode) {
    EXPECT_EQ(Run("join 12", 5), 0);
    EXPECT_EQ(plugin.Calls(), (Calls{"getClientID(5)", kCreateReturnCode,
                                     "requestClientMove(5, 7, 12, , " + kReturnCode + ")"}));
}

TEST_F(ChatCommand, JoinWithoutDigitsMovesToChannelZero) {
    EXPECT_EQ(Run("join lobby"), 0);
    EXPECT_EQ(plugin.Calls(),
              (Calls{"getClientID(5)", kCreateReturnCode, "requestClientMove(5, 7, 0, , " + kReturnCode + ")"}));
}

TEST_F(ChatCommand, JoinTakesTheLastLaterWordAsPassword) {
    EXPECT_EQ(Run("join 12 first second"), 0);
    EXPECT_EQ(Run("  join   12    secret   "), 0);
    const auto moves = plugin.client.calls("requestClientMove");
    ASSERT_EQ(moves.size(), 2u);
    EXPECT_EQ(moves[0].args, (std::vector<std::string>{"5", "7", "12", "second", kReturnCode}));
    EXPECT_EQ(moves[1].args, (std::vector<std::string>{"5", "7", "12", "secret", kReturnCode}));
}

TEST_F(ChatCommand, JoinReadsNumbersLikeAtoi) {
    struct Case {
        const char* text;
        const char* channel;  // the 64-bit channel ID that goes out
    };
    const Case cases[] = {
        {"join 12abc", "12"},
        {"join +7", "7"},
        {"join 007", "7"},
        {"join -", "0"},
        {"join -1", "18446744073709551615"},  // sign-extended
        {"join -2147483648", "18446744071562067968"},
        {"join 2147483647", "2147483647"},
        // Beyond the 32-bit range the number saturates.
        {"join 4294967297", "2147483647"},
        {"join 99999999999999999999999", "2147483647"},
        {"join -99999999999", "18446744071562067968"},
        {"join \t\v12", "12"},  // leading white space other than spaces
    };
    for (const Case& c : cases) {
        plugin.client.clearCalls();
        EXPECT_EQ(Run(c.text), 0) << c.text;
        const auto moves = plugin.client.calls("requestClientMove");
        ASSERT_EQ(moves.size(), 1u) << c.text;
        EXPECT_EQ(moves[0].args.at(2), c.channel) << c.text;
    }
}

TEST_F(ChatCommand, JoinStopsWhenTheOwnClientIdIsUnknown) {
    plugin.client.setResult("getClientID", 1794);
    EXPECT_EQ(Run("join 12", 9), 0);
    EXPECT_EQ(plugin.Calls(), (Calls{"getClientID(9)", "logMessage(Error querying client ID, 1, Plugin, 9)"}));
}

TEST_F(ChatCommand, JoinLogsAFailedMoveRequestAsInformation) {
    plugin.client.setResult("requestClientMove", 768);
    EXPECT_EQ(Run("join 12 pw", 9), 0);
    EXPECT_EQ(plugin.Calls(), (Calls{"getClientID(9)", kCreateReturnCode,
                                     "requestClientMove(9, 7, 12, pw, " + kReturnCode + ")",
                                     "logMessage(Error requesting client move, 4, Plugin, 9)"}));
}

// --- command ----------------------------------------------------------------

TEST_F(ChatCommand, CommandAloneAsksForTheText) {
    EXPECT_EQ(Run("command"), 0);
    EXPECT_EQ(plugin.Calls(), Calls{"printMessageToCurrentTab(Missing command parameter.)"});
}

TEST_F(ChatCommand, CommandSendsOnlyTheFirstWordToTheCurrentChannel) {
    EXPECT_EQ(Run("command hello world", 3), 0);
    EXPECT_EQ(plugin.Calls(), Calls{"sendPluginCommand(3, " + kPluginId + ", hello, 0, (null), (null))"});
}

// --- serverinfo -------------------------------------------------------------

TEST_F(ChatCommand, ServerInfoPrintsHostAndPort) {
    plugin.client.data().serverPort = 65535;  // unsigned: printed as such
    EXPECT_EQ(Run("serverinfo", 4), 0);
    EXPECT_EQ(Run("serverinfo ignored words"), 0);
    EXPECT_EQ(plugin.Calls(),
              (Calls{"getServerConnectInfo(4, (null), 256)",
                     "printMessageToCurrentTab(Server Connect Info: voice.example.test:65535)",
                     "getServerConnectInfo(5, (null), 256)",
                     "printMessageToCurrentTab(Server Connect Info: voice.example.test:65535)"}));
}

TEST_F(ChatCommand, ServerInfoWithoutAnswer) {
    plugin.client.setResult("getServerConnectInfo", 1794);
    EXPECT_EQ(Run("serverinfo"), 0);
    EXPECT_EQ(plugin.Calls(), (Calls{"getServerConnectInfo(5, (null), 256)",
                                     "printMessageToCurrentTab(No server connect info available.)"}));
}

TEST_F(ChatCommand, ServerInfoMessageIsCutTo255Characters) {
    plugin.client.data().serverHost = std::string(300, 'h');
    EXPECT_EQ(Run("serverinfo"), 0);
    // The client fills at most 255 characters of the host; the message then
    // holds 255 characters: the prefix and 234 of them.
    const std::string expected = "Server Connect Info: " + std::string(234, 'h');
    ASSERT_EQ(expected.size(), 255u);
    EXPECT_EQ(plugin.client.chatMessages(), std::vector<std::string>{expected});
}

TEST_F(ChatCommand, ServerAndChannelInfoAreCutAtACharacterBoundary) {
    // "Server Connect Info: h" and 117 é: the 255th byte is the first half of
    // the 117th é, so the message ends after the 116th.
    const std::string e = "\xC3\xA9";
    std::string host = "h";
    for (int i = 0; i < 117; ++i) host += e;
    plugin.client.data().serverHost = host;
    EXPECT_EQ(Run("serverinfo"), 0);
    std::string serverMessage = "Server Connect Info: h";
    for (int i = 0; i < 116; ++i) serverMessage += e;
    ASSERT_EQ(serverMessage.size(), 254u);

    // "Channel Connect Info: " and 250 é: 511 bytes end inside the 245th.
    std::string path;
    for (int i = 0; i < 250; ++i) path += e;
    plugin.client.data().channelPath = path;
    EXPECT_EQ(Run("channelinfo"), 0);
    std::string channelMessage = "Channel Connect Info: ";
    for (int i = 0; i < 244; ++i) channelMessage += e;
    ASSERT_EQ(channelMessage.size(), 510u);
    EXPECT_EQ(plugin.client.chatMessages(), (std::vector<std::string>{serverMessage, channelMessage}));
}

TEST_F(ChatCommand, NamesFromOthersCannotOpenATag) {
    // A word joiner (U+2060) follows each '[': the brackets stay visible,
    // but no tag opens or closes.
    const std::string j = "\xE2\x81\xA0";
    plugin.client.data().serverHost = "[url=http://evil.test]host[/url]";
    plugin.client.data().channelPath = "[ABC] Clan/[img]http://evil.test/x.png[/img]";
    EXPECT_EQ(Run("serverinfo"), 0);
    EXPECT_EQ(Run("channelinfo"), 0);
    EXPECT_EQ(plugin.client.chatMessages(),
              (std::vector<std::string>{"Server Connect Info: [" + j + "url=http://evil.test]host[" + j + "/url]:9987",
                                        "Channel Connect Info: [" + j + "ABC] Clan/[" + j +
                                            "img]http://evil.test/x.png[" + j + "/img]"}));
}

// --- channelinfo ------------------------------------------------------------

TEST_F(ChatCommand, ChannelInfoPrintsThePathOfTheOwnChannel) {
    plugin.client.data().ownClientID = 31;
    plugin.client.data().channelOfClient = 42;
    plugin.client.data().channelPath = "Lobby/Games";
    EXPECT_EQ(Run("channelinfo", 6), 0);
    EXPECT_EQ(plugin.Calls(), (Calls{"getClientID(6)", "getChannelOfClient(6, 31)",
                                     "getChannelConnectInfo(6, 42, (null), 512)",
                                     "printMessageToCurrentTab(Channel Connect Info: Lobby/Games)"}));
}

TEST_F(ChatCommand, ChannelInfoStopsAtTheFirstFailure) {
    plugin.client.setResult("getClientID", 1);
    EXPECT_EQ(Run("channelinfo", 6), 0);
    EXPECT_EQ(plugin.Calls(), (Calls{"getClientID(6)", "logMessage(Error querying client ID, 1, Plugin, 6)"}));

    plugin.client.clearCalls();
    plugin.client.setResult("getClientID", 0);
    plugin.client.setResult("getChannelOfClient", 512);
    EXPECT_EQ(Run("channelinfo", 6), 0);
    EXPECT_EQ(plugin.Calls(), (Calls{"getClientID(6)", "getChannelOfClient(6, 7)",
                                     "logMessage(Error querying channel ID, 1, Plugin, 6)"}));

    plugin.client.clearCalls();
    plugin.client.setResult("getChannelOfClient", 0);
    plugin.client.setResult("getChannelConnectInfo", 768);
    EXPECT_EQ(Run("channelinfo", 6), 0);
    EXPECT_EQ(plugin.Calls(), (Calls{"getClientID(6)", "getChannelOfClient(6, 7)",
                                     "getChannelConnectInfo(6, 1, (null), 512)",
                                     "printMessageToCurrentTab(No channel connect info available.)"}));
}

TEST_F(ChatCommand, ChannelInfoMessageIsCutTo511Characters) {
    plugin.client.data().channelPath = std::string(600, 'p');
    EXPECT_EQ(Run("channelinfo"), 0);
    const std::string expected = "Channel Connect Info: " + std::string(511 - 22, 'p');
    EXPECT_EQ(plugin.client.chatMessages(), std::vector<std::string>{expected});
}

// --- avatar -----------------------------------------------------------------

TEST_F(ChatCommand, AvatarOutcomesShowNothing) {
    plugin.client.data().avatars[5] = "/tmp/avatars/avatar_5";
    EXPECT_EQ(Run("avatar 5"), 0);  // path known
    EXPECT_EQ(Run("avatar 6"), 0);  // empty path: not yet downloaded
    plugin.client.setResult("getAvatar", 1281);
    EXPECT_EQ(Run("avatar 6"), 0);  // no avatar
    plugin.client.setResult("getAvatar", 2);
    EXPECT_EQ(Run("avatar 6"), 0);  // any other error
    EXPECT_EQ(plugin.Calls(), (Calls{"getAvatar(5, 5, 512)", "getAvatar(5, 6, 512)", "getAvatar(5, 6, 512)",
                                     "getAvatar(5, 6, 512)"}));
}

TEST_F(ChatCommand, AvatarCutsTheClientIdTo16Bits) {
    EXPECT_EQ(Run("avatar 65541"), 0);
    EXPECT_EQ(Run("avatar -1"), 0);
    EXPECT_EQ(Run("avatar nobody"), 0);
    EXPECT_EQ(plugin.Calls(), (Calls{"getAvatar(5, 5, 512)", "getAvatar(5, 65535, 512)", "getAvatar(5, 0, 512)"}));
}

TEST_F(ChatCommand, AvatarAloneAsksForTheClient) {
    EXPECT_EQ(Run("avatar"), 0);
    EXPECT_EQ(plugin.Calls(), Calls{"printMessageToCurrentTab(Missing client ID parameter.)"});
}

// --- enablemenu -------------------------------------------------------------

TEST_F(ChatCommand, EnableMenuPassesIdAndFlagUnchecked) {
    EXPECT_EQ(Run("enablemenu 7"), 0);       // no flag: disables
    EXPECT_EQ(Run("enablemenu 7 1"), 0);     // enables
    EXPECT_EQ(Run("enablemenu 7 0 1"), 0);   // the last word is the flag
    EXPECT_EQ(Run("enablemenu -3 42"), 0);   // nothing is validated
    EXPECT_EQ(Run("enablemenu menu on"), 0); // no digits: 0 and 0
    EXPECT_EQ(plugin.Calls(), (Calls{"setPluginMenuEnabled(" + kPluginId + ", 7, 0)",
                                     "setPluginMenuEnabled(" + kPluginId + ", 7, 1)",
                                     "setPluginMenuEnabled(" + kPluginId + ", 7, 1)",
                                     "setPluginMenuEnabled(" + kPluginId + ", -3, 42)",
                                     "setPluginMenuEnabled(" + kPluginId + ", 0, 0)"}));
}

TEST_F(ChatCommand, EnableMenuAlonePrintsTheUsageLine) {
    EXPECT_EQ(Run("enablemenu"), 0);
    EXPECT_EQ(plugin.Calls(), Calls{"printMessageToCurrentTab(Usage is: /test enablemenu <menuID> <0|1>)"});
}

// --- subscriptions ------------------------------------------------------------

TEST_F(ChatCommand, SubscribeAndUnsubscribeAloneDoNothing) {
    EXPECT_EQ(Run("subscribe"), 0);
    EXPECT_EQ(Run("unsubscribe  "), 0);
    EXPECT_EQ(plugin.Calls(), Calls{});
}

TEST_F(ChatCommand, SubscribeOneChannel) {
    EXPECT_EQ(Run("subscribe 9", 2), 0);
    EXPECT_EQ(Run("unsubscribe -1 extra", 2), 0);
    EXPECT_EQ(plugin.Calls(),
              (Calls{kCreateReturnCode, "requestChannelSubscribe(2, {9,0}, " + kReturnCode + ")", kCreateReturnCode,
                     "requestChannelUnsubscribe(2, {18446744073709551615,0}, " + kReturnCode + ")"}));
}

TEST_F(ChatCommand, SubscribeAllAndUnsubscribeAll) {
    EXPECT_EQ(Run("subscribeall", 2), 0);
    EXPECT_EQ(Run("unsubscribeall 5", 2), 0);
    EXPECT_EQ(plugin.Calls(), (Calls{kCreateReturnCode, "requestChannelSubscribeAll(2, " + kReturnCode + ")",
                                     kCreateReturnCode, "requestChannelUnsubscribeAll(2, " + kReturnCode + ")"}));
}

TEST_F(ChatCommand, FailedSubscriptionRequestsAreLoggedAsInformation) {
    for (const char* function : {"requestChannelSubscribe", "requestChannelUnsubscribe",
                                 "requestChannelSubscribeAll", "requestChannelUnsubscribeAll"})
        plugin.client.setResult(function, 2568);
    EXPECT_EQ(Run("subscribe 9", 2), 0);
    EXPECT_EQ(Run("unsubscribe 9", 2), 0);
    EXPECT_EQ(Run("subscribeall", 2), 0);
    EXPECT_EQ(Run("unsubscribeall", 2), 0);
    std::vector<std::string> logged;
    for (const auto& call : plugin.client.calls("logMessage")) logged.push_back(morindale_test::Render(call));
    EXPECT_EQ(logged, (Calls{"logMessage(Error subscribing channel, 4, Plugin, 2)",
                             "logMessage(Error unsubscribing channel, 4, Plugin, 2)",
                             "logMessage(Error subscribing channel, 4, Plugin, 2)",
                             "logMessage(Error unsubscribing channel, 4, Plugin, 2)"}));
}

// --- pitch ----------------------------------------------------------------------
// These need a started plug-in: the command saves the settings and chooses
// the voice.

const char* const kPitchUsage =
    "Usage: /morindale pitch <semitones>, from -12 to 12 with at most three decimals, e.g. /morindale pitch -2.5";

TEST(ChatCommandPitch, SetsTheManualPitchSaysSoFirstAndChoosesTheVoice) {
    struct Case {
        const char* text;
        const char* line;  // the first line printed
        int stored;        // CUSTOM_PITCH
    };
    const Case cases[] = {
        {"pitch -2.5", "Manual pitch set to -2.5 semitones. [Morindale]", -2500},
        {"pitch +3", "Manual pitch set to +3 semitones. [Morindale]", 3000},
        {"pitch 7", "Manual pitch set to +7 semitones. [Morindale]", 7000},
        {"pitch 0.125", "Manual pitch set to +0.125 semitones. [Morindale]", 125},
        {"pitch -1", "Manual pitch set to -1 semitone. [Morindale]", -1000},
        {"pitch 12.000", "Manual pitch set to +12 semitones. [Morindale]", 12000},
        {"pitch -12", "Manual pitch set to -12 semitones. [Morindale]", -12000},
        {"  pitch   07.50  ", "Manual pitch set to +7.5 semitones. [Morindale]", 7500},
        {"pitch -0", "Manual pitch set to 0 semitones. [Morindale]", 0},
    };
    ClientEmulator client;
    client.start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        client.clearCalls();
        EXPECT_EQ(client.command(c.text), 0);
        EXPECT_EQ(client.chatMessages(), (std::vector<std::string>{c.line, "Pitch (manual) voice active. [Morindale]"}));
        EXPECT_EQ(morindale_test::ReadFile(client.settingsFile()), morindale_test::SettingsText(1, 22, 1, 1, 1, c.stored));
    }
    // Without a number: the value, and nothing else happens.
    client.command("pitch 5.5");
    client.hotkey("effect_clone");
    client.clearCalls();
    EXPECT_EQ(client.command("pitch"), 0);
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{"Manual pitch is +5.5 semitones. [Morindale]"});
    EXPECT_EQ(morindale_test::ReadFile(client.settingsFile()), morindale_test::SettingsText(1, 8, 1, 1, 1, 5500));
    EXPECT_TRUE(client.problems().empty());
}

TEST(ChatCommandPitch, AnythingElseGivesTheRangeAndChangesNothing) {
    ClientEmulator client;
    client.start();
    client.command("pitch 4");
    client.hotkey("effect_robovoice");
    const std::string before = morindale_test::ReadFile(client.settingsFile());
    ASSERT_EQ(before, morindale_test::SettingsText(1, 16, 1, 1, 1, 4000));
    for (const char* text : {"pitch 99", "pitch 12.001", "pitch -12.5", "pitch abc", "pitch nan", "pitch inf",
                             "pitch -inf", "pitch 1e3", "pitch 1E1", "pitch 0x10", "pitch 2.5555", "pitch 2.",
                             "pitch .5", "pitch +", "pitch -", "pitch 2,5", "pitch 2.5abc", "pitch ++2",
                             "pitch 00000000007", "pitch 3 4", "pitch 4294967298", "pitch \xC2\xBD"}) {
        SCOPED_TRACE(text);
        client.clearCalls();
        EXPECT_EQ(client.command(text), 0);
        EXPECT_EQ(client.chatMessages(), std::vector<std::string>{kPitchUsage});
        EXPECT_EQ(morindale_test::ReadFile(client.settingsFile()), before);
    }
    client.clearCalls();
    client.command("pitch");
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{"Manual pitch is +4 semitones. [Morindale]"});
}

// --- the command buffer -------------------------------------------------------

TEST_F(ChatCommand, LongTextIsCutAt127CharactersBeforeSplitting) {
    // 200 characters: "command " and one word of 192; 119 of them survive.
    const std::string text = "command " + std::string(192, 'a');
    ASSERT_EQ(text.size(), 200u);
    EXPECT_EQ(Run(text.c_str()), 0);
    EXPECT_EQ(plugin.Calls(), Calls{"sendPluginCommand(5, " + kPluginId + ", " + std::string(119, 'a') +
                                    ", 0, (null), (null))"});
}

TEST_F(ChatCommand, AWordStraddlingTheCutIsShortenedAndLaterWordsAreLost) {
    // "late" starts at index 125: only "la" is inside the 127 characters.
    const std::string text = "join 5 " + std::string(117, 'p') + " late" + std::string(70, ' ') + "gone";
    ASSERT_EQ(text.find("late"), 125u);
    EXPECT_EQ(Run(text.c_str()), 0);
    const auto moves = plugin.client.calls("requestClientMove");
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].args.at(3), "la");
}

TEST_F(ChatCommand, TheCutNeverSplitsACharacter) {
    // Byte 127 of each text is inside a character: the cut goes before that
    // character, so what is sent or passed on stays valid UTF-8.
    const std::string e = "\xC3\xA9", euro = "\xE2\x82\xAC", clef = "\xF0\x9D\x84\x9E";
    struct Case {
        std::string text;
        const char* function;
        std::size_t arg;
        std::string kept;
    };
    const Case cases[] = {
        // "command " and 60 é: 127 bytes end in the middle of the 60th.
        {"command " + Repeat(e, 60), "sendPluginCommand", 2, Repeat(e, 59)},
        // "command x" and 40 €: only the first byte of the 40th is inside.
        {"command x" + Repeat(euro, 40), "sendPluginCommand", 2, "x" + Repeat(euro, 39)},
        // One more byte in front: the 39th € ends at the cut, which splits nothing.
        {"command xy" + Repeat(euro, 40), "sendPluginCommand", 2, "xy" + Repeat(euro, 39)},
        {"command " + Repeat(clef, 40), "sendPluginCommand", 2, Repeat(clef, 29)},
        // "join 5 " and a password of 4-byte characters: 120 bytes left, 30 fit.
        {"join 5 " + Repeat(clef, 31), "requestClientMove", 3, Repeat(clef, 30)},
        {"join 5 a" + Repeat(clef, 31), "requestClientMove", 3, "a" + Repeat(clef, 29)},
    };
    for (const Case& c : cases) {
        plugin.client.clearCalls();
        EXPECT_EQ(Run(c.text.c_str()), 0) << c.text;
        const auto calls = plugin.client.calls(c.function);
        ASSERT_EQ(calls.size(), 1u) << c.text;
        EXPECT_EQ(calls[0].args.at(c.arg), c.kept) << c.text;
    }
}

TEST_F(ChatCommand, SubCommandWordCutByTheBufferIsNotRecognised) {
    // 123 spaces, then "serverinfo": only "serv" is inside the buffer.
    const std::string text = std::string(123, ' ') + "serverinfo";
    EXPECT_EQ(Run(text.c_str()), 1);
    const std::string fits = std::string(117, ' ') + "serverinfo";  // ends at 127
    EXPECT_EQ(Run(fits.c_str()), 0);
    EXPECT_EQ(plugin.client.calls("getServerConnectInfo").size(), 1u);
}

// --- registration -------------------------------------------------------------

TEST(ChatCommandRegistration, KeepsItsOwnCopyOfTheId) {
    // The emulator scribbles over the buffer it passed right after
    // registration: requests must still carry the registered ID.
    DiagnosticsClient plugin(/*registered=*/false);
    plugin.client.registerPluginID("id-kept-by-the-plugin");
    plugin.client.clearCalls();
    EXPECT_EQ(plugin.client.command("command ping"), 0);
    EXPECT_EQ(plugin.client.command("join 3"), 0);
    EXPECT_EQ(plugin.client.command("enablemenu 8 1"), 0);
    EXPECT_EQ(plugin.Calls(), (Calls{"sendPluginCommand(1, id-kept-by-the-plugin, ping, 0, (null), (null))",
                                     "getClientID(1)", "createReturnCode(id-kept-by-the-plugin, 128)",
                                     "requestClientMove(1, 7, 3, , " + kReturnCode + ")",
                                     "setPluginMenuEnabled(id-kept-by-the-plugin, 8, 1)"}));
    EXPECT_TRUE(plugin.NothingLeaked());
}

TEST(ChatCommandRegistration, WithoutAnIdNothingIsSentInItsName) {
    DiagnosticsClient plugin(/*registered=*/false);
    EXPECT_EQ(plugin.client.command("command ping"), 0);   // not sent
    EXPECT_EQ(plugin.client.command("enablemenu 8 1"), 0); // no menu of ours to change
    EXPECT_EQ(plugin.client.command("join 3"), 0);         // goes out with an empty return code
    EXPECT_EQ(plugin.client.command("subscribe 3"), 0);
    EXPECT_EQ(plugin.Calls(), (Calls{"getClientID(1)", "requestClientMove(1, 7, 3, , )",
                                     "requestChannelSubscribe(1, {3,0}, )"}));
    EXPECT_TRUE(plugin.NothingLeaked());
}

// --- threads ------------------------------------------------------------------

TEST(ChatCommandConcurrency, CommandsOnTwoThreadsKeepTheirOwnWords) {
    // The client may run commands from two tabs at once: each must be split
    // on its own, or channels and passwords get mixed up. Many short words
    // keep both threads inside the splitting most of the time.
    DiagnosticsClient plugin;
    constexpr int kPerThread = 10000;
    std::atomic<int> ready{0};
    auto run = [&plugin, &ready](int first) {
        ready.fetch_add(1);
        while (ready.load() < 2) std::this_thread::yield();
        for (int i = first; i < first + kPerThread; ++i) {
            std::string text = "join " + std::to_string(i);
            for (int word = 0; word < 40; ++word) text += " w";
            text += " pw" + std::to_string(i);
            plugin.client.command(text.c_str());
        }
    };
    std::thread a(run, 10000);
    std::thread b(run, 50000);
    a.join();
    b.join();
    const auto moves = plugin.client.calls("requestClientMove");
    ASSERT_EQ(moves.size(), 2u * kPerThread);
    int mixedUp = 0;
    for (const auto& move : moves) mixedUp += "pw" + move.args.at(2) != move.args.at(3);
    EXPECT_EQ(mixedUp, 0);
    EXPECT_TRUE(plugin.NothingLeaked());
}

}  // namespace
