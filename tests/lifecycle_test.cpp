// The plug-in as the client sees it: identity, the table hand-over, init,
// registration and shutdown, loaded from the built library.
#include <gtest/gtest.h>

#include <cstring>

#include "client_emulator.h"
#include "client_table.h"

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
#if MORINDALE_PLUGIN_API >= 26
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

TEST(ClientEmulatorTable, UnnamedSlotsFailLoudly) {
    ClientEmulator client;
    client.load();
    client.identify();
    client.setFunctionPointers();
    EXPECT_DEATH(reinterpret_cast<void (*)()>(client.table()[1])(), "unnamed slot 1 ");
    EXPECT_DEATH(reinterpret_cast<void (*)()>(client.table()[208])(), "unnamed slot 208 ");
#if MORINDALE_PLUGIN_API >= 26
    EXPECT_DEATH(reinterpret_cast<void (*)()>(client.table()[229])(), "unnamed slot 229 ");
#endif
}

TEST(ClientEmulatorTable, HasTheSlotCountOfTheApi) {
    ClientEmulator client;
    client.load();
    client.identify();
    client.setFunctionPointers();
    EXPECT_EQ(client.table().size(), MORINDALE_PLUGIN_API >= 26 ? 230u : 209u);
}

}  // namespace
