// The built library exports exactly the entry points that the client looks
// up, and the hooks it ignores really do nothing: no call into the client,
// no change to the samples they are handed.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "client_emulator.h"
#include "diagnostics_client.h"
#include "ts3_plugin.h"

using morindale_test::DiagnosticsClient;

namespace {

// Every entry point the plug-in must export, written out by hand.
const std::set<std::string> kRequiredEntryPoints = {
    // Identity and lifecycle.
    "ts3plugin_name", "ts3plugin_version", "ts3plugin_apiVersion", "ts3plugin_author", "ts3plugin_description",
    "ts3plugin_setFunctionPointers", "ts3plugin_init", "ts3plugin_shutdown", "ts3plugin_registerPluginID",
    "ts3plugin_currentServerConnectionChanged", "ts3plugin_offersConfigure", "ts3plugin_configure",
    "ts3plugin_requestAutoload", "ts3plugin_commandKeyword", "ts3plugin_freeMemory",
    // Captured voice.
    "ts3plugin_onEditCapturedVoiceDataEvent",
    // Menus and hotkeys.
    "ts3plugin_initMenus", "ts3plugin_initHotkeys", "ts3plugin_onMenuItemEvent", "ts3plugin_onHotkeyEvent",
    "ts3plugin_onHotkeyRecordedEvent",
    // Chat command.
    "ts3plugin_processCommand",
    // Info panel and hooks with behaviour.
    "ts3plugin_infoTitle", "ts3plugin_infoData", "ts3plugin_onConnectStatusChangeEvent",
    "ts3plugin_onServerErrorEvent", "ts3plugin_onTextMessageEvent", "ts3plugin_onClientPokeEvent",
    "ts3plugin_onServerPermissionErrorEvent", "ts3plugin_onTalkStatusChangeEvent", "ts3plugin_onPluginCommandEvent",
    "ts3plugin_onAvatarUpdated",
    // Channels.
    "ts3plugin_onNewChannelEvent", "ts3plugin_onNewChannelCreatedEvent", "ts3plugin_onDelChannelEvent",
    "ts3plugin_onChannelMoveEvent", "ts3plugin_onUpdateChannelEvent", "ts3plugin_onUpdateChannelEditedEvent",
    "ts3plugin_onChannelSubscribeEvent", "ts3plugin_onChannelSubscribeFinishedEvent",
    "ts3plugin_onChannelUnsubscribeEvent", "ts3plugin_onChannelUnsubscribeFinishedEvent",
    "ts3plugin_onChannelDescriptionUpdateEvent", "ts3plugin_onChannelPasswordChangedEvent",
    // Clients.
    "ts3plugin_onUpdateClientEvent", "ts3plugin_onClientMoveEvent", "ts3plugin_onClientMoveSubscriptionEvent",
    "ts3plugin_onClientMoveTimeoutEvent", "ts3plugin_onClientMoveMovedEvent",
    "ts3plugin_onClientKickFromChannelEvent", "ts3plugin_onClientKickFromServerEvent", "ts3plugin_onClientIDsEvent",
    "ts3plugin_onClientIDsFinishedEvent", "ts3plugin_onClientBanFromServerEvent",
    "ts3plugin_onClientSelfVariableUpdateEvent", "ts3plugin_onClientChatClosedEvent",
    "ts3plugin_onClientChatComposingEvent", "ts3plugin_onClientDBIDfromUIDEvent",
    "ts3plugin_onClientNamefromUIDEvent", "ts3plugin_onClientNamefromDBIDEvent",
    "ts3plugin_onClientServerQueryLoginPasswordEvent", "ts3plugin_onClientChannelGroupChangedEvent",
    // Server and connection.
    "ts3plugin_onServerEditedEvent", "ts3plugin_onServerUpdatedEvent", "ts3plugin_onServerStopEvent",
    "ts3plugin_onConnectionInfoEvent", "ts3plugin_onServerConnectionInfoEvent", "ts3plugin_onServerLogEvent",
    "ts3plugin_onServerLogFinishedEvent", "ts3plugin_onServerTemporaryPasswordListEvent",
    "ts3plugin_onIncomingClientQueryEvent", "ts3plugin_onUserLoggingMessageEvent",
    // Sound.
    "ts3plugin_onPlaybackShutdownCompleteEvent", "ts3plugin_onSoundDeviceListChangedEvent",
    "ts3plugin_onEditPlaybackVoiceDataEvent", "ts3plugin_onEditPostProcessVoiceDataEvent",
    "ts3plugin_onEditMixedPlaybackVoiceDataEvent", "ts3plugin_onCustom3dRolloffCalculationWaveEvent",
    // Files.
    "ts3plugin_onFileListEvent", "ts3plugin_onFileListFinishedEvent", "ts3plugin_onFileInfoEvent",
    "ts3plugin_onFileTransferStatusEvent",
    // Groups and permissions.
    "ts3plugin_onServerGroupListEvent", "ts3plugin_onServerGroupListFinishedEvent",
    "ts3plugin_onServerGroupByClientIDEvent", "ts3plugin_onServerGroupPermListEvent",
    "ts3plugin_onServerGroupPermListFinishedEvent", "ts3plugin_onServerGroupClientListEvent",
    "ts3plugin_onChannelGroupListEvent", "ts3plugin_onChannelGroupListFinishedEvent",
    "ts3plugin_onChannelGroupPermListEvent", "ts3plugin_onChannelGroupPermListFinishedEvent",
    "ts3plugin_onChannelPermListEvent", "ts3plugin_onChannelPermListFinishedEvent",
    "ts3plugin_onClientPermListEvent", "ts3plugin_onClientPermListFinishedEvent",
    "ts3plugin_onChannelClientPermListEvent", "ts3plugin_onChannelClientPermListFinishedEvent",
    "ts3plugin_onPermissionListGroupEndIDEvent", "ts3plugin_onPermissionListEvent",
    "ts3plugin_onPermissionListFinishedEvent", "ts3plugin_onPermissionOverviewEvent",
    "ts3plugin_onPermissionOverviewFinishedEvent", "ts3plugin_onServerGroupClientAddedEvent",
    "ts3plugin_onServerGroupClientDeletedEvent", "ts3plugin_onClientNeededPermissionsEvent",
    "ts3plugin_onClientNeededPermissionsFinishedEvent",
    // Offline messages, complaints and bans.
    "ts3plugin_onMessageListEvent", "ts3plugin_onMessageGetEvent", "ts3plugin_onComplainListEvent",
    "ts3plugin_onBanListEvent",
};

// The dynamic symbols the file defines, as nm lists them.
std::set<std::string> ExportedSymbols(const std::string& file) {
    std::set<std::string> names;
    const std::string command = "nm -D --defined-only --format=posix '" + file + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return names;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        const std::string text(line);
        names.insert(text.substr(0, text.find(' ')));
    }
    pclose(pipe);
    return names;
}

