// The update check on its own threads, against scripted servers on
// 127.0.0.1 (the emulator's resolver maps the update host there and its
// connect sends the update port to the test's server): every reply case in
// both modes, servers that are down, silent, trickling or unreachable,
// requests during a check, stopping a check in each of its waits, and a real
// nginx.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fake_network.h"
#include "loopback_server.h"
#include "net/update_check.h"
#include "nginx_server.h"
#include "plugin/plugin_state.h"

using morindale_test::FullBacklogListener;
using morindale_test::HttpReply;
using morindale_test::LoopbackServer;
using morindale_test::ServerConnection;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

namespace {

const char* const kLatest = "Morindale: You are using the latest version!";
const char* const kCannotCheck = "Morindale: Cannot check for updates!";

std::string Authority() {
    return std::string(MORINDALE_UPDATE_HOST) +
           (MORINDALE_UPDATE_PORT == 80 ? std::string() : ":" + std::to_string(MORINDALE_UPDATE_PORT));
}

std::string NewVersion(const std::string& version) {
    return "A new Morindale version ( " + version + " ) is available - [url]http://" + Authority() +
           "/teamspeak/[/url]";
}

std::string ExpectedRequest() {
    return "GET http://" + Authority() + "/teamspeak/mversion.txt HTTP/1.0\r\nHost: " + Authority() +
           "\r\nUser-Agent: Mozilla/5.0 (Windows NT 6.1; WOW64; rv:36.0) Gecko/20100101 Firefox/36.0\r\n\r\n";
}

long MsBetween(Clock::time_point from, Clock::time_point to) {
    return static_cast<long>(std::chrono::duration_cast<milliseconds>(to - from).count());
}

// The chat tab: what the checks print, with the time of each line.
std::mutex g_chatMutex;
std::condition_variable g_chatChanged;
std::vector<std::string> g_chat;
std::vector<Clock::time_point> g_chatTimes;

void RecordChat(const char* text) {
    std::lock_guard<std::mutex> lock(g_chatMutex);
    g_chat.emplace_back(text);
    g_chatTimes.push_back(Clock::now());
    g_chatChanged.notify_all();
}

std::vector<std::string> Chat() {
    std::lock_guard<std::mutex> lock(g_chatMutex);
    return g_chat;
}

bool WaitForChat(std::size_t count, milliseconds timeout) {
    std::unique_lock<std::mutex> lock(g_chatMutex);
    return g_chatChanged.wait_for(lock, timeout, [&] { return g_chat.size() >= count; });
}

template <typename Condition>
bool WaitUntil(Condition condition, milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(milliseconds(2));
    }
    return true;
}

std::size_t Attempts() { return morindale_host::UpdateConnectAttempts().size(); }

class UpdateCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        {
            std::lock_guard<std::mutex> lock(g_chatMutex);
            g_chat.clear();
            g_chatTimes.clear();
        }
        ts3Functions.printMessageToCurrentTab = RecordChat;
        morindale_host::SetUpdateServerPort(0);
        morindale_host::ClearUpdateConnectAttempts();
        EnableUpdateChecks();  // as init does
    }
    void TearDown() override {
        StopUpdateChecks();
        morindale_host::SetUpdateServerPort(0);
    }

    // Runs one check against `server` and returns what it printed, once its
    // thread has finished.
    std::vector<std::string> CheckAgainst(LoopbackServer& server, bool automatic, std::size_t connections = 1) {
        morindale_host::SetUpdateServerPort(server.port());
        EnableUpdateChecks();  // an earlier stop refuses requests until then
        requested_ = Clock::now();
        CheckForUpdate(automatic);
        EXPECT_TRUE(server.WaitForHandlersDone(connections, milliseconds(20000)));
        EXPECT_TRUE(WaitUntil([] { return !gl_UpdateCheckActive.load(); }, milliseconds(20000)));
        StopUpdateChecks();  // joins the finished thread: nothing more can come
        return Chat();
    }

    Clock::time_point requested_;
};

// --- The replies of the version file, in both modes ------------------------

