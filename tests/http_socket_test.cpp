// CHTTPSocket and its waits against scripted servers on 127.0.0.1: reply
// sizes, closes and resets, lookups, refused and hanging connects, bounded
// and stopped reads, and the exact bytes that go out.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "fake_network.h"
#include "loopback_server.h"
#include "net/delay.h"
#include "net/http_socket.h"
#include "net/stop_signal.h"

using morindale_test::FullBacklogListener;
using morindale_test::LoopbackServer;
using morindale_test::ServerConnection;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

namespace {

constexpr unsigned char kGuard = 0x7F;
constexpr int kGuardBytes = 16;

long ElapsedMs(Clock::time_point since) {
    return static_cast<long>(std::chrono::duration_cast<milliseconds>(Clock::now() - since).count());
}

// A reply buffer of `size` bytes followed by guard bytes that must stay untouched.
struct GuardedBuffer {
    explicit GuardedBuffer(int size) : size(size), bytes(static_cast<std::size_t>(size + kGuardBytes), kGuard) {}
    char* data() { return bytes.data(); }
    bool GuardIntact() const {
        for (int i = size; i < size + kGuardBytes; ++i)
            if (static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]) != kGuard) return false;
        return true;
    }
    int size;
    std::vector<char> bytes;
};

std::string Pattern(std::size_t length) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i) text.push_back(static_cast<char>('a' + i % 26));
    return text;
}

void Connect(CHTTPSocket& socket, const LoopbackServer& server) {
    ASSERT_EQ(socket.initNetCom(server.port(), "127.0.0.1"), 1);
}

const char kRequest[] = "GET /v HTTP/1.0\r\n\r\n";
constexpr int kRequestLength = sizeof kRequest - 1;

TEST(HttpSocket, ConstructedWithoutAddressOrSocket) {
    CHTTPSocket socket;
    EXPECT_EQ(socket.socketFd, 0);
    EXPECT_EQ(socket.readTimeout, 100);
    EXPECT_FALSE(socket.readFlag);
    EXPECT_FALSE(socket.busy.load());
    EXPECT_EQ(socket.connectTimeout, 3000);
    char reply[16] = "untouched";
    EXPECT_EQ(socket.HTTPCommand(kRequest, kRequestLength, reply, sizeof reply), -1);
    EXPECT_STREQ(reply, "untouched");
    EXPECT_EQ(socket.socketFd, 0);
}

TEST(HttpSocket, Port80IsStoredInNetworkOrder) {
    CHTTPSocket socket;
    ASSERT_EQ(socket.initNetCom(80, "localhost"), 1);
    EXPECT_EQ(socket.port, 80);
    EXPECT_STREQ(socket.hostName, "localhost");
    // The address is looked up by the first command.
    socket.connectTimeout = 1000;
    socket.SetReadTimeout(1000, false);
    char reply[16];
    socket.HTTPCommand(kRequest, kRequestLength, reply, sizeof reply);
    ASSERT_EQ(sizeof socket.serverAddr, 16u);
    unsigned char bytes[16];
    std::memcpy(bytes, &socket.serverAddr, sizeof bytes);
    EXPECT_EQ(bytes[2], 0x00);
    EXPECT_EQ(bytes[3], 0x50);
    EXPECT_EQ(bytes[4], 127);
    EXPECT_EQ(bytes[5], 0);
    EXPECT_EQ(bytes[6], 0);
    EXPECT_EQ(bytes[7], 1);
    for (int i = 8; i < 16; ++i) EXPECT_EQ(bytes[i], 0) << "byte " << i;
    EXPECT_EQ(socket.serverAddr.sin_family, AF_INET);
}

TEST(HttpSocket, LongHostNameIsCutTo99Characters) {
    CHTTPSocket socket;
    const std::string name(150, 'h');
    EXPECT_EQ(socket.initNetCom(80, name.c_str()), 1);
    EXPECT_EQ(std::string(socket.hostName), std::string(99, 'h'));
}