TEST(EntryPoints, TheRequiredListIsComplete) {
    // 15 lifecycle, 1 captured voice, 5 menu and hotkey, 1 command, 2 info
    // panel, 8 hooks with behaviour and 79 that do nothing.
    EXPECT_EQ(kRequiredEntryPoints.size(), 111u);
}

TEST(EntryPoints, TheLibraryExportsExactlyTheRequiredEntryPoints) {
    const std::set<std::string> exported = ExportedSymbols(morindale_host::DefaultPluginFile());
    ASSERT_FALSE(exported.empty()) << "nm listed nothing";
    for (const std::string& name : kRequiredEntryPoints) EXPECT_EQ(exported.count(name), 1u) << "missing: " << name;
    for (const std::string& name : exported)
        EXPECT_EQ(kRequiredEntryPoints.count(name), 1u) << "exported but not an entry point: " << name;
}

TEST(EntryPoints, EveryRequiredEntryPointResolvesInTheLoadedPlugin) {
    morindale_host::ClientEmulator client;
    client.load();
    for (const std::string& name : kRequiredEntryPoints)
        EXPECT_NE(client.symbol(name.c_str()), nullptr) << name;
}

// The exported hook with the prototype its header declares.
#define HOOK(name) Hook<decltype(&name)>(#name)

class IgnoredHooks : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_TRUE(plugin.client.calls().empty()) << "an ignored hook called the client: "
                                                   << morindale_test::Render(plugin.client.calls().front());
        EXPECT_TRUE(plugin.NothingLeaked());
    }

    template <typename F>
    F Hook(const char* name) {
        F hook = plugin.client.entry<F>(name);
        if (hook == nullptr) {
            ADD_FAILURE() << name << " is not exported";
            return nullptr;
        }
        return hook;
    }

    DiagnosticsClient plugin;
};

TEST_F(IgnoredHooks, ChannelEventsCallNothing) {
    HOOK(ts3plugin_onNewChannelEvent)(1, 2, 0);
    HOOK(ts3plugin_onNewChannelCreatedEvent)(1, 2, 0, 3, "Alice", "uid=");
    HOOK(ts3plugin_onDelChannelEvent)(1, 2, 3, "Alice", "uid=");
    HOOK(ts3plugin_onChannelMoveEvent)(1, 2, 4, 3, "Alice", "uid=");
    HOOK(ts3plugin_onUpdateChannelEvent)(1, 2);
    HOOK(ts3plugin_onUpdateChannelEditedEvent)(1, 2, 3, "Alice", "uid=");
    HOOK(ts3plugin_onChannelSubscribeEvent)(1, 2);
    HOOK(ts3plugin_onChannelSubscribeFinishedEvent)(1);
    HOOK(ts3plugin_onChannelUnsubscribeEvent)(1, 2);
    HOOK(ts3plugin_onChannelUnsubscribeFinishedEvent)(1);
    HOOK(ts3plugin_onChannelDescriptionUpdateEvent)(1, 2);
    HOOK(ts3plugin_onChannelPasswordChangedEvent)(1, 2);
}