class UpdateCheckReply : public UpdateCheckTest, public ::testing::WithParamInterface<bool> {
protected:
    bool automatic() const { return GetParam(); }
    std::vector<std::string> Expect(std::vector<std::string> manual, std::vector<std::string> automaticOnes) const {
        return automatic() ? automaticOnes : manual;
    }
};

TEST_P(UpdateCheckReply, CurrentVersion) {
    LoopbackServer server(LoopbackServer::Reply(HttpReply("MorindaleVersion:1.50")));
    EXPECT_EQ(CheckAgainst(server, automatic()), Expect({kLatest}, {}));
    EXPECT_EQ(server.connections(), 1u);
}

TEST_P(UpdateCheckReply, CrLfAfterTheVersionMakesItDifferent) {
    // Compared as received; shown with the line end replaced, as the server's
    // text must not lay out the chat.
    LoopbackServer server(LoopbackServer::Reply(HttpReply("MorindaleVersion:1.50\r\n")));
    EXPECT_EQ(CheckAgainst(server, automatic()),
              std::vector<std::string>{NewVersion("1.50\xEF\xBF\xBD\xEF\xBF\xBD")});
}

TEST_P(UpdateCheckReply, OlderVersionIsAnnounced) {
    LoopbackServer server(LoopbackServer::Reply(HttpReply("MorindaleVersion:1.49")));
    EXPECT_EQ(CheckAgainst(server, automatic()), std::vector<std::string>{NewVersion("1.49")});
}

TEST_P(UpdateCheckReply, SpaceBeforeTheVersionMakesItDifferent) {
    LoopbackServer server(LoopbackServer::Reply(HttpReply("MorindaleVersion: 1.50")));
    EXPECT_EQ(CheckAgainst(server, automatic()), std::vector<std::string>{NewVersion(" 1.50")});
}

TEST_P(UpdateCheckReply, NotFoundPageSaysNothing) {
    LoopbackServer server(LoopbackServer::Reply(
        HttpReply("<html><body><h1>404 Not Found</h1></body></html>", "404 Not Found")));
    EXPECT_EQ(CheckAgainst(server, automatic()), std::vector<std::string>{});
    EXPECT_EQ(server.connections(), 1u) << "a reply with bytes is never retried";
}

TEST_P(UpdateCheckReply, KeyBeyondTheFirstKilobyteSaysNothing) {
    LoopbackServer server(LoopbackServer::Reply(HttpReply(std::string(1100, '#') + "MorindaleVersion:1.49")));
    EXPECT_EQ(CheckAgainst(server, automatic()), std::vector<std::string>{});
}

TEST_P(UpdateCheckReply, ReplyWithoutStatusLineSaysNothing) {
    // The key at the very start of the reply does not count.
    LoopbackServer server(LoopbackServer::Reply("MorindaleVersion:1.49"));
    EXPECT_EQ(CheckAgainst(server, automatic()), std::vector<std::string>{});
}

TEST_P(UpdateCheckReply, ReplyOf1024BytesIsReadWhole) {
    // The first 1024 bytes are searched: a reply of exactly that size keeps
    // its last byte, so "1.50" is not taken for "1.5".
    std::string reply = HttpReply("MorindaleVersion:1.50");
    reply.insert(reply.find("\r\n"), std::string(1024 - reply.size(), 'x'));
    ASSERT_EQ(reply.size(), 1024u);
    LoopbackServer server(LoopbackServer::Reply(reply));
    EXPECT_EQ(CheckAgainst(server, automatic()), Expect({kLatest}, {}));
}

TEST_P(UpdateCheckReply, OnlyTheFirst1024BytesAreRead) {
    std::string reply = HttpReply("MorindaleVersion:1.50") + "9";
    reply.insert(reply.find("\r\n"), std::string(1025 - reply.size(), 'x'));
    ASSERT_EQ(reply.size(), 1025u);
    LoopbackServer server(LoopbackServer::Reply(reply));
    EXPECT_EQ(CheckAgainst(server, automatic()), Expect({kLatest}, {})) << "the 1025th byte is not read";
}