TEST(HttpSocket, FullReplyWithConnectionHeldOpenReturnsAtOnce) {
    const std::string data = Pattern(1024);
    LoopbackServer server(LoopbackServer::SendAndHold(data));
    CHTTPSocket socket;
    Connect(socket, server);
    socket.SetReadTimeout(60000, false);
    GuardedBuffer reply(1024);
    const auto start = Clock::now();
    const int received = socket.HTTPCommand(kRequest, kRequestLength, reply.data(), reply.size);
    // Waiting for the close would take the 60 s read limit.
    EXPECT_LT(ElapsedMs(start), 30000);
    ASSERT_EQ(received, 1023) << "one byte of the buffer stays for the zero";
    EXPECT_EQ(std::string(reply.data(), 1023), data.substr(0, 1023));
    EXPECT_EQ(reply.bytes[1023], '\0');
    EXPECT_TRUE(reply.GuardIntact());
    EXPECT_EQ(socket.socketFd, 0);
}

TEST(HttpSocket, ReplyOfSizeMinusOneFillsTheBufferWithoutWaiting) {
    const std::string data = Pattern(99);
    LoopbackServer server(LoopbackServer::SendAndHold(data));
    CHTTPSocket socket;
    Connect(socket, server);
    socket.SetReadTimeout(60000, false);
    GuardedBuffer reply(100);
    const auto start = Clock::now();
    EXPECT_EQ(socket.HTTPCommand(kRequest, kRequestLength, reply.data(), reply.size), 99);
    EXPECT_LT(ElapsedMs(start), 30000);
    EXPECT_EQ(std::string(reply.data()), data);
    EXPECT_TRUE(reply.GuardIntact());
}

TEST(HttpSocket, LongerReplyIsCutAtTheBuffer) {
    LoopbackServer server(LoopbackServer::Reply(Pattern(5000)));
    CHTTPSocket socket;
    Connect(socket, server);
    socket.SetReadTimeout(5000, false);
    GuardedBuffer reply(64);
    EXPECT_EQ(socket.HTTPCommand(kRequest, kRequestLength, reply.data(), reply.size), 63);
    EXPECT_EQ(std::string(reply.data()), Pattern(63));
    EXPECT_TRUE(reply.GuardIntact());
}

TEST(HttpSocket, ServerThatClosesAtOnceGivesZero) {
    LoopbackServer server(LoopbackServer::CloseAtOnce());
    CHTTPSocket socket;
    Connect(socket, server);
    socket.SetReadTimeout(5000, false);
    GuardedBuffer reply(32);
    std::memset(reply.data(), 'X', 32);
    EXPECT_EQ(socket.HTTPCommand(kRequest, kRequestLength, reply.data(), reply.size), 0);
    EXPECT_EQ(reply.bytes[0], '\0');
    EXPECT_EQ(reply.bytes[1], 'X');
    EXPECT_EQ(socket.socketFd, 0);
}

TEST(HttpSocket, TenBytesThenResetGivesTheTenBytes) {
    LoopbackServer server(LoopbackServer::SendThenReset("0123456789"));
    CHTTPSocket socket;
    Connect(socket, server);
    socket.SetReadTimeout(5000, false);
    GuardedBuffer reply(1024);
    EXPECT_EQ(socket.HTTPCommand(kRequest, kRequestLength, reply.data(), reply.size), 10);
    EXPECT_EQ(std::string(reply.data(), 11), std::string("0123456789", 11));
    EXPECT_EQ(socket.socketFd, 0);
}

TEST(HttpSocket, ResetBeforeAnyByteGivesMinusOne) {
    LoopbackServer server([](ServerConnection& connection) {
        connection.ReadRequest();
        connection.Reset();
    });
    CHTTPSocket socket;
    Connect(socket, server);
    socket.SetReadTimeout(5000, false);
    char reply[32] = "untouched";
    EXPECT_EQ(socket.HTTPCommand(kRequest, kRequestLength, reply, sizeof reply), -1);
    EXPECT_STREQ(reply, "untouched") << "a failed first read leaves the buffer alone";
}

