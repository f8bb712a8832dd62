// Connection diagnostics on an established connection, and the event hooks
// with behaviour: exact client calls in order, results, and every string and
// list the client hands out given back on every way out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diagnostics_client.h"
#include "ts3_plugin.h"

using morindale_host::Call;
using morindale_test::DiagnosticsClient;
using Calls = std::vector<std::string>;

namespace {

class Diagnostics : public ::testing::Test {
protected:
    void SetUp() override {
        ClientData& data = plugin.client.data();
        data.clientLibVersion = "3.0.19.4";
        data.ownClientID = 12;
        data.ownNickname = "Tester";
        data.channelList = {1, 2, 3};
        data.serverConnectionHandlers = {4, 5};
        onConnectStatusChange = plugin.client.entry<decltype(&ts3plugin_onConnectStatusChangeEvent)>(
            "ts3plugin_onConnectStatusChangeEvent");
        ASSERT_NE(onConnectStatusChange, nullptr);
    }
    void TearDown() override { EXPECT_TRUE(plugin.NothingLeaked()); }

    using ClientData = morindale_host::ClientData;

    void Established(uint64 handler = kHandler) { onConnectStatusChange(handler, STATUS_CONNECTION_ESTABLISHED, 0); }

    // Fails getServerVariableAsString for one handler and flag.
    void FailServerVariable(const std::string& handler, const std::string& flag, unsigned int error) {
        plugin.client.setResultFunction("getServerVariableAsString", [=](const Call& call) -> unsigned int {
            return call.args.at(0) == handler && call.args.at(1) == flag ? error : 0;
        });
    }

    std::string IdentityLine() const {
        return "logMessage(Plugin Morindale Plugin, Version 1.50, Author: " + plugin.client.author + ", 4, Plugin, 9)";
    }

    // Everything up to the channel list, all answered.
    Calls UpToChannelList() const {
        return {"getClientLibVersion()",
                "freeMemory()",
                IdentityLine(),
                "getServerVariableAsString(9, 1)",
                "freeMemory()",
                "getServerVariableAsString(9, 2)",
                "freeMemory()",
                "getClientID(9)",
                "getClientSelfVariableAsString(9, 1)",
                "freeMemory()",
                "getChannelList(9)"};
    }

    static Calls Append(Calls calls, const Calls& more) {
        calls.insert(calls.end(), more.begin(), more.end());
        return calls;
    }