TEST_P(UpdateCheckReply, ReplyOf1023BytesIsReadWhole) {
    std::string reply = HttpReply("MorindaleVersion:1.50");
    reply.insert(reply.find("\r\n"), std::string(1023 - reply.size(), 'x'));
    ASSERT_EQ(reply.size(), 1023u);
    LoopbackServer server(LoopbackServer::Reply(reply));
    EXPECT_EQ(CheckAgainst(server, automatic()), Expect({kLatest}, {}));
}

TEST_P(UpdateCheckReply, LongVersionMessageStaysWithinItsBuffer) {
    const std::string version(990, '7');
    LoopbackServer server(LoopbackServer::Reply("HTTP/1.0 200 OK\r\n\r\nMorindaleVersion:" + version));
    const auto chat = CheckAgainst(server, automatic());
    ASSERT_EQ(chat.size(), 1u);
    EXPECT_EQ(chat[0].size(), 1023u);
    const std::string tail = "... ) is available - [url]http://" + Authority() + "/teamspeak/[/url]";
    EXPECT_EQ(chat[0].substr(chat[0].size() - tail.size()), tail);
}

TEST_P(UpdateCheckReply, EmptyReplyIsTriedTwice) {
    LoopbackServer server(LoopbackServer::CloseAtOnce());
    EXPECT_EQ(CheckAgainst(server, automatic(), 2), Expect({kCannotCheck}, {}));
    const auto accepted = server.acceptTimes();
    ASSERT_EQ(accepted.size(), 2u);
    EXPECT_GE(MsBetween(accepted[0], accepted[1]), 250);
}

TEST_P(UpdateCheckReply, SendsTheExactRequest) {
    LoopbackServer server(LoopbackServer::Reply(HttpReply("MorindaleVersion:1.50")));
    CheckAgainst(server, automatic());
    EXPECT_EQ(server.requests(), std::vector<std::string>{ExpectedRequest()});
}

TEST_P(UpdateCheckReply, ServerDownIsTriedTwice250MsApart) {
    morindale_host::SetUpdateServerPort(morindale_test::UnusedLoopbackPort());
    requested_ = Clock::now();
    CheckForUpdate(automatic());
    ASSERT_TRUE(WaitUntil([] { return Attempts() >= 2; }, milliseconds(10000)));
    ASSERT_TRUE(WaitUntil([] { return !gl_UpdateCheckActive.load(); }, milliseconds(10000)));
    StopUpdateChecks();
    EXPECT_EQ(Chat(), Expect({kCannotCheck}, {}));
    const auto attempts = morindale_host::UpdateConnectAttempts();
    ASSERT_EQ(attempts.size(), 2u) << "no third attempt";
    const long gap = MsBetween(attempts[0], attempts[1]);
    EXPECT_GE(gap, 250);
    EXPECT_LT(gap, 2000);  // the pause plus one refused connect, on a loaded machine
}

TEST_P(UpdateCheckReply, StartupCheckWaitsTwoSecondsManualOneDoesNot) {
    LoopbackServer server(LoopbackServer::Reply(HttpReply("MorindaleVersion:1.50")));
    CheckAgainst(server, automatic());
    ASSERT_EQ(server.acceptTimes().size(), 1u);
    const long waited = MsBetween(requested_, server.acceptTimes()[0]);
    if (automatic()) {
        EXPECT_GE(waited, 2000);
        EXPECT_LT(waited, 4000);
    } else {
        EXPECT_GE(waited, 0);
        EXPECT_LT(waited, 1000);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, UpdateCheckReply, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Automatic" : "Manual";
                         });

// --- Requests during a check -----------------------------------------------

TEST_F(UpdateCheckTest, SecondManualRequestDuringACheckPrintsOnce) {
    LoopbackServer server([](ServerConnection& connection) {
        connection.ReadRequest();
        connection.Wait(milliseconds(500));
        connection.Send(HttpReply("MorindaleVersion:1.50"));
    });
    morindale_host::SetUpdateServerPort(server.port());
    CheckForUpdate(false);
    ASSERT_TRUE(server.WaitForConnections(1, milliseconds(5000)));
    CheckForUpdate(false);
    ASSERT_TRUE(WaitForChat(1, milliseconds(10000)));
    ASSERT_TRUE(WaitUntil([] { return !gl_UpdateCheckActive.load(); }, milliseconds(10000)));
    StopUpdateChecks();
    EXPECT_EQ(Chat(), std::vector<std::string>{kLatest});
    EXPECT_EQ(server.connections(), 1u);
}