TEST(HttpSocket, TwoCommandsUseTwoConnections) {
    const std::string answer = morindale_test::HttpReply("one");
    LoopbackServer server(LoopbackServer::Reply(answer));
    CHTTPSocket socket;
    Connect(socket, server);
    socket.SetReadTimeout(5000, false);
    for (int round = 0; round < 2; ++round) {
        char reply[256];
        EXPECT_EQ(socket.HTTPCommand(kRequest, kRequestLength, reply, sizeof reply),
                  static_cast<int>(answer.size()));
        EXPECT_EQ(std::string(reply), answer);
        EXPECT_EQ(socket.socketFd, 0) << "no socket stays open after a command";
    }
    ASSERT_TRUE(server.WaitForHandlersDone(2, milliseconds(5000)));
    EXPECT_EQ(server.connections(), 2u);
    EXPECT_EQ(server.requests(), std::vector<std::string>(2, kRequest));
}

TEST(HttpSocket, SendsExactlyTheGivenBytes) {
    LoopbackServer server(LoopbackServer::Reply("ok"));
    CHTTPSocket socket;
    Connect(socket, server);
    socket.SetReadTimeout(5000, false);
    // A zero byte inside goes out; what lies past the length does not.
    const char request[] = "GET /\0x HTTP/1.0\r\n\r\nNOT SENT";
    const int length = static_cast<int>(sizeof "GET /\0x HTTP/1.0\r\n\r\n" - 1);
    char reply[16];
    EXPECT_EQ(socket.HTTPCommand(request, length, reply, sizeof reply), 2);
    ASSERT_TRUE(server.WaitForHandlersDone(1, milliseconds(5000)));
    EXPECT_EQ(server.requests().at(0), std::string(request, static_cast<std::size_t>(length)));
}

TEST(HttpSocket, FailedLookupPrintsOnceAndCommandsFail) {
    CHTTPSocket socket;
    const std::size_t lookupsBefore = morindale_host::HostLookups();
    testing::internal::CaptureStderr();
    const int stored = socket.initNetCom(80, "no-such-host.invalid");
    const std::string printedByInit = testing::internal::GetCapturedStderr();
    testing::internal::CaptureStderr();
    char reply[16];
    const int first = socket.HTTPCommand(kRequest, kRequestLength, reply, sizeof reply);
    const int second = socket.HTTPCommand(kRequest, kRequestLength, reply, sizeof reply);
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(stored, 1) << "the name is only looked up by a command";
    EXPECT_EQ(printedByInit, "");
    EXPECT_EQ(first, -1);
    EXPECT_EQ(second, -1);
    EXPECT_EQ(printed, "ERROR, no such host\n");
    EXPECT_EQ(morindale_host::HostLookups() - lookupsBefore, 1u) << "an unknown name is not asked for again";
    EXPECT_EQ(socket.socketFd, 0);
}

TEST(HttpSocket, NewNameAfterAFailedLookupIsLookedUpAgain) {
    LoopbackServer server(LoopbackServer::Reply("found"));
    CHTTPSocket socket;
    testing::internal::CaptureStderr();
    EXPECT_EQ(socket.initNetCom(server.port(), "no-such-host.invalid"), 1);
    char reply[16];
    EXPECT_EQ(socket.HTTPCommand(kRequest, kRequestLength, reply, sizeof reply), -1);
    testing::internal::GetCapturedStderr();
    Connect(socket, server);
    socket.SetReadTimeout(5000, false);
    EXPECT_EQ(socket.HTTPCommand(kRequest, kRequestLength, reply, sizeof reply), 5);
    EXPECT_STREQ(reply, "found");
}

