// The update check inside the built plug-in, driven by the client emulator:
// the start-up check two seconds after init, shutdown while a check waits
// on every kind of server (then dlclose), a restart, and a real nginx.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "client_emulator.h"
#include "fake_network.h"
#include "loopback_server.h"
#include "nginx_server.h"

using morindale_host::ClientEmulator;
using morindale_test::FullBacklogListener;
using morindale_test::HttpReply;
using morindale_test::LoopbackServer;
using morindale_test::ServerConnection;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

namespace {

std::string Authority() {
    return std::string(MORINDALE_UPDATE_HOST) +
           (MORINDALE_UPDATE_PORT == 80 ? std::string() : ":" + std::to_string(MORINDALE_UPDATE_PORT));
}

std::string NewVersion(const std::string& version) {
    return "A new Morindale version ( " + version + " ) is available - [url]http://" + Authority() +
           "/teamspeak/[/url]";
}

long MsBetween(Clock::time_point from, Clock::time_point to) {
    return static_cast<long>(std::chrono::duration_cast<milliseconds>(to - from).count());
}

std::size_t Attempts() { return morindale_host::UpdateConnectAttempts().size(); }

template <typename Condition>
bool WaitUntil(Condition condition, milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(milliseconds(2));
    }
    return true;
}

// Shutdown must not wait for the network: every wait it cuts short lasts
// 2 s (delay), 3 s (connect) or 5 s (read). The bound leaves room for a
// sanitizer build on a loaded machine and is still well under a second.
constexpr long kShutdownBoundMs = 500;

class UpdatePlugin : public ::testing::Test {
protected:
    void SetUp() override {
        morindale_host::SetUpdateServerPort(0);
        morindale_host::ClearUpdateConnectAttempts();
    }
    void TearDown() override {
        morindale_host::SetUpdateServerPort(0);
        morindale_host::SetResolverSilent(false);
    }

    long TimedShutdown(ClientEmulator& client) {
        const auto start = Clock::now();
        client.shutdown();
        const auto took = Clock::now() - start;
        RecordProperty("shutdown_us",
                       static_cast<int>(std::chrono::duration_cast<std::chrono::microseconds>(took).count()));
        return static_cast<long>(std::chrono::duration_cast<milliseconds>(took).count());
    }
};

TEST_F(UpdatePlugin, StartupCheckAnnouncesANewVersionAfterTwoSeconds) {
    LoopbackServer server(LoopbackServer::Reply(HttpReply("MorindaleVersion:1.49")));
    morindale_host::SetUpdateServerPort(server.port());
    ClientEmulator client;
    const auto start = Clock::now();
    client.start();
    ASSERT_TRUE(client.waitForCalls("printMessageToCurrentTab", 1, milliseconds(10000)));
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{NewVersion("1.49")});
    ASSERT_EQ(server.acceptTimes().size(), 1u);
    const long waited = MsBetween(start, server.acceptTimes()[0]);
    EXPECT_GE(waited, 2000);
    EXPECT_LT(waited, 4000);
    EXPECT_EQ(server.requests(),
              std::vector<std::string>{"GET http://" + Authority() + "/teamspeak/mversion.txt HTTP/1.0\r\nHost: " +
                                       Authority() +
                                       "\r\nUser-Agent: Mozilla/5.0 (Windows NT 6.1; WOW64; rv:36.0) "
                                       "Gecko/20100101 Firefox/36.0\r\n\r\n"});
    client.unload();
    EXPECT_TRUE(client.problems().empty());
}

TEST_F(UpdatePlugin, StartupCheckIsSilentAboutTheCurrentVersionAndFailures) {
    LoopbackServer server(LoopbackServer::Reply(HttpReply("MorindaleVersion:1.50")));
    morindale_host::SetUpdateServerPort(server.port());
    ClientEmulator client;
    client.start();
    ASSERT_TRUE(server.WaitForHandlersDone(1, milliseconds(10000)));
    // The closed port of the next round stands for a server that is down.
    morindale_host::SetUpdateServerPort(morindale_test::UnusedLoopbackPort());
    client.shutdown();
    morindale_host::ClearUpdateConnectAttempts();
    client.init();
    ASSERT_TRUE(WaitUntil([] { return Attempts() >= 2; }, milliseconds(10000)));
    std::this_thread::sleep_for(milliseconds(100));
    client.entry<void (*)()>("ts3plugin_shutdown")();
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{});
    client.unload();
}