TEST_F(UpdateCheckTest, ManualRequestDuringTheStartupDelayMakesItReportLikeAManualOne) {
    LoopbackServer server(LoopbackServer::Reply(HttpReply("MorindaleVersion:1.50")));
    morindale_host::SetUpdateServerPort(server.port());
    const auto start = Clock::now();
    CheckForUpdate(true);
    std::this_thread::sleep_for(milliseconds(300));
    CheckForUpdate(false);
    ASSERT_TRUE(WaitForChat(1, milliseconds(10000)));
    ASSERT_TRUE(WaitUntil([] { return !gl_UpdateCheckActive.load(); }, milliseconds(10000)));
    StopUpdateChecks();
    EXPECT_EQ(Chat(), std::vector<std::string>{kLatest});
    ASSERT_EQ(server.acceptTimes().size(), 1u) << "the menu's own thread ended silently";
    EXPECT_GE(MsBetween(start, server.acceptTimes()[0]), 2000) << "the running check kept its delay";
}

std::atomic<bool> g_requestWhilePrinting{false};

void RecordChatAndRequestAnotherCheck(const char* text) {
    RecordChat(text);
    // As a client might, from a hook the message sets off; once only.
    if (g_requestWhilePrinting.exchange(false)) CheckForUpdate(false);
}

TEST_F(UpdateCheckTest, ClientThatRequestsACheckWhileAMessageIsPrintedDoesNotDeadlock) {
    ts3Functions.printMessageToCurrentTab = RecordChatAndRequestAnotherCheck;
    g_requestWhilePrinting = true;
    LoopbackServer server(LoopbackServer::Reply(HttpReply("MorindaleVersion:1.49")));
    morindale_host::SetUpdateServerPort(server.port());
    CheckForUpdate(false);
    ASSERT_TRUE(WaitForChat(1, milliseconds(5000)));
    // The new thread either finds the check still working and ends silently,
    // or starts after it and runs a check of its own.
    std::this_thread::sleep_for(milliseconds(300));
    ASSERT_TRUE(WaitUntil([] { return !gl_UpdateCheckActive.load(); }, milliseconds(5000)));
    StopUpdateChecks();
    const auto chat = Chat();
    ASSERT_GE(chat.size(), 1u);
    ASSERT_LE(chat.size(), 2u);
    for (const std::string& line : chat) EXPECT_EQ(line, NewVersion("1.49"));
    EXPECT_EQ(server.connections(), chat.size());
}

// --- Servers that do not answer properly -----------------------------------

TEST_F(UpdateCheckTest, SilentServerEndsAfterTwoReadTimeoutsAndTheNextCheckRuns) {
    const auto chat = [&] {
        LoopbackServer server(LoopbackServer::Hang());
        const auto start = Clock::now();
        auto printed = CheckAgainst(server, false, 2);
        const long elapsed = MsBetween(start, Clock::now());
        // Two reads of 5 s each and the 250 ms pause; the server would hold
        // the connection for 60 s.
        EXPECT_GE(elapsed, 10250);
        EXPECT_LT(elapsed, 20000);
        EXPECT_EQ(server.connections(), 2u);
        return printed;
    }();
    EXPECT_EQ(chat, std::vector<std::string>{kCannotCheck});

    LoopbackServer next(LoopbackServer::Reply(HttpReply("MorindaleVersion:1.50")));
    EXPECT_EQ(CheckAgainst(next, false), (std::vector<std::string>{kCannotCheck, kLatest}));
}