TEST(HttpSocket, LookupThatNeverEndsCountsInsideTheConnectTimeout) {
    morindale_host::SetResolverSilent(true);
    morindale_host::ClearUpdateConnectAttempts();
    CHTTPSocket socket;
    auto start = Clock::now();
    socket.initNetCom(MORINDALE_UPDATE_PORT, MORINDALE_UPDATE_HOST);
    const long initTook = ElapsedMs(start);
    socket.connectTimeout = 400;
    testing::internal::CaptureStderr();
    char reply[16] = "untouched";
    start = Clock::now();
    const int result = socket.HTTPCommand(kRequest, kRequestLength, reply, sizeof reply);
    const long elapsed = ElapsedMs(start);
    const std::string printed = testing::internal::GetCapturedStderr();
    // The resolver answers long after the command gave up: into the lookup's
    // own memory, which must still be there (a sanitizer build sees it).
    morindale_host::AnswerPendingLookups();
    morindale_host::SetResolverSilent(false);
    EXPECT_LT(initTook, 100) << "initNetCom does not wait for the resolver";
    EXPECT_EQ(result, -1);
    EXPECT_GE(elapsed, 400);
    EXPECT_LT(elapsed, 2000);
    EXPECT_EQ(printed, "") << "a name that may yet resolve is no unknown host";
    EXPECT_STREQ(reply, "untouched");
    EXPECT_EQ(morindale_host::UpdateConnectAttempts().size(), 0u);
    EXPECT_EQ(socket.socketFd, 0);
}

TEST(HttpSocket, RefusedConnectionThenAFreshAttempt) {
    // Both commands go to the update port, which the test moves from a
    // closed port to a listening server in between.
    LoopbackServer server(LoopbackServer::Reply("second"));
    morindale_host::ClearUpdateConnectAttempts();
    morindale_host::SetUpdateServerPort(morindale_test::UnusedLoopbackPort());
    CHTTPSocket socket;
    ASSERT_EQ(socket.initNetCom(MORINDALE_UPDATE_PORT, "127.0.0.1"), 1);
    socket.SetReadTimeout(5000, false);
    char reply[16] = "";
    EXPECT_EQ(socket.HTTPCommand(kRequest, kRequestLength, reply, sizeof reply), -1);
    EXPECT_EQ(socket.socketFd, 0);
    morindale_host::SetUpdateServerPort(server.port());
    EXPECT_EQ(socket.HTTPCommand(kRequest, kRequestLength, reply, sizeof reply), 6);
    EXPECT_STREQ(reply, "second");
    morindale_host::SetUpdateServerPort(0);
    EXPECT_EQ(morindale_host::UpdateConnectAttempts().size(), 2u);
    EXPECT_EQ(server.connections(), 1u);
}

TEST(HttpSocket, SilentServerEndsAtTheReadTimeout) {
    LoopbackServer server(LoopbackServer::Hang());
    CHTTPSocket socket;
    Connect(socket, server);
    socket.SetReadTimeout(300, false);
    char reply[64] = "untouched";
    const auto start = Clock::now();
    EXPECT_EQ(socket.HTTPCommand(kRequest, kRequestLength, reply, sizeof reply), -1);
    const long elapsed = ElapsedMs(start);
    // Not before the limit; well before anything else could end it (the
    // server holds the connection for 60 s).
    EXPECT_GE(elapsed, 300);
    EXPECT_LT(elapsed, 5000);
    EXPECT_STREQ(reply, "untouched");
    EXPECT_EQ(socket.socketFd, 0);
}

TEST(HttpSocket, TricklingServerIsCutAtTheReadTimeout) {
    LoopbackServer server(LoopbackServer::Trickle("abcdefghijklmnopqrstuvwxyz", milliseconds(100)));
    CHTTPSocket socket;
    Connect(socket, server);
    socket.SetReadTimeout(450, false);
    GuardedBuffer reply(64);
    const auto start = Clock::now();
    const int received = socket.HTTPCommand(kRequest, kRequestLength, reply.data(), reply.size);
    const long elapsed = ElapsedMs(start);
    // One byte every 100 ms: about five by the 450 ms limit, never all 26.
    EXPECT_GE(received, 1);
    EXPECT_LE(received, 7);
    ASSERT_GT(received, 0);
    EXPECT_EQ(std::string(reply.data()), std::string("abcdefghijklmnopqrstuvwxyz").substr(0, received));
    EXPECT_GE(elapsed, 450);
    EXPECT_LT(elapsed, 5000);
    EXPECT_EQ(socket.socketFd, 0);
}

