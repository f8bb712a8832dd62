// The plug-in on Windows, run under Wine: what the Windows platform files do
// that the programs shared with Linux do not reach. scripts/run-wine-tests.sh
// gives this program a private profile folder with a non-ASCII name, Wine
// without an audio driver, a plug-in whose update host is 127.0.0.1 on
// MORINDALE_UPDATE_PORT, and the Linux plug-in's renderings of one voice
// (MORINDALE_LINUX_RENDERINGS).
#include <winsock2.h>
#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bundled_voice.h"
#include "client_emulator.h"
#include "settings_support.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using morindale_host::ClientEmulator;
using morindale_test::ReadFile;
using morindale_test::SettingsText;
using morindale_test::WriteFile;
using Samples = std::vector<int16_t>;
using namespace std::chrono_literals;

constexpr int kBlock = 960;

bool Contains(const std::vector<std::string>& lines, const std::string& part) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

bool WaitForChat(const ClientEmulator& client, const std::string& part, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!Contains(client.chatMessages(), part)) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// Names in the profile folder that a save may have left behind.
std::vector<std::string> LeftoverTemporaries(const std::string& home) {
    std::vector<std::string> found;
    for (const std::string& name : morindale_test::DirectoryEntries(home))
        if (name.find("MorindaleForTeamspeak.ini.") == 0) found.push_back(name);
    return found;
}

// --- Settings file in the profile folder --------------------------------------

TEST(WindowsSettings, FileInTheNonAsciiProfileFolderIsReplacedWholeAndReadBack) {
    ClientEmulator client;
    client.start();
    ASSERT_TRUE(std::any_of(client.home().begin(), client.home().end(), [](char c) { return (c & 0x80) != 0; }))
        << "the Wine stage gives the profile folder a non-ASCII name: " << client.home();
    client.hotkey("effect_pmale");
    EXPECT_EQ(ReadFile(client.settingsFile()), SettingsText(1, 12, 1)) << client.settingsFile();
    client.hotkey("effect_robovoice");
    EXPECT_EQ(ReadFile(client.settingsFile()), SettingsText(1, 16, 1));
    EXPECT_EQ(LeftoverTemporaries(client.home()), std::vector<std::string>{});

    // Edited outside the client, with Windows line ends: read back at the
    // next server-tab change, then written out again with the next change.
    WriteFile(client.settingsFile(), "ENABLED=0\r\nEFFECT=8\r\nHEAR_VOICE=1\r\n");
    client.clearCalls();
    client.serverTabChanged(1);
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{morindale_test::kDisabledLine});
    client.hotkey("effect_hearvoice");
    EXPECT_EQ(ReadFile(client.settingsFile()), SettingsText(0, 8, 0));
}

TEST(WindowsSettings, ReadOnlyFileStaysAsItIs) {
    ClientEmulator client;
    client.start();
    const std::string before = SettingsText(1, 13, 1);
    WriteFile(client.settingsFile(), before);
    const std::wstring wide = fs::u8path(client.settingsFile()).wstring();
    ASSERT_TRUE(SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_READONLY));
    client.hotkey("effect_pbaby");
    EXPECT_EQ(ReadFile(client.settingsFile()), before);
    EXPECT_EQ(LeftoverTemporaries(client.home()), std::vector<std::string>{});
    SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(WindowsSettings, AStrayTemporaryGoesOnlyOnceItsProcessIsGoneAndItIsAMinuteOld) {
    ClientEmulator client;
    client.start();
    // Process 999996 does not run here; younger files may be another
    // machine's save in progress.
    const std::string old = "MorindaleForTeamspeak.ini.999996.1.tmp";
    const std::string young = "MorindaleForTeamspeak.ini.999996.2.tmp";
    for (const std::string& name : {old, young}) {
        WriteFile(client.home() + "/" + name, "ENABLED=0\n");
        const std::wstring wide = fs::u8path(client.home() + "/" + name).wstring();
        const HANDLE file = CreateFileW(wide.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        ULARGE_INTEGER at;
        at.LowPart = now.dwLowDateTime;
        at.HighPart = now.dwHighDateTime;
        at.QuadPart -= (name == old ? 61ULL : 50ULL) * 10000000ULL;
        FILETIME written;
        written.dwLowDateTime = at.LowPart;
        written.dwHighDateTime = at.HighPart;
        EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &written));
        CloseHandle(file);
    }
    client.hotkey("effect_pmale");
    EXPECT_EQ(ReadFile(client.settingsFile()), SettingsText(1, 12, 1));
    EXPECT_EQ(LeftoverTemporaries(client.home()), std::vector<std::string>{young});
}