    static constexpr uint64 kHandler = 9;
    DiagnosticsClient plugin;
    decltype(&ts3plugin_onConnectStatusChangeEvent) onConnectStatusChange = nullptr;
};

TEST_F(Diagnostics, StatusesBeforeEstablishedDoNothing) {
    for (int status = STATUS_DISCONNECTED; status <= STATUS_CONNECTION_ESTABLISHING; ++status)
        onConnectStatusChange(kHandler, status, 0);
    onConnectStatusChange(kHandler, 5, 0);
    onConnectStatusChange(kHandler, -1, 1794);
    EXPECT_EQ(plugin.Calls(), Calls{});
}

TEST_F(Diagnostics, EstablishedWalksEverything) {
    Established();
    const Calls expected = Append(UpToChannelList(), {"getChannelVariableAsString(9, 1, 0)",
                                                      "freeMemory()",
                                                      "getChannelVariableAsString(9, 2, 0)",
                                                      "freeMemory()",
                                                      "getChannelVariableAsString(9, 3, 0)",
                                                      "freeMemory()",
                                                      "freeMemory()",  // the channel list
                                                      "getServerConnectionHandlerList()",
                                                      "getServerVariableAsString(4, 1)",
                                                      "freeMemory()",
                                                      "getServerVariableAsString(5, 1)",
                                                      "freeMemory()",
                                                      "freeMemory()"});  // the handler list
    EXPECT_EQ(plugin.Calls(), expected);
    // The identity line is the only line in the client's log.
    EXPECT_EQ(plugin.client.calls("logMessage").size(), 1u);
}

TEST_F(Diagnostics, IdentityLineOnEveryEstablishedConnection) {
    Established();
    Established(3);
    const auto logged = plugin.client.calls("logMessage");
    ASSERT_EQ(logged.size(), 2u);
    const std::string identity = "Plugin Morindale Plugin, Version 1.50, Author: " + plugin.client.author;
    EXPECT_EQ(logged[0].args, (std::vector<std::string>{identity, "4", "Plugin", "9"}));
    EXPECT_EQ(logged[1].args, (std::vector<std::string>{identity, "4", "Plugin", "3"}));
}

TEST_F(Diagnostics, NotConnectedEndsSilentlyAfterTheIdentityLine) {
    FailServerVariable("9", "1", 1794);
    Established();
    EXPECT_EQ(plugin.Calls(),
              (Calls{"getClientLibVersion()", "freeMemory()", IdentityLine(), "getServerVariableAsString(9, 1)"}));
}

TEST_F(Diagnostics, FailedClientLibVersionStillWritesTheIdentityLine) {
    plugin.client.setResult("getClientLibVersion", 1);
    Established();
    EXPECT_EQ(plugin.Calls(), (Calls{"getClientLibVersion()",
                                     "logMessage(Error querying client lib version, 1, Plugin, 9)", IdentityLine()}));
}

TEST_F(Diagnostics, FailedServerNameIsAnError) {
    FailServerVariable("9", "1", 1);
    Established();
    EXPECT_EQ(plugin.Calls(), (Calls{"getClientLibVersion()", "freeMemory()", IdentityLine(),
                                     "getServerVariableAsString(9, 1)",
                                     "logMessage(Error querying server name, 1, Plugin, 9)"}));
}

TEST_F(Diagnostics, FailedWelcomeMessageIsAnErrorEvenWhenNotConnected) {
    FailServerVariable("9", "2", 1794);
    Established();
    EXPECT_EQ(plugin.Calls(), (Calls{"getClientLibVersion()", "freeMemory()", IdentityLine(),
                                     "getServerVariableAsString(9, 1)", "freeMemory()",
                                     "getServerVariableAsString(9, 2)",
                                     "logMessage(Error querying server welcome message, 1, Plugin, 9)"}));
}

TEST_F(Diagnostics, FailedClientIdEnds) {
    plugin.client.setResult("getClientID", 1);
    Established();
    const Calls all = plugin.Calls();
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[all.size() - 2], "getClientID(9)");
    EXPECT_EQ(all.back(), "logMessage(Error querying client ID, 1, Plugin, 9)");
    EXPECT_TRUE(plugin.client.calls("getClientSelfVariableAsString").empty());
}

TEST_F(Diagnostics, FailedNicknameEnds) {
    plugin.client.setResult("getClientSelfVariableAsString", 1);
    Established();
    const Calls all = plugin.Calls();
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[all.size() - 2], "getClientSelfVariableAsString(9, 1)");
    EXPECT_EQ(all.back(), "logMessage(Error querying client nickname, 1, Plugin, 9)");
    EXPECT_TRUE(plugin.client.calls("getChannelList").empty());
}

TEST_F(Diagnostics, FailedChannelListEnds) {
    plugin.client.setResult("getChannelList", 1);
    Established();
    Calls expected = UpToChannelList();
    expected.push_back("logMessage(Error getting channel list, 1, Plugin, 9)");
    EXPECT_EQ(plugin.Calls(), expected);
}

TEST_F(Diagnostics, EmptyChannelListIsReleasedAndTheHandlerWalkStillRuns) {
    plugin.client.data().channelList = {};
    plugin.client.data().serverConnectionHandlers = {9};
    Established();
    EXPECT_EQ(plugin.Calls(), Append(UpToChannelList(), {"freeMemory()", "getServerConnectionHandlerList()",
                                                         "getServerVariableAsString(9, 1)", "freeMemory()",
                                                         "freeMemory()"}));
}

