// The plug-in as the client sees it: identity, the table hand-over, init,
// registration and shutdown, loaded from the built library.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "client_emulator.h"
#include "client_table.h"
#include "settings_support.h"
#include "test_support.h"

using morindale_host::ClientEmulator;

namespace {

TEST(Lifecycle, IdentityAnswers) {
    ClientEmulator client;
    client.load();
    client.identify();
    EXPECT_EQ(client.name, "Morindale Plugin");
    EXPECT_EQ(client.version, "1.50");
    EXPECT_EQ(client.apiVersion, MORINDALE_PLUGIN_API);
    EXPECT_FALSE(client.author.empty());
    EXPECT_EQ(client.description, "Morindale Voice Changer for TeamSpeak");
    EXPECT_STREQ(client.entry<const char* (*)()>("ts3plugin_commandKeyword")(), "morindale");
    EXPECT_EQ(client.entry<int (*)()>("ts3plugin_offersConfigure")(), 0);
    EXPECT_EQ(client.entry<int (*)()>("ts3plugin_requestAutoload")(), 0);
    client.entry<void (*)(void*, void*)>("ts3plugin_configure")(nullptr, nullptr);
    EXPECT_TRUE(client.calls().empty()) << "identity and configure call nothing in the client";
}

// Fills a large part of the stack with garbage, overwriting whatever a
// previous call left in its argument area.
__attribute__((noinline)) void ScribbleStack() {
    volatile unsigned char garbage[16384];
    std::memset(const_cast<unsigned char*>(garbage), 0xA5, sizeof garbage);
}

TEST(Lifecycle, KeepsItsOwnCopyOfTheFunctionTable) {
    ClientEmulator client;
    client.load();
    client.identify();
    client.setFunctionPointers();
    ScribbleStack();
    std::fill(client.table().begin(), client.table().end(), nullptr);
    EXPECT_EQ(client.init(), 0);
    client.serverTabChanged(5);
    auto queries = client.calls("getCurrentServerConnectionHandlerID");
    ASSERT_EQ(queries.size(), 1u);
}

TEST(Lifecycle, InitQueriesTheClientPathsWith512ByteBuffers) {
    ClientEmulator client;
    client.load();
    client.identify();
    client.setFunctionPointers();
    EXPECT_EQ(client.init(), 0);
    for (const char* query : {"getAppPath", "getResourcesPath", "getConfigPath"}) {
        auto calls = client.calls(query);
        ASSERT_EQ(calls.size(), 1u) << query;
        EXPECT_EQ(calls[0].args.at(0), "512");
    }
#if MORINDALE_PLUGIN_API >= 21
    // Before registration the plug-in has no ID to pass, so it asks nothing.
    EXPECT_TRUE(client.calls("getPluginPath").empty());
#else
    ASSERT_EQ(client.calls("getPluginPath").size(), 1u);
    EXPECT_EQ(client.calls("getPluginPath")[0].args.at(0), "512");
#endif
    EXPECT_TRUE(client.problems().empty());
}

TEST(Lifecycle, ShutdownWithoutRegistrationCompletes) {
    ClientEmulator client;
    client.load();
    client.identify();
    client.setFunctionPointers();
    client.init();
    client.shutdown();
    client.unload();
    EXPECT_EQ(client.outstandingClientBlocks(), 0u);
    EXPECT_TRUE(client.problems().empty());
}

TEST(Lifecycle, FullCycleLeavesNothingBehind) {
    ClientEmulator client;
    client.start();
    client.serverTabChanged(2);
    client.shutdown();
    client.unload();
    EXPECT_FALSE(client.loaded());
    EXPECT_EQ(client.outstandingClientBlocks(), 0u);
    EXPECT_TRUE(client.problems().empty());
}

TEST(Lifecycle, TwoInstancesInARowStartFresh) {
    for (int round = 0; round < 2; ++round) {
        ClientEmulator client;
        client.start();
        client.unload();
        EXPECT_TRUE(client.problems().empty());
    }
}

// Registration and shutdown on one client thread, events on another (the
// hotkey that greys the effect items, and the chat command that enables one
// item, which does so without touching the settings file and so can run
// often): every ID they hand to the client is one that was registered (or
// none), never a freed copy. The two IDs differ in length, so that a freed
// copy is not simply reused for the next one.
TEST(LifecycleConcurrency, MenuEventsWhileTheIdIsRegisteredAgainOrShutDownPassAWholeId) {
    ClientEmulator client;
    client.start();
    auto registerId = client.entry<void (*)(const char*)>("ts3plugin_registerPluginID");
    auto shutdownPlugin = client.entry<void (*)()>("ts3plugin_shutdown");
    const std::set<std::string> valid = {"morindale_test_plugin_id",
                                         "a_second_and_much_longer_registration_id_of_this_client", "(null)"};
    std::atomic<bool> done{false};
    std::thread events([&] {
        for (int i = 0; i < 20000; ++i) {
            if (i % 100 == 0) client.hotkey("enable_disable");
            client.command("enablemenu 7 1");
        }
        done = true;
    });
    for (int i = 0; !done; ++i) {
        registerId(i % 2 == 0 ? "morindale_test_plugin_id" : "a_second_and_much_longer_registration_id_of_this_client");
        if (i % 3 == 2) shutdownPlugin();
    }
    events.join();
    int wrong = 0;
    for (const morindale_host::Call& call : client.calls("setPluginMenuEnabled"))
        if (valid.count(call.args.at(0)) == 0 && ++wrong < 5) ADD_FAILURE() << "ID passed: " << call.args.at(0);
    EXPECT_EQ(wrong, 0);
    EXPECT_GE(client.calls("setPluginMenuEnabled").size(), 200u * 11);  // at the least, the hotkey's
}

// The client initialising the plug-in again while an event thread saves:
// every save still goes to the one settings file.
TEST(LifecycleConcurrency, InitAgainWhileSavingKeepsEverySaveAtTheSettingsPath) {
    ClientEmulator client;
    client.start();
    auto initPlugin = client.entry<int (*)()>("ts3plugin_init");
    auto shutdownPlugin = client.entry<void (*)()>("ts3plugin_shutdown");
    std::atomic<bool> done{false};
    std::thread events([&] {
        for (int i = 0; i < 200; ++i) client.hotkey("effect_hearvoice");
        done = true;
    });
    while (!done) {
        shutdownPlugin();
        initPlugin();
    }
    events.join();
    EXPECT_EQ(morindale_test::DirectoryEntries(client.home()),
              std::vector<std::string>{"MorindaleForTeamspeak.ini"});
    // 200 toggles bring monitoring back on; a lost save would leave it off.
    EXPECT_EQ(morindale_test::ReadFile(client.settingsFile()), morindale_test::SettingsText(1, 14, 1));
    EXPECT_TRUE(client.problems().empty());
}

// The client initialising the plug-in again while its capture thread is
// inside a block: the voice engine is built at the first init only and never
// changes under the capture thread (ThreadSanitizer sees it).
TEST(LifecycleConcurrency, InitAgainWhileTheCaptureThreadProcesses) {
    ClientEmulator client;
    client.start();
    auto initPlugin = client.entry<int (*)()>("ts3plugin_init");
    auto shutdownPlugin = client.entry<void (*)()>("ts3plugin_shutdown");
    using Hook = void (*)(uint64, short*, int, int, int*);
    const Hook hook = client.entry<Hook>("ts3plugin_onEditCapturedVoiceDataEvent");
    ASSERT_NE(hook, nullptr);
    const std::vector<int16_t> loud = morindale_test::Sine(190.0, 12000.0, 960);
    std::atomic<bool> done{false};
    int badFlags = 0;
    std::thread capture([&] {
        std::vector<short> block(960);
        for (int b = 0; b < 400; ++b) {
            std::copy(loud.begin(), loud.end(), block.begin());
            int edited = EDIT_FLAG_SENDING;
            hook(1, block.data(), 960, 1, &edited);
            if (edited != EDIT_FLAG_SENDING && edited != (EDIT_FLAG_SENDING | EDIT_FLAG_EDITED)) ++badFlags;
        }
        done = true;
    });
    // Robotic Voice reads the oscillator table, Pitch (baby) the processor.
    for (int i = 0; !done; ++i) {
        client.hotkey(i % 2 == 0 ? "effect_robovoice" : "effect_pbaby");
        shutdownPlugin();
        initPlugin();
    }
    capture.join();
    EXPECT_EQ(badFlags, 0);
    EXPECT_TRUE(client.problems().empty());
}

TEST(ClientEmulatorTable, UnnamedSlotsFailLoudly) {
    ClientEmulator client;
    client.load();
    client.identify();
    client.setFunctionPointers();
    EXPECT_DEATH(reinterpret_cast<void (*)()>(client.table()[1])(), "unnamed slot 1 ");
    EXPECT_DEATH(reinterpret_cast<void (*)()>(client.table()[208])(), "unnamed slot 208 ");
    const std::size_t last = client.table().size() - 1;
    EXPECT_DEATH(reinterpret_cast<void (*)()>(client.table()[last])(), "unnamed slot " + std::to_string(last) + " ");
}

// The client lines, each with the table length of its API (members are only
// ever appended: notifyKeyEvent in 22, sixteen in 24, four in 26).
struct ClientLine {
    int api;
    std::size_t slots;
};
constexpr ClientLine kClientLines[] = {{20, 209}, {21, 209}, {23, 210}, {24, 226}, {26, 230}};

// The libraries to drive: this build's own, and those that
// $MORINDALE_API_PLUGINS names as "API=file" words (the test command builds
// one library for every other API).
std::map<int, std::string> LibrariesToDrive() {
    std::map<int, std::string> libraries = {{MORINDALE_PLUGIN_API, morindale_host::DefaultPluginFile()}};
    const char* listed = std::getenv("MORINDALE_API_PLUGINS");
    std::istringstream words(listed != nullptr ? listed : "");
    std::string word;
    while (words >> word) {
        const std::size_t equals = word.find('=');
        if (equals == std::string::npos) {
            ADD_FAILURE() << "not API=file: " << word;
            continue;
        }
        libraries[std::atoi(word.substr(0, equals).c_str())] = word.substr(equals + 1);
    }
    return libraries;
}

TEST(ClientEmulatorTable, HasTheSlotCountOfTheApi) {
    ClientEmulator client;
    client.load();
    client.identify();
    client.setFunctionPointers();
    for (const ClientLine& line : kClientLines) {
        if (line.api == MORINDALE_PLUGIN_API) {
            EXPECT_EQ(client.table().size(), line.slots);
        }
    }
}

// Each library as its own client starts it: it reports its API, takes the
// table of that API's length, is registered before init from API 21 on (and
// asks for the plug-in path with its ID then), and loads the settings file
// once, with the greying and the status line.
TEST(LifecycleEveryApi, EachLibraryStartsInItsClientsOrderAndLoadsTheSettings) {
    const std::map<int, std::string> libraries = LibrariesToDrive();
    std::size_t driven = 0;
    for (const ClientLine& line : kClientLines) {
        const auto library = libraries.find(line.api);
        if (library == libraries.end()) continue;
        SCOPED_TRACE("API " + std::to_string(line.api) + ": " + library->second);
        ++driven;
        morindale_host::Options options;
        options.pluginFile = library->second;
        ClientEmulator client(options);
        morindale_test::WriteFile(client.settingsFile(), morindale_test::SettingsText(0, 12, 0, 0, 0, 1500));
        client.start();
        EXPECT_EQ(client.apiVersion, line.api);
        EXPECT_EQ(client.table().size(), line.slots);
        EXPECT_EQ(client.registersBeforeInit(), line.api >= 21);
        EXPECT_EQ(client.chatMessages(), std::vector<std::string>{morindale_test::kDisabledLine});
        EXPECT_EQ(morindale_test::MenuEnabledCalls(client), morindale_test::EffectItemsSetTo(0));
        const auto pluginPath = client.calls("getPluginPath");
        ASSERT_EQ(pluginPath.size(), 1u);
        const std::vector<std::string> expectedArgs =
            line.api >= 21 ? std::vector<std::string>{"512", "morindale_test_plugin_id"} : std::vector<std::string>{"512"};
        EXPECT_EQ(pluginPath[0].args, expectedArgs);
        // The values in memory are the file's: a hotkey writes them back.
        client.hotkey("effect_pfmale");
        EXPECT_EQ(morindale_test::ReadFile(client.settingsFile()), morindale_test::SettingsText(0, 13, 0, 0, 0, 1500));
        client.unload();
        EXPECT_EQ(client.outstandingClientBlocks(), 0u);
        EXPECT_TRUE(client.problems().empty());
    }
    EXPECT_EQ(driven, libraries.size()) << "a library of an API no client line has";
}

}  // namespace