// --- Captured voice -----------------------------------------------------------

// The input padded to whole client blocks, each handed to the hook as the
// client would: the renderer's way, so that both see the same blocks.
Samples Render(ClientEmulator& client, const Samples& input) {
    Samples sent(((input.size() + kBlock - 1) / kBlock) * kBlock, 0);
    std::copy(input.begin(), input.end(), sent.begin());
    for (std::size_t at = 0; at < sent.size(); at += kBlock) client.voiceBlock(sent.data() + at, kBlock);
    return sent;
}

// Robotic Voice as it is defined: blocks whose mean positive sample exceeds
// 200 are multiplied, truncated, by a one-period table of 1920 sines (float
// angle and step, sin in double), its index carried from block to block.
Samples RoboticExpected(const Samples& input) {
    std::vector<float> table(1920);
    float theta = 0.0f;
    for (float& entry : table) {
        entry = static_cast<float>(std::sin(static_cast<double>(theta)));
        theta += 0.0032724924f;
    }
    Samples out = input;
    int index = 0;
    for (std::size_t at = 0; at < out.size(); at += kBlock) {
        long long sum = 0, positives = 0;
        for (int i = 0; i < kBlock; ++i)
            if (out[at + i] > 0) sum += out[at + i], ++positives;
        if (positives == 0 || sum / positives <= 200) continue;
        for (int i = 0; i < kBlock; ++i) {
            index = (index + 1) % 1920;
            const int product = static_cast<int>(static_cast<float>(out[at + i]) * table[index]);
            out[at + i] = static_cast<int16_t>(product == 32768 ? -32768 : product);
        }
    }
    return out;
}

TEST(WindowsVoice, CloneAndRoboticOnSpeechAreSampleExact) {
    std::string error;
    const Samples voice = morindale_test::BundledVoice(3.0, &error);
    ASSERT_FALSE(voice.empty()) << error;
    ClientEmulator client;
    client.start();
    client.hotkey("effect_clone");
    const Samples clone = Render(client, voice);
    for (std::size_t t = 0; t < clone.size(); ++t) {
        const int expected = static_cast<int>(std::floor(voice[t] / 2.0)) +
                             (t >= 9000 ? static_cast<int>(std::floor(voice[t - 9000] / 2.0)) : 0);
        ASSERT_EQ(clone[t], expected) << "sample " << t;
    }
    client.hotkey("effect_robovoice");
    const Samples robotic = Render(client, voice);
    ASSERT_NE(robotic, voice);
    EXPECT_EQ(robotic, RoboticExpected(voice));
}

// The Linux plug-in's renderer wrote <effect>.wav for input.wav; the Windows
// plug-in, 64 or 32 bit, must send the very same samples for every voice:
// SoundTouch is the same source with the same settings, float samples and
// SSE arithmetic on all three, and the natural voices' shifter uses no maths
// of the C library.
TEST(WindowsVoice, EffectsSendWhatTheLinuxPluginSends) {
    const char* folder = std::getenv("MORINDALE_LINUX_RENDERINGS");
    ASSERT_NE(folder, nullptr) << "run through scripts/run-wine-tests.sh, which renders the voice on Linux";
    Samples input;
    uint32_t rate = 0;
    ASSERT_TRUE(morindale_test::ReadMonoWave(std::string(folder) + "/input.wav", &input, &rate));
    ASSERT_EQ(rate, 48000u);
    const struct {
        const char* name;
        const char* hotkey;
    } effects[] = {{"helium", "effect_phelium"},         {"male", "effect_pmale"},
                   {"female", "effect_pfmale"},          {"baby", "effect_pbaby"},
                   {"mutation-slow", "effect_mut_slow"}, {"mutation", "effect_mutation"},
                   {"mutation-fast", "effect_mut_fast"}, {"atari", "effect_atari"},
                   {"clone", "effect_clone"},            {"robotic", "effect_robovoice"},
                   {"myvoice", "effect_myvoice"},        {"female-natural", "effect_nfemale"},
                   {"male-natural", "effect_nmale"}};
    for (const auto& effect : effects) {
        SCOPED_TRACE(effect.name);
        Samples linux;
        ASSERT_TRUE(morindale_test::ReadMonoWave(std::string(folder) + "/" + effect.name + ".wav", &linux, &rate));
        ClientEmulator client;
        client.start();
        client.hotkey(effect.hotkey);
        const Samples windows = Render(client, input);
        ASSERT_EQ(windows.size(), linux.size());
        std::size_t differing = 0;
        int largest = 0;
        for (std::size_t t = 0; t < windows.size(); ++t) {
            const int difference = std::abs(windows[t] - linux[t]);
            differing += difference != 0;
            largest = std::max(largest, difference);
        }
        std::printf("%-13s %zu samples, %zu differ, largest difference %d\n", effect.name, windows.size(), differing,
                    largest);
        EXPECT_EQ(differing, 0u) << "largest difference " << largest;
    }
}