TEST(HttpSocket, ZeroReadTimeoutWaitsForTheClose) {
    LoopbackServer server([](ServerConnection& connection) {
        connection.ReadRequest();
        connection.Wait(milliseconds(300));
        connection.Send("late");
    });
    CHTTPSocket socket;
    Connect(socket, server);
    socket.SetReadTimeout(0, false);
    char reply[16];
    EXPECT_EQ(socket.HTTPCommand(kRequest, kRequestLength, reply, sizeof reply), 4);
    EXPECT_STREQ(reply, "late");
}

TEST(HttpSocket, HangingConnectGivesUpAtTheConnectTimeout) {
    FullBacklogListener listener;
    CHTTPSocket socket;
    ASSERT_EQ(socket.initNetCom(listener.port(), "127.0.0.1"), 1);
    socket.connectTimeout = 400;
    char reply[16];
    const auto start = Clock::now();
    EXPECT_EQ(socket.HTTPCommand(kRequest, kRequestLength, reply, sizeof reply), -1);
    const long elapsed = ElapsedMs(start);
    EXPECT_GE(elapsed, 400);
    EXPECT_LT(elapsed, 5000);
    EXPECT_EQ(socket.socketFd, 0);
}

TEST(HttpSocket, StopSignalEndsAHangingReadAtOnce) {
    LoopbackServer server(LoopbackServer::Hang());
    StopSignal stop;
    ASSERT_TRUE(stop.Open());
    CHTTPSocket socket;
    Connect(socket, server);
    socket.SetReadTimeout(60000, false);
    socket.SetStopSignal(&stop);
    Clock::time_point raised;
    std::thread stopper([&] {
        server.WaitForConnections(1, milliseconds(10000));
        std::this_thread::sleep_for(milliseconds(100));
        raised = Clock::now();
        stop.Raise();
    });
    char reply[16];
    const int result = socket.HTTPCommand(kRequest, kRequestLength, reply, sizeof reply);
    const auto ended = Clock::now();
    stopper.join();
    EXPECT_EQ(result, -1);
    EXPECT_LT(std::chrono::duration_cast<milliseconds>(ended - raised).count(), 1000);
    EXPECT_EQ(socket.socketFd, 0);
}

TEST(HttpSocket, StopSignalEndsAHangingConnectAtOnce) {
    FullBacklogListener listener;
    StopSignal stop;
    ASSERT_TRUE(stop.Open());
    CHTTPSocket socket;
    ASSERT_EQ(socket.initNetCom(listener.port(), "127.0.0.1"), 1);
    socket.connectTimeout = 60000;
    socket.SetStopSignal(&stop);
    std::thread stopper([&] {
        std::this_thread::sleep_for(milliseconds(200));
        stop.Raise();
    });
    const auto start = Clock::now();
    char reply[16];
    EXPECT_EQ(socket.HTTPCommand(kRequest, kRequestLength, reply, sizeof reply), -1);
    const long elapsed = ElapsedMs(start);
    stopper.join();
    EXPECT_GE(elapsed, 200);
    EXPECT_LT(elapsed, 1500);
}

TEST(HttpSocket, RaisedStopSignalFailsEveryCommand) {
    LoopbackServer server(LoopbackServer::Reply("never read"));
    StopSignal stop;
    ASSERT_TRUE(stop.Open());
    stop.Raise();
    CHTTPSocket socket;
    Connect(socket, server);
    socket.SetStopSignal(&stop);
    char reply[16] = "untouched";
    EXPECT_EQ(socket.HTTPCommand(kRequest, kRequestLength, reply, sizeof reply), -1);
    EXPECT_STREQ(reply, "untouched");
}

TEST(HttpSocket, WriteOnAClosedConnectionFailsWithoutSigpipe) {
    LoopbackServer server(LoopbackServer::CloseAtOnce());
    signal(SIGPIPE, SIG_DFL);  // a SIGPIPE would end this test's process
    CHTTPSocket socket;
    Connect(socket, server);
    ASSERT_TRUE(socket._connect());
    ASSERT_GT(socket.socketFd, 0);
    ASSERT_EQ(shutdown(socket.socketFd, SHUT_WR), 0);
    EXPECT_FALSE(socket.sendData(kRequest, kRequestLength));
    EXPECT_EQ(socket.socketFd, 0);
}