// "Check for update" is menu item 20.
constexpr int kCheckForUpdateItem = 20;

TEST_F(UpdatePlugin, MenuCheckDuringTheStartupDelayMakesItReportLikeAManualOne) {
    LoopbackServer server(LoopbackServer::Reply(HttpReply("MorindaleVersion:1.50")));
    morindale_host::SetUpdateServerPort(server.port());
    ClientEmulator client;
    const auto start = Clock::now();
    client.start();
    // Once the check sleeps: a click before it has read the mode would make
    // it a manual check from the start, without the delay.
    std::this_thread::sleep_for(milliseconds(300));
    client.menuItem(kCheckForUpdateItem);
    ASSERT_TRUE(client.waitForCalls("printMessageToCurrentTab", 1, milliseconds(10000)));
    client.unload();
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{"Morindale: You are using the latest version!"});
    ASSERT_EQ(server.acceptTimes().size(), 1u);
    EXPECT_GE(MsBetween(start, server.acceptTimes()[0]), 2000);
}

TEST_F(UpdatePlugin, MenuCheckAfterTheStartupCheckConnectsAtOnce) {
    morindale_host::SetUpdateServerPort(morindale_test::UnusedLoopbackPort());
    ClientEmulator client;
    client.start();
    ASSERT_TRUE(WaitUntil([] { return Attempts() >= 2; }, milliseconds(10000)));
    std::this_thread::sleep_for(milliseconds(300));  // the silent start-up check ends
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{});
    const auto clicked = Clock::now();
    client.menuItem(kCheckForUpdateItem);
    ASSERT_TRUE(client.waitForCalls("printMessageToCurrentTab", 1, milliseconds(5000)));
    client.unload();
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{"Morindale: Cannot check for updates!"});
    const auto attempts = morindale_host::UpdateConnectAttempts();
    ASSERT_EQ(attempts.size(), 4u);
    EXPECT_LT(MsBetween(clicked, attempts[2]), 1000);
    EXPECT_GE(MsBetween(attempts[2], attempts[3]), 250);
}

TEST_F(UpdatePlugin, ConcurrentShutdownDuringTheStartupDelay) {
    LoopbackServer server(LoopbackServer::Reply(HttpReply("MorindaleVersion:1.49")));
    morindale_host::SetUpdateServerPort(server.port());
    ClientEmulator client;
    client.start();
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_LT(TimedShutdown(client), kShutdownBoundMs);
    client.unload();
    std::this_thread::sleep_for(milliseconds(2200));
    EXPECT_EQ(Attempts(), 0u) << "the check never connected";
    EXPECT_EQ(server.connections(), 0u);
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{});
}

TEST_F(UpdatePlugin, ConcurrentShutdownDuringTheRetryPause) {
    morindale_host::SetUpdateServerPort(morindale_test::UnusedLoopbackPort());
    ClientEmulator client;
    client.start();
    ASSERT_TRUE(WaitUntil([] { return Attempts() >= 1; }, milliseconds(10000)));
    EXPECT_LT(TimedShutdown(client), kShutdownBoundMs);
    client.unload();
    EXPECT_EQ(Attempts(), 1u);
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{});
}

TEST_F(UpdatePlugin, ConcurrentShutdownDuringAHangingConnect) {
    FullBacklogListener listener;
    morindale_host::SetUpdateServerPort(listener.port());
    ClientEmulator client;
    client.start();
    ASSERT_TRUE(WaitUntil([] { return Attempts() >= 1; }, milliseconds(10000)));
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_LT(TimedShutdown(client), kShutdownBoundMs);
    client.unload();
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{});
}

TEST_F(UpdatePlugin, ConcurrentShutdownDuringASilentRead) {
    LoopbackServer server(LoopbackServer::Hang());
    morindale_host::SetUpdateServerPort(server.port());
    ClientEmulator client;
    client.start();
    ASSERT_TRUE(server.WaitForConnections(1, milliseconds(10000)));
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_LT(TimedShutdown(client), kShutdownBoundMs);
    client.unload();
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{});
    EXPECT_TRUE(client.problems().empty());
}

TEST_F(UpdatePlugin, ConcurrentShutdownDuringATricklingRead) {
    LoopbackServer server(LoopbackServer::Trickle(HttpReply("MorindaleVersion:1.49"), milliseconds(1000)));
    morindale_host::SetUpdateServerPort(server.port());
    ClientEmulator client;
    client.start();
    ASSERT_TRUE(server.WaitForConnections(1, milliseconds(10000)));
    std::this_thread::sleep_for(milliseconds(1500));
    EXPECT_LT(TimedShutdown(client), kShutdownBoundMs);
    client.unload();
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{});
}