TEST_F(IgnoredHooks, ClientEventsCallNothing) {
    HOOK(ts3plugin_onUpdateClientEvent)(1, 8, 3, "Alice", "uid=");
    HOOK(ts3plugin_onClientMoveEvent)(1, 8, 1, 2, 0, "moved");
    HOOK(ts3plugin_onClientMoveSubscriptionEvent)(1, 8, 1, 2, 1);
    HOOK(ts3plugin_onClientMoveTimeoutEvent)(1, 8, 1, 0, 2, "timeout");
    HOOK(ts3plugin_onClientMoveMovedEvent)(1, 8, 1, 2, 0, 3, "Alice", "uid=", "go");
    HOOK(ts3plugin_onClientKickFromChannelEvent)(1, 8, 1, 2, 0, 3, "Alice", "uid=", "out");
    HOOK(ts3plugin_onClientKickFromServerEvent)(1, 8, 1, 0, 2, 3, "Alice", "uid=", "out");
    HOOK(ts3plugin_onClientIDsEvent)(1, "uid=", 8, "Bob");
    HOOK(ts3plugin_onClientIDsFinishedEvent)(1);
    HOOK(ts3plugin_onClientBanFromServerEvent)(1, 8, 1, 0, 2, 3, "Alice", "uid=", 600, "banned");
    HOOK(ts3plugin_onClientSelfVariableUpdateEvent)(1, 1, "old", "new");
    HOOK(ts3plugin_onClientChatClosedEvent)(1, 8, "uid=");
    HOOK(ts3plugin_onClientChatComposingEvent)(1, 8, "uid=");
    HOOK(ts3plugin_onClientDBIDfromUIDEvent)(1, "uid=", 77);
    HOOK(ts3plugin_onClientNamefromUIDEvent)(1, "uid=", 77, "Bob");
    HOOK(ts3plugin_onClientNamefromDBIDEvent)(1, "uid=", 77, "Bob");
    HOOK(ts3plugin_onClientServerQueryLoginPasswordEvent)(1, "secret");
    HOOK(ts3plugin_onClientChannelGroupChangedEvent)(1, 5, 2, 8, 3, "Alice", "uid=");
}

TEST_F(IgnoredHooks, ServerEventsCallNothing) {
    HOOK(ts3plugin_onServerEditedEvent)(1, 3, "Alice", "uid=");
    HOOK(ts3plugin_onServerUpdatedEvent)(1);
    HOOK(ts3plugin_onServerStopEvent)(1, "maintenance");
    HOOK(ts3plugin_onConnectionInfoEvent)(1, 8);
    HOOK(ts3plugin_onServerConnectionInfoEvent)(1);
    HOOK(ts3plugin_onServerLogEvent)(1, "line");
    HOOK(ts3plugin_onServerLogFinishedEvent)(1, 10, 100);
    HOOK(ts3plugin_onServerTemporaryPasswordListEvent)(1, "Alice", "uid=", "guests", "pw", 1, 2, 3, "cpw");
    HOOK(ts3plugin_onIncomingClientQueryEvent)(1, "clientlist");
    HOOK(ts3plugin_onUserLoggingMessageEvent)("text", 4, "Plugin", 1, "12:00", "12:00 text");
    HOOK(ts3plugin_onUserLoggingMessageEvent)(nullptr, 1, nullptr, 0, nullptr, nullptr);
}