TEST_F(UpdateCheckTest, TricklingServerIsCutAfterFiveSecondsAndTheNextCheckRuns) {
    {
        LoopbackServer server(LoopbackServer::Trickle(HttpReply("MorindaleVersion:1.49"), milliseconds(1000)));
        const auto start = Clock::now();
        morindale_host::SetUpdateServerPort(server.port());
        CheckForUpdate(false);
        ASSERT_TRUE(server.WaitForConnections(1, milliseconds(5000)));
        ASSERT_TRUE(WaitUntil([] { return !gl_UpdateCheckActive.load(); }, milliseconds(20000)));
        const long elapsed = MsBetween(start, Clock::now());
        StopUpdateChecks();
        // A few bytes of the status line by the 5 s read limit: no key, so
        // nothing is said, and a reply with bytes is not tried again.
        EXPECT_GE(elapsed, 5000);
        EXPECT_LT(elapsed, 12000);
        EXPECT_EQ(Chat(), std::vector<std::string>{});
        EXPECT_EQ(server.connections(), 1u);
    }
    LoopbackServer next(LoopbackServer::Reply(HttpReply("MorindaleVersion:1.49")));
    EXPECT_EQ(CheckAgainst(next, false), std::vector<std::string>{NewVersion("1.49")});
}

TEST_F(UpdateCheckTest, UnreachableServerEndsAfterTwoConnectTimeouts) {
    FullBacklogListener listener;
    morindale_host::SetUpdateServerPort(listener.port());
    const auto start = Clock::now();
    CheckForUpdate(false);
    ASSERT_TRUE(WaitForChat(1, milliseconds(20000)));
    const long elapsed = MsBetween(start, Clock::now());
    ASSERT_TRUE(WaitUntil([] { return !gl_UpdateCheckActive.load(); }, milliseconds(5000)));
    StopUpdateChecks();
    EXPECT_EQ(Chat(), std::vector<std::string>{kCannotCheck});
    EXPECT_EQ(Attempts(), 2u);
    // Two connects of 3 s each and the pause between them.
    EXPECT_GE(elapsed, 6250);
    EXPECT_LT(elapsed, 15000);
}

TEST_F(UpdateCheckTest, UnresolvableHostFailsWithoutAnyConnect) {
    morindale_host::SetUpdateHostResolvable(false);
    testing::internal::CaptureStderr();
    CheckForUpdate(false);
    const bool printed = WaitForChat(1, milliseconds(5000));
    StopUpdateChecks();
    const std::string errors = testing::internal::GetCapturedStderr();
    morindale_host::SetUpdateHostResolvable(true);
    ASSERT_TRUE(printed);
    EXPECT_EQ(Chat(), std::vector<std::string>{kCannotCheck});
    EXPECT_EQ(errors, "ERROR, no such host\n");
    EXPECT_EQ(Attempts(), 0u);
}

// --- Stopping a check in each of its waits -----------------------------------

// Stops the checks and returns how long that took.
long TimedStop() {
    const auto start = Clock::now();
    StopUpdateChecks();
    return MsBetween(start, Clock::now());
}

// Stopping takes no more than this. The waits it cuts short last 2 s
// (delay), 3 s (connect) or 5 s (read); the bound leaves room for a
// sanitizer build on a loaded machine.
constexpr long kStopBoundMs = 500;

TEST_F(UpdateCheckTest, ConcurrentStopDuringTheStartupDelay) {
    LoopbackServer server(LoopbackServer::Reply(HttpReply("MorindaleVersion:1.49")));
    morindale_host::SetUpdateServerPort(server.port());
    CheckForUpdate(true);
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_LT(TimedStop(), kStopBoundMs);
    EXPECT_FALSE(gl_UpdateCheckActive.load());
    std::this_thread::sleep_for(milliseconds(2200));
    EXPECT_EQ(Attempts(), 0u);
    EXPECT_EQ(Chat(), std::vector<std::string>{});
}

TEST_F(UpdateCheckTest, ConcurrentStopDuringTheRetryPause) {
    morindale_host::SetUpdateServerPort(morindale_test::UnusedLoopbackPort());
    CheckForUpdate(false);
    ASSERT_TRUE(WaitUntil([] { return Attempts() >= 1; }, milliseconds(5000)));
    EXPECT_LT(TimedStop(), kStopBoundMs);
    EXPECT_EQ(Attempts(), 1u) << "the second attempt never came";
    EXPECT_EQ(Chat(), std::vector<std::string>{}) << "nothing printed once stopping began";
}