TEST_F(UpdatePlugin, ConcurrentShutdownDuringAHostLookupThatNeverEnds) {
    LoopbackServer server(LoopbackServer::Reply(HttpReply("MorindaleVersion:1.49")));
    morindale_host::SetUpdateServerPort(server.port());
    morindale_host::SetResolverSilent(true);  // a nameserver that swallows queries
    ClientEmulator client;
    client.start();
    ASSERT_TRUE(WaitUntil([] { return morindale_host::PendingLookups() >= 1; }, milliseconds(10000)));
    std::this_thread::sleep_for(milliseconds(100));
    // The issue's own bound: the client's shutdown must not stall.
    EXPECT_LT(TimedShutdown(client), 100);
    client.unload();
    // The resolver answers after the library is gone, into the lookup's own
    // memory; nothing of the plug-in may run or be written any more.
    morindale_host::AnswerPendingLookups();
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_EQ(Attempts(), 0u);
    EXPECT_EQ(server.connections(), 0u);
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{});
    EXPECT_TRUE(client.problems().empty());
}

TEST_F(UpdatePlugin, ConcurrentMenuCheckAfterShutdownStartsNothingUntilTheNextInit) {
    LoopbackServer server([](ServerConnection& connection) {
        connection.ReadRequest();
        connection.Wait(milliseconds(300));
        connection.Send(HttpReply("MorindaleVersion:1.49"));
    });
    morindale_host::SetUpdateServerPort(server.port());
    ClientEmulator client;
    client.start();
    client.shutdown();
    client.menuItem(kCheckForUpdateItem);
    std::this_thread::sleep_for(milliseconds(500));
    EXPECT_EQ(Attempts(), 0u) << "a check started after shutdown";

    client.init();
    client.menuItem(kCheckForUpdateItem);
    ASSERT_TRUE(client.waitForCalls("printMessageToCurrentTab", 1, milliseconds(10000)));
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{NewVersion("1.49")});
    const std::size_t attempts = Attempts();

    // The same after the second shutdown; then the library goes away while
    // a thread, had one been started, would still wait for the reply.
    client.entry<void (*)()>("ts3plugin_shutdown")();
    client.menuItem(kCheckForUpdateItem);
    client.unload();
    std::this_thread::sleep_for(milliseconds(600));
    EXPECT_EQ(Attempts(), attempts);
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{NewVersion("1.49")});
}

TEST_F(UpdatePlugin, ConcurrentRestartRunsTheStartupCheckAgain) {
    LoopbackServer server(LoopbackServer::Reply(HttpReply("MorindaleVersion:1.49")));
    morindale_host::SetUpdateServerPort(server.port());
    ClientEmulator client;
    client.start();
    std::this_thread::sleep_for(milliseconds(200));
    client.shutdown();
    EXPECT_EQ(server.connections(), 0u);
    client.init();
    ASSERT_TRUE(client.waitForCalls("printMessageToCurrentTab", 1, milliseconds(10000)));
    const auto start = Clock::now();
    client.entry<void (*)()>("ts3plugin_shutdown")();
    EXPECT_LT(MsBetween(start, Clock::now()), kShutdownBoundMs);
    client.unload();
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{NewVersion("1.49")});
    EXPECT_EQ(server.connections(), 1u);
}

TEST_F(UpdatePlugin, RealNginxAnnouncesANewVersion) {
    const std::map<std::string, std::string> files = {{"teamspeak/mversion.txt", "MorindaleVersion:1.49"}};
    morindale_test::NginxServer nginx(files);
    ASSERT_TRUE(nginx.running()) << nginx.error();
    morindale_host::SetUpdateServerPort(nginx.port());
    ClientEmulator client;
    client.start();
    ASSERT_TRUE(client.waitForCalls("printMessageToCurrentTab", 1, milliseconds(10000))) << nginx.errorLog();
    client.unload();
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{NewVersion("1.49")});
    EXPECT_NE(nginx.accessLog().find("\"GET http://" + Authority() + "/teamspeak/mversion.txt HTTP/1.0\" 200 21 "),
              std::string::npos)
        << nginx.accessLog();
}

}  // namespace