// --- Update check over Winsock -------------------------------------------------

// The update server on 127.0.0.1 at the port this plug-in was built to ask.
// One connection at a time: the handler reads nothing itself; the request
// has been taken in before it runs.
class UpdateServer {
public:
    using Handler = std::function<void(SOCKET, const std::atomic<bool>& stopping)>;

    explicit UpdateServer(Handler handler) : handler_(std::move(handler)) {
        WSADATA data;
        started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        const BOOL on = TRUE;
        setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(MORINDALE_UPDATE_PORT);
        listening_ = listener_ != INVALID_SOCKET &&
                     bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                     listen(listener_, 4) == 0;
        if (listening_) thread_ = std::thread([this] { Serve(); });
    }
    ~UpdateServer() {
        stopping_ = true;
        if (thread_.joinable()) thread_.join();
        if (listener_ != INVALID_SOCKET) closesocket(listener_);
        if (started_) WSACleanup();
    }
    bool listening() const { return listening_; }
    std::size_t connections() const { return connections_; }
    std::string firstRequest() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return firstRequest_;
    }
    bool WaitForConnections(std::size_t count, std::chrono::milliseconds timeout) const {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (connections_ < count)
            if (std::chrono::steady_clock::now() >= deadline) return false;
            else std::this_thread::sleep_for(5ms);
        return true;
    }

    static Handler Reply(std::string bytes) {
        return [bytes](SOCKET s, const std::atomic<bool>&) { send(s, bytes.data(), static_cast<int>(bytes.size()), 0); };
    }
    static Handler Hang() {
        return [](SOCKET, const std::atomic<bool>& stopping) {
            while (!stopping) std::this_thread::sleep_for(5ms);
        };
    }

private:
    bool Readable(SOCKET s) const {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        timeval wait = {0, 20000};
        return select(0, &set, nullptr, nullptr, &wait) == 1;
    }
    void Serve() {
        while (!stopping_) {
            if (!Readable(listener_)) continue;
            const SOCKET s = accept(listener_, nullptr, nullptr);
            if (s == INVALID_SOCKET) continue;
            ++connections_;
            std::string request;
            const auto deadline = std::chrono::steady_clock::now() + 2s;
            while (request.find("\r\n\r\n") == std::string::npos && !stopping_ &&
                   std::chrono::steady_clock::now() < deadline) {
                if (!Readable(s)) continue;
                char buffer[512];
                const int got = recv(s, buffer, sizeof buffer, 0);
                if (got <= 0) break;
                request.append(buffer, static_cast<std::size_t>(got));
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (connections_ == 1) firstRequest_ = request;
            }
            handler_(s, stopping_);
            shutdown(s, SD_SEND);
            closesocket(s);
        }
    }

    Handler handler_;
    bool started_ = false;
    bool listening_ = false;
    SOCKET listener_ = INVALID_SOCKET;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<std::size_t> connections_{0};
    mutable std::mutex mutex_;
    std::string firstRequest_;
};

const char* const kCannotCheck = "Morindale: Cannot check for updates!";

TEST(WindowsUpdateCheck, NewVersionFromTheLoopbackServer) {
    UpdateServer server(UpdateServer::Reply("HTTP/1.0 200 OK\r\nContent-Length: 21\r\n\r\nMorindaleVersion:1.49"));
    ASSERT_TRUE(server.listening());
    ClientEmulator client;
    client.start();
    client.menuItem(20);
    // The start-up check waits 2 s; the menu's request makes it report.
    EXPECT_TRUE(WaitForChat(client, "A new Morindale version ( 1.49 ) is available", 10s)) << client.chatMessages().size();
    EXPECT_EQ(server.firstRequest().rfind("GET http://127.0.0.1:" + std::to_string(MORINDALE_UPDATE_PORT) +
                                              "/teamspeak/mversion.txt HTTP/1.0\r\n",
                                          0),
              0u)
        << server.firstRequest();
}