TEST_F(Diagnostics, FailedChannelNameMidWalkReleasesTheListAndEnds) {
    plugin.client.setResultFunction("getChannelVariableAsString",
                                    [](const Call& call) -> unsigned int { return call.args.at(1) == "2" ? 768 : 0; });
    Established();
    EXPECT_EQ(plugin.Calls(), Append(UpToChannelList(), {"getChannelVariableAsString(9, 1, 0)", "freeMemory()",
                                                         "getChannelVariableAsString(9, 2, 0)",
                                                         "logMessage(Error querying channel name, 1, Plugin, 9)",
                                                         "freeMemory()"}));
}

TEST_F(Diagnostics, FailedHandlerListEnds) {
    plugin.client.data().channelList = {};
    plugin.client.setResult("getServerConnectionHandlerList", 1);
    Established();
    EXPECT_EQ(plugin.Calls(), Append(UpToChannelList(), {"freeMemory()", "getServerConnectionHandlerList()",
                                                         "logMessage(Error getting server list, 1, Plugin, 9)"}));
}

TEST_F(Diagnostics, HandlerWalkSkipsFailuresAndLogsThemUnderTheEventsHandler) {
    plugin.client.data().channelList = {};
    plugin.client.data().serverConnectionHandlers = {4, 5, 6, 7};
    plugin.client.setResultFunction("getServerVariableAsString", [](const Call& call) -> unsigned int {
        if (call.args.at(0) == "5") return 1794;  // not connected: skipped silently
        if (call.args.at(0) == "6") return 2;     // any other error: logged, walk goes on
        return 0;
    });
    Established();
    EXPECT_EQ(plugin.Calls(),
              Append(UpToChannelList(),
                     {"freeMemory()", "getServerConnectionHandlerList()", "getServerVariableAsString(4, 1)",
                      "freeMemory()", "getServerVariableAsString(5, 1)", "getServerVariableAsString(6, 1)",
                      "logMessage(Error querying server name, 1, Plugin, 9)", "getServerVariableAsString(7, 1)",
                      "freeMemory()", "freeMemory()"}));
}

TEST_F(Diagnostics, EveryFailurePointLeavesNothingUnreleased) {
    // Fail the n-th client call of the walk, for every n: whatever the way
    // out, every block handed out comes back.
    const std::size_t total = [this] {
        Established();
        return plugin.client.calls().size();
    }();
    ASSERT_TRUE(plugin.NothingLeaked());
    for (std::size_t failAt = 0; failAt < total; ++failAt) {
        std::size_t seen = 0;
        for (const char* function : {"getClientLibVersion", "getServerVariableAsString", "getClientID",
                                     "getClientSelfVariableAsString", "getChannelList", "getChannelVariableAsString",
                                     "getServerConnectionHandlerList"}) {
            plugin.client.setResultFunction(function,
                                            [&seen, failAt](const Call&) -> unsigned int { return seen++ == failAt; });
        }
        Established();
        EXPECT_TRUE(plugin.NothingLeaked()) << "failing query " << failAt;
    }
}

// --- Hooks with behaviour ----------------------------------------------------

class EventHooks : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_TRUE(plugin.NothingLeaked());
    }

    template <typename F>
    F Hook(const char* name) {
        F hook = plugin.client.entry<F>(name);
        EXPECT_NE(hook, nullptr) << name;
        return hook;
    }

    DiagnosticsClient plugin;
};