TEST_F(IgnoredHooks, FileGroupPermissionAndMessageEventsCallNothing) {
    HOOK(ts3plugin_onFileListEvent)(1, 2, "/", "file.txt", 10, 20, 1, 0, "rc");
    HOOK(ts3plugin_onFileListFinishedEvent)(1, 2, "/");
    HOOK(ts3plugin_onFileInfoEvent)(1, 2, "file.txt", 10, 20);
    HOOK(ts3plugin_onFileTransferStatusEvent)(4, 2065, "done", 10, 1);
    HOOK(ts3plugin_onServerGroupListEvent)(1, 6, "Admins", 1, 0, 1);
    HOOK(ts3plugin_onServerGroupListFinishedEvent)(1);
    HOOK(ts3plugin_onServerGroupByClientIDEvent)(1, "Admins", 6, 77);
    HOOK(ts3plugin_onServerGroupPermListEvent)(1, 6, 100, 75, 0, 0);
    HOOK(ts3plugin_onServerGroupPermListFinishedEvent)(1, 6);
    HOOK(ts3plugin_onServerGroupClientListEvent)(1, 6, 77, "Bob", "uid=");
    HOOK(ts3plugin_onChannelGroupListEvent)(1, 5, "Operators", 1, 0, 1);
    HOOK(ts3plugin_onChannelGroupListFinishedEvent)(1);
    HOOK(ts3plugin_onChannelGroupPermListEvent)(1, 5, 100, 75, 0, 0);
    HOOK(ts3plugin_onChannelGroupPermListFinishedEvent)(1, 5);
    HOOK(ts3plugin_onChannelPermListEvent)(1, 2, 100, 75, 0, 0);
    HOOK(ts3plugin_onChannelPermListFinishedEvent)(1, 2);
    HOOK(ts3plugin_onClientPermListEvent)(1, 77, 100, 75, 0, 0);
    HOOK(ts3plugin_onClientPermListFinishedEvent)(1, 77);
    HOOK(ts3plugin_onChannelClientPermListEvent)(1, 2, 77, 100, 75, 0, 0);
    HOOK(ts3plugin_onChannelClientPermListFinishedEvent)(1, 2, 77);
    HOOK(ts3plugin_onPermissionListGroupEndIDEvent)(1, 100);
    HOOK(ts3plugin_onPermissionListEvent)(1, 100, "b_virtualserver_info_view", "view info");
    HOOK(ts3plugin_onPermissionListFinishedEvent)(1);
    HOOK(ts3plugin_onPermissionOverviewEvent)(1, 77, 2, 0, 6, 0, 100, 75, 0, 0);
    HOOK(ts3plugin_onPermissionOverviewFinishedEvent)(1);
    HOOK(ts3plugin_onServerGroupClientAddedEvent)(1, 8, "Bob", "uid=", 6, 3, "Alice", "uid2=");
    HOOK(ts3plugin_onServerGroupClientDeletedEvent)(1, 8, "Bob", "uid=", 6, 3, "Alice", "uid2=");
    HOOK(ts3plugin_onClientNeededPermissionsEvent)(1, 100, 1);
    HOOK(ts3plugin_onClientNeededPermissionsFinishedEvent)(1);
    HOOK(ts3plugin_onMessageListEvent)(1, 9, "uid=", "subject", 1000, 0);
    HOOK(ts3plugin_onMessageGetEvent)(1, 9, "uid=", "subject", "body", 1000);
    HOOK(ts3plugin_onComplainListEvent)(1, 77, "Bob", 78, "Alice", "rude", 1000);
#if MORINDALE_PLUGIN_API >= 23
    // From API 23 the client passes the myTeamSpeak ID after the unique ID: 14 arguments.
    HOOK(ts3plugin_onBanListEvent)(1, 5, "10.0.0.1", "Bob", "uid=", "myts=", 1000, 600, "Alice", 78, "uid2=", "spam",
                                   2, "Bobby");
#else
    HOOK(ts3plugin_onBanListEvent)(1, 5, "10.0.0.1", "Bob", "uid=", 1000, 600, "Alice", 78, "uid2=", "spam", 2,
                                   "Bobby");
#endif
}

TEST_F(IgnoredHooks, SoundEventsLeaveTheSamplesUntouched) {
    // A pattern that any write would disturb, with guard values around it.
    std::vector<short> samples(2 + 960 * 2);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<short>(i * 37 - 20000);
    const std::vector<short> original = samples;
    const unsigned int speakers[2] = {1, 2};
    unsigned int fillMask = 0x3;
    float volume = 0.25f;

    HOOK(ts3plugin_onPlaybackShutdownCompleteEvent)(1);
    HOOK(ts3plugin_onSoundDeviceListChangedEvent)("pulse", 1);
    HOOK(ts3plugin_onEditPlaybackVoiceDataEvent)(1, 8, samples.data() + 1, 960, 1);
    HOOK(ts3plugin_onEditPostProcessVoiceDataEvent)(1, 8, samples.data() + 1, 960, 2, speakers, &fillMask);
    HOOK(ts3plugin_onEditMixedPlaybackVoiceDataEvent)(1, samples.data() + 1, 960, 2, speakers, &fillMask);
    HOOK(ts3plugin_onCustom3dRolloffCalculationWaveEvent)(1, 3, 2.5f, &volume);

    EXPECT_EQ(samples, original);
    EXPECT_EQ(fillMask, 0x3u);
    EXPECT_EQ(volume, 0.25f);
}

}  // namespace