TEST(WindowsUpdateCheck, RefusedConnectionIsTriedTwiceThenReported) {
    ClientEmulator client;
    client.start();
    client.menuItem(20);
    EXPECT_TRUE(WaitForChat(client, kCannotCheck, 10s));
    std::this_thread::sleep_for(300ms);
    const std::vector<std::string> chat = client.chatMessages();
    EXPECT_EQ(std::count(chat.begin(), chat.end(), kCannotCheck), 1);
}

TEST(WindowsUpdateCheck, ShutdownEndsACheckTheServerNeverAnswers) {
    UpdateServer server(UpdateServer::Hang());
    ASSERT_TRUE(server.listening());
    ClientEmulator client;
    client.start();
    client.menuItem(20);
    ASSERT_TRUE(server.WaitForConnections(1, 10s));
    std::this_thread::sleep_for(100ms);  // the check now waits for its reply
    const auto before = std::chrono::steady_clock::now();
    client.shutdown();
    const auto took = std::chrono::steady_clock::now() - before;
    // At once, not after the 5 s read limit; the margin is for a busy machine.
    EXPECT_LT(took, 1500ms) << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
    EXPECT_FALSE(Contains(client.chatMessages(), "Morindale:"));
    EXPECT_EQ(server.connections(), 1u);
}

// --- Monitor output without a device ------------------------------------------------

TEST(WindowsMonitor, NoOutputDeviceLogsOneWarningAndDropsTheMonitoredAudio) {
    ASSERT_EQ(waveOutGetNumDevs(), 0u) << "the Wine stage runs Wine without an audio driver";
    ClientEmulator client;
    client.start();
    std::vector<std::string> warnings;
    for (const auto& call : client.calls("logMessage"))
        if (call.args.at(0).find("Hear Voice") != std::string::npos) warnings.push_back(call.args.at(0) + "/" + call.args.at(1));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].rfind("Hear Voice: no sound output (", 0), 0u) << warnings[0];
    EXPECT_NE(warnings[0].find("monitored audio is dropped/" + std::to_string(LogLevel_WARNING)), std::string::npos)
        << warnings[0];
    // Hear Voice is on: two seconds of talk, more than the monitor FIFO holds.
    std::string error;
    const Samples voice = morindale_test::BundledVoice(2.0, &error);
    ASSERT_FALSE(voice.empty()) << error;
    client.hotkey("effect_clone");
    int flags = 0;
    for (std::size_t at = 0; at + kBlock <= voice.size(); at += kBlock) {
        Samples block(voice.begin() + at, voice.begin() + at + kBlock);
        flags |= client.voiceBlock(block.data(), kBlock);
    }
    EXPECT_EQ(flags & EDIT_FLAG_EDITED, EDIT_FLAG_EDITED);
    EXPECT_FALSE(Contains(client.chatMessages(), "Audio overflow!"));
}

// Run by the Wine stage a second time, with Wine's PulseAudio driver and a
// sound server of the stage's own whose only sink is a null sink; the stage
// records that sink and checks that the voice arrived there.
TEST(WindowsMonitorPlayback, WaveOutPlaysTheMonitorInRealTime) {
    ASSERT_GT(waveOutGetNumDevs(), 0u) << "the Wine stage runs this with an audio driver and a null sink";
    ClientEmulator client;
    client.start();
    for (const auto& call : client.calls("logMessage")) EXPECT_EQ(call.args.at(0).find("Hear Voice"), std::string::npos);
    client.hotkey("effect_myvoice");
    std::string error;
    const Samples voice = morindale_test::BundledVoice(3.0, &error);
    ASSERT_FALSE(voice.empty()) << error;
    // Three seconds at the client's pace: longer than the 2 s after which an
    // output that stopped taking audio counts as stalled.
    auto next = std::chrono::steady_clock::now();
    for (std::size_t at = 0; at + kBlock <= voice.size(); at += kBlock) {
        Samples block(voice.begin() + at, voice.begin() + at + kBlock);
        client.voiceBlock(block.data(), kBlock);
        next += 20ms;
        std::this_thread::sleep_until(next);
    }
    EXPECT_FALSE(Contains(client.chatMessages(), "Audio overflow!"));
    for (const auto& call : client.calls("logMessage")) EXPECT_EQ(call.args.at(0).find("Hear Voice"), std::string::npos);
    const auto before = std::chrono::steady_clock::now();
    client.shutdown();
    // The queued buffers may play out, for half a second at most.
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1500ms);
}

}  // namespace