TEST_F(EventHooks, ServerErrorIsClaimedOnlyWithAReturnCode) {
    auto hook = Hook<decltype(&ts3plugin_onServerErrorEvent)>("ts3plugin_onServerErrorEvent");
    ASSERT_NE(hook, nullptr);
    EXPECT_EQ(hook(1, "insufficient client permissions", 2568, "morindale-rc-1", ""), 1);
    EXPECT_EQ(hook(1, "invalid channel ID", 768, nullptr, nullptr), 0);
    // An empty code tags no request: the client reports the error as usual.
    EXPECT_EQ(hook(1, "ok", 0, "", "extra"), 0);
    EXPECT_EQ(hook(1, nullptr, 0, "x", nullptr), 1);
    EXPECT_EQ(plugin.Calls(), Calls{});
}

TEST_F(EventHooks, TextMessagesAreLeftToTheClient) {
    auto hook = Hook<decltype(&ts3plugin_onTextMessageEvent)>("ts3plugin_onTextMessageEvent");
    ASSERT_NE(hook, nullptr);
    EXPECT_EQ(hook(1, 1, 7, 8, "Alice", "uid=", "hello %s %n", 0), 0);
    EXPECT_EQ(hook(1, 3, 0, 8, "Alice", "uid=", "ignored", 1), 0);
    EXPECT_EQ(hook(1, 2, 0, 8, nullptr, nullptr, nullptr, 1), 0);
    EXPECT_EQ(plugin.Calls(), Calls{});
}

TEST_F(EventHooks, PokesAndPermissionErrorsAreLeftToTheClient) {
    auto poke = Hook<decltype(&ts3plugin_onClientPokeEvent)>("ts3plugin_onClientPokeEvent");
    auto permission = Hook<decltype(&ts3plugin_onServerPermissionErrorEvent)>("ts3plugin_onServerPermissionErrorEvent");
    ASSERT_NE(poke, nullptr);
    ASSERT_NE(permission, nullptr);
    EXPECT_EQ(poke(1, 8, "Alice", "uid=", "wake up", 0), 0);
    EXPECT_EQ(poke(1, 8, "Alice", "uid=", "wake up", 1), 0);
    EXPECT_EQ(permission(1, "insufficient client permissions", 2568, "morindale-rc-1", 42), 0);
    EXPECT_EQ(permission(1, nullptr, 2568, nullptr, 0), 0);
    EXPECT_EQ(plugin.Calls(), Calls{});
}

TEST_F(EventHooks, TalkStatusAsksForTheDisplayNameOnly) {
    auto hook = Hook<decltype(&ts3plugin_onTalkStatusChangeEvent)>("ts3plugin_onTalkStatusChangeEvent");
    ASSERT_NE(hook, nullptr);
    plugin.client.data().displayNames[8] = std::string(600, 'd');  // longer than the buffer
    hook(2, 1, 0, 8);
    hook(2, 0, 1, 8);
    plugin.client.setResult("getClientDisplayName", 512);
    hook(2, 1, 0, 9);  // failure: ignored
    EXPECT_EQ(plugin.Calls(), (Calls{"getClientDisplayName(2, 8, 512)", "getClientDisplayName(2, 8, 512)",
                                     "getClientDisplayName(2, 9, 512)"}));
}

TEST_F(EventHooks, PluginCommandsAndAvatarUpdatesCallNothing) {
    auto command = Hook<decltype(&ts3plugin_onPluginCommandEvent)>("ts3plugin_onPluginCommandEvent");
    auto avatar = Hook<decltype(&ts3plugin_onAvatarUpdated)>("ts3plugin_onAvatarUpdated");
    ASSERT_NE(command, nullptr);
    ASSERT_NE(avatar, nullptr);
#if MORINDALE_PLUGIN_API >= 23
    command(1, "morindale_test_plugin_id", "ping", 8, "Alice", "uid=");
    command(1, nullptr, nullptr, 0, nullptr, nullptr);
#else
    command(1, "morindale_test_plugin_id", "ping");
    command(1, nullptr, nullptr);
#endif
    avatar(1, 8, "/tmp/avatars/avatar_8");
    avatar(1, 8, nullptr);  // deleted
    EXPECT_EQ(plugin.Calls(), Calls{});
}

}  // namespace