TEST_F(UpdateCheckTest, ConcurrentStopDuringAHangingConnect) {
    FullBacklogListener listener;
    morindale_host::SetUpdateServerPort(listener.port());
    CheckForUpdate(false);
    ASSERT_TRUE(WaitUntil([] { return Attempts() >= 1; }, milliseconds(5000)));
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_LT(TimedStop(), kStopBoundMs);
    EXPECT_EQ(Attempts(), 1u);
    EXPECT_EQ(Chat(), std::vector<std::string>{});
}

TEST_F(UpdateCheckTest, ConcurrentStopDuringASilentRead) {
    LoopbackServer server(LoopbackServer::Hang());
    morindale_host::SetUpdateServerPort(server.port());
    CheckForUpdate(false);
    ASSERT_TRUE(server.WaitForConnections(1, milliseconds(5000)));
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_LT(TimedStop(), kStopBoundMs);
    EXPECT_EQ(server.connections(), 1u);
    EXPECT_EQ(Chat(), std::vector<std::string>{});
}

TEST_F(UpdateCheckTest, ConcurrentStopDuringATricklingRead) {
    LoopbackServer server(LoopbackServer::Trickle(HttpReply("MorindaleVersion:1.49"), milliseconds(1000)));
    morindale_host::SetUpdateServerPort(server.port());
    CheckForUpdate(false);
    ASSERT_TRUE(server.WaitForConnections(1, milliseconds(5000)));
    std::this_thread::sleep_for(milliseconds(1500));
    EXPECT_LT(TimedStop(), kStopBoundMs);
    EXPECT_EQ(Chat(), std::vector<std::string>{});
}

TEST_F(UpdateCheckTest, ConcurrentChecksRunAgainAfterAStop) {
    LoopbackServer server(LoopbackServer::Reply(HttpReply("MorindaleVersion:1.49")));
    morindale_host::SetUpdateServerPort(server.port());
    CheckForUpdate(true);
    StopUpdateChecks();
    // Until checks are enabled again (the next init), requests start nothing.
    CheckForUpdate(false);
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_EQ(server.connections(), 0u);
    EXPECT_EQ(CheckAgainst(server, false), std::vector<std::string>{NewVersion("1.49")});
}

TEST_F(UpdateCheckTest, ConcurrentRequestsFromManyThreadsRunOneCheck) {
    LoopbackServer server([](ServerConnection& connection) {
        connection.ReadRequest();
        connection.Wait(milliseconds(1000));
        connection.Send(HttpReply("MorindaleVersion:1.50"));
    });
    morindale_host::SetUpdateServerPort(server.port());
    std::atomic<bool> go{false};
    std::vector<std::thread> requesters;
    for (int i = 0; i < 8; ++i) {
        requesters.emplace_back([&] {
            while (!go.load()) std::this_thread::yield();
            CheckForUpdate(false);
        });
    }
    go = true;
    for (std::thread& requester : requesters) requester.join();
    ASSERT_TRUE(WaitForChat(1, milliseconds(10000)));
    ASSERT_TRUE(WaitUntil([] { return !gl_UpdateCheckActive.load(); }, milliseconds(10000)));
    StopUpdateChecks();
    EXPECT_EQ(Chat(), std::vector<std::string>{kLatest});
    EXPECT_EQ(server.connections(), 1u);
}

// --- A real web server -------------------------------------------------------

TEST_F(UpdateCheckTest, RealNginxServesTheCurrentVersion) {
    const std::map<std::string, std::string> files = {{"teamspeak/mversion.txt", "MorindaleVersion:1.50"}};
    morindale_test::NginxServer nginx(files);
    ASSERT_TRUE(nginx.running()) << nginx.error();
    morindale_host::SetUpdateServerPort(nginx.port());
    CheckForUpdate(false);
    ASSERT_TRUE(WaitForChat(1, milliseconds(10000))) << nginx.errorLog();
    StopUpdateChecks();
    EXPECT_EQ(Chat(), std::vector<std::string>{kLatest});
    EXPECT_NE(nginx.accessLog().find("\"GET http://" + Authority() + "/teamspeak/mversion.txt HTTP/1.0\" 200 21 "),
              std::string::npos)
        << nginx.accessLog();
}

}  // namespace