TEST(HttpSocket, ReadWithoutSocketLeavesTheBufferAlone) {
    CHTTPSocket socket;
    char buffer[8] = "abc";
    EXPECT_EQ(socket.readData(buffer, sizeof buffer, false), 0);
    EXPECT_STREQ(buffer, "abc");
}

TEST(HttpSocketConcurrency, TwoThreadsShareOneObjectOneCommandAtATime) {
    const std::string answer = morindale_test::HttpReply("shared");
    LoopbackServer server(LoopbackServer::Reply(answer));
    CHTTPSocket socket;
    Connect(socket, server);
    socket.SetReadTimeout(5000, false);
    constexpr int kRounds = 10;
    int results[2][kRounds] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < kRounds; ++round) {
                char reply[256];
                results[t][round] = socket.HTTPCommand(kRequest, kRequestLength, reply, sizeof reply);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < 2; ++t)
        for (int round = 0; round < kRounds; ++round)
            EXPECT_EQ(results[t][round], static_cast<int>(answer.size())) << t << "/" << round;
    ASSERT_TRUE(server.WaitForHandlersDone(2 * kRounds, milliseconds(10000)));
    EXPECT_EQ(server.requests(), std::vector<std::string>(2 * kRounds, kRequest));
    EXPECT_EQ(socket.socketFd, 0);
    EXPECT_FALSE(socket.busy.load());
}

// The test server itself: a handler that sends to a client which neither
// reads nor closes fills both socket buffers; stopping must still end it.
TEST(LoopbackServer, StopEndsAHandlerBlockedInSend) {
    LoopbackServer server([](ServerConnection& connection) { connection.Send(std::string(64 << 20, 'x')); });
    const int client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(client, 0);
    struct sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(server.port());
    ASSERT_EQ(connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_TRUE(server.WaitForConnections(1, milliseconds(5000)));
    std::this_thread::sleep_for(milliseconds(300));  // the buffers fill up

    std::atomic<bool> stopped{false};
    const auto start = Clock::now();
    std::thread stopper([&] {
        server.Stop();
        stopped = true;
    });
    while (!stopped && ElapsedMs(start) < 3000) std::this_thread::sleep_for(milliseconds(5));
    const bool stoppedInTime = stopped;
    close(client);  // unblocks a handler that is still stuck, so the test ends either way
    stopper.join();
    EXPECT_TRUE(stoppedInTime) << "Stop waited for a client that never reads";
}

TEST(Delay, SleepsTheGivenMilliseconds) {
    const auto start = Clock::now();
    Delay(60);
    const long elapsed = ElapsedMs(start);
    EXPECT_GE(elapsed, 60);
    EXPECT_LT(elapsed, 2000);  // a loaded machine may wake it late, not this late
    const auto again = Clock::now();
    Delay(0);
    Delay(-5);
    EXPECT_LT(ElapsedMs(again), 50);
}

TEST(StopSignal, SleepsFullyUntilRaisedThenNotAtAll) {
    StopSignal stop;
    ASSERT_TRUE(stop.Open());
    auto start = Clock::now();
    EXPECT_TRUE(stop.Sleep(50));
    EXPECT_GE(ElapsedMs(start), 50);
    stop.Raise();
    start = Clock::now();
    EXPECT_FALSE(stop.Sleep(10000));
    EXPECT_LT(ElapsedMs(start), 1000);
    ASSERT_TRUE(stop.Open());  // a fresh signal for the next run
    EXPECT_FALSE(stop.Raised());
    EXPECT_TRUE(stop.Sleep(1));
}

TEST(StopSignal, RaisingWakesASleeperAtOnce) {
    StopSignal stop;
    ASSERT_TRUE(stop.Open());
    bool slept = true;
    const auto start = Clock::now();
    std::thread sleeper([&] { slept = stop.Sleep(60000); });
    std::this_thread::sleep_for(milliseconds(100));
    stop.Raise();
    sleeper.join();
    EXPECT_FALSE(slept);
    EXPECT_LT(ElapsedMs(start), 2000);
}

}  // namespace
