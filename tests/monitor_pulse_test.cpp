// The monitor playback end to end: the built plug-in, loaded by the client
// emulator, plays into a PulseAudio daemon that the test runs itself (a null
// sink, private socket and folders; see pulse_daemon.h), and the test records
// what the sink played. Also: no server, a refusing or silent server, a server
// that dies while playing, and unloading while audio flows.
#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "client_emulator.h"
#include "pulse_daemon.h"
#include "bundled_voice.h"
#include "test_support.h"

namespace {

using morindale_host::ClientEmulator;
using morindale_host::Options;
using morindale_test::BrokenSoundServer;
using morindale_test::PulseDaemon;
using morindale_test::SinkRecorder;
using Clock = std::chrono::steady_clock;

constexpr int kBlock = 960;  // 20 ms, as the client captures

struct Talk {
    std::vector<int16_t> sent;  // what the plug-in left in the client's buffers
    int editedBlocks = 0;
};

// Hands `voice` to the plug-in block by block at the pace of real speech,
// after a head start of five blocks (a cushion against scheduling delays, so
// that the output never runs dry mid-speech).
Talk TalkInRealTime(ClientEmulator& client, const std::vector<int16_t>& voice) {
    Talk talk;
    const Clock::time_point start = Clock::now();
    for (std::size_t at = 0, index = 0; at + kBlock <= voice.size(); at += kBlock, ++index) {
        if (index >= 5) std::this_thread::sleep_until(start + std::chrono::milliseconds(20 * (index - 5)));
        std::vector<int16_t> block(voice.begin() + static_cast<long>(at), voice.begin() + static_cast<long>(at + kBlock));
        if (client.voiceBlock(block.data(), kBlock) & 1) ++talk.editedBlocks;
        talk.sent.insert(talk.sent.end(), block.begin(), block.end());
    }
    return talk;
}

struct Match {
    double correlation = 0.0;
    std::size_t lag = 0;  // where `part` starts in the recording
};

double Energy(const std::vector<int16_t>& x, std::size_t from, std::size_t count) {
    double sum = 0.0;
    for (std::size_t i = from; i < from + count; ++i) sum += static_cast<double>(x[i]) * x[i];
    return sum;
}

// Normalised cross-correlation of `part` with the recording at every lag;
// the best one. Coarse first (on 10 ms energies), then sample by sample.
Match BestMatch(const std::vector<int16_t>& part, const std::vector<int16_t>& recording) {
    Match best;
    if (part.empty() || recording.size() < part.size()) return best;
    const std::size_t frame = 480;
    auto envelope = [frame](const std::vector<int16_t>& x) {
        std::vector<double> e(x.size() / frame);
        for (std::size_t i = 0; i < e.size(); ++i) e[i] = std::sqrt(Energy(x, i * frame, frame));
        return e;
    };
    const std::vector<double> a = envelope(part);
    const std::vector<double> b = envelope(recording);
    std::size_t coarse = 0;
    double coarseBest = -1.0;
    for (std::size_t lag = 0; lag + a.size() <= b.size(); ++lag) {
        double dot = 0.0, eb = 0.0, ea = 0.0;
        for (std::size_t i = 0; i < a.size(); ++i) {
            dot += a[i] * b[lag + i];
            ea += a[i] * a[i];
            eb += b[lag + i] * b[lag + i];
        }
        const double c = eb > 0.0 ? dot / std::sqrt(ea * eb) : 0.0;
        if (c > coarseBest) {
            coarseBest = c;
            coarse = lag * frame;
        }
    }
    const double partEnergy = Energy(part, 0, part.size());
    const std::size_t from = coarse > 2 * frame ? coarse - 2 * frame : 0;
    const std::size_t to = std::min(coarse + 2 * frame, recording.size() - part.size());
    for (std::size_t lag = from; lag <= to; ++lag) {
        double dot = 0.0;
        for (std::size_t i = 0; i < part.size(); ++i) dot += static_cast<double>(part[i]) * recording[lag + i];
        const double recordedEnergy = Energy(recording, lag, part.size());
        const double c = recordedEnergy > 0.0 ? dot / std::sqrt(partEnergy * recordedEnergy) : 0.0;
        if (c > best.correlation) best = {c, lag};
    }
    return best;
}

std::vector<std::string> HearVoiceLogLines(const ClientEmulator& client) {
    std::vector<std::string> lines;
    for (const auto& call : client.calls("logMessage"))
        if (call.args.at(0).find("Hear Voice") != std::string::npos) lines.push_back(call.args.at(0));
    return lines;
}

int Overflows(const ClientEmulator& client) {
    const std::vector<std::string> chat = client.chatMessages();
    return static_cast<int>(std::count(chat.begin(), chat.end(), "Audio overflow!"));
}

// Threads of this process named `name` (the monitor's playback thread is
// "morindale-mon").
std::size_t ThreadsNamed(const std::string& name) {
    std::size_t count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(tasks)) {
            if (entry->d_name[0] == '.') continue;
            std::string comm = morindale_test::ReadFile(std::string("/proc/self/task/") + entry->d_name + "/comm");
            if (!comm.empty() && comm.back() == '\n') comm.pop_back();
            if (comm == name) ++count;
        }
        closedir(tasks);
    }
    return count;
}

std::vector<int16_t> Voice(double seconds) {
    std::string error;
    std::vector<int16_t> voice = morindale_test::BundledVoice(seconds, &error);
    EXPECT_FALSE(voice.empty()) << error;
    return voice;
}

Options WithServer(const std::string& server) {
    Options options;
    options.soundServer = server;
    return options;
}

TEST(MonitorPulse, TheTransformedVoiceIsHeardAndSilenceOnceMonitoringIsOff) {
    const std::vector<int16_t> voice = Voice(2.0);
    ASSERT_FALSE(voice.empty());
    PulseDaemon daemon;
    ASSERT_TRUE(daemon.start()) << daemon.error();
    SinkRecorder recorder(daemon);
    ASSERT_TRUE(recorder.start()) << recorder.error();

    ClientEmulator client(WithServer(daemon.server()));
    client.start();
    EXPECT_TRUE(HearVoiceLogLines(client).empty());
    // Clone changes every sample in place and returns whole blocks, so what
    // was sent is exactly what was monitored.
    client.hotkey("effect_clone");

    const Talk on = TalkInRealTime(client, voice);
    EXPECT_EQ(on.editedBlocks, static_cast<int>(voice.size() / kBlock));
    // Straight away: what is still pending plays out all the same.
    client.hotkey("effect_hearvoice");
    const std::vector<std::string> chat = client.chatMessages();
    ASSERT_FALSE(chat.empty());
    EXPECT_EQ(chat.back(), "Hear you own voice is Off [Morindale]");
    const Talk off = TalkInRealTime(client, voice);
    EXPECT_EQ(off.editedBlocks, static_cast<int>(voice.size() / kBlock));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    const std::vector<int16_t> recording = recorder.stop();
    client.unload();
    EXPECT_EQ(Overflows(client), 0);
    EXPECT_TRUE(HearVoiceLogLines(client).empty());

    // The recording holds the sent voice: silence, then the 2 s at some lag.
    ASSERT_GT(recording.size(), on.sent.size() + 48000u) << daemon.log();
    const Match match = BestMatch(on.sent, recording);
    RecordProperty("correlation", std::to_string(match.correlation));
    EXPECT_GT(match.correlation, 0.9) << "lag " << match.lag;
    // Up to 959 samples may never play: a remainder shorter than a buffer
    // waits in the FIFO. The end of the spoken part, pending when monitoring
    // went off, still played in full.
    const std::size_t tailLength = 9600;
    const std::vector<int16_t> tail(on.sent.end() - static_cast<long>(tailLength + kBlock), on.sent.end() - kBlock);
    const std::size_t tailAt = match.lag + on.sent.size() - tailLength - kBlock;
    double dot = 0.0;
    for (std::size_t i = 0; i < tail.size(); ++i) dot += static_cast<double>(tail[i]) * recording[tailAt + i];
    const double tailCorrelation =
        dot / std::sqrt(Energy(tail, 0, tail.size()) * Energy(recording, tailAt, tail.size()) + 1e-9);
    EXPECT_GT(tailCorrelation, 0.9);

    // After it, with monitoring off, nothing at all: exact digital silence.
    const std::size_t afterOn = match.lag + on.sent.size();
    ASSERT_LT(afterOn, recording.size());
    int loudest = 0;
    for (std::size_t i = afterOn; i < recording.size(); ++i) loudest = std::max(loudest, std::abs(int(recording[i])));
    EXPECT_EQ(loudest, 0) << "over " << recording.size() - afterOn << " samples";
    EXPECT_GT(recording.size() - afterOn, 2 * 48000u - 4800u);  // the whole second talk was recorded
}

TEST(MonitorPulse, ShutdownAndUnloadWhileAudioFlowsLeaveNothingRunning) {
    const std::vector<int16_t> voice = Voice(0.6);
    ASSERT_FALSE(voice.empty());
    PulseDaemon daemon;
    ASSERT_TRUE(daemon.start()) << daemon.error();
    // Someone listening keeps the null sink's clock going, as a sound card does.
    SinkRecorder recorder(daemon);
    ASSERT_TRUE(recorder.start()) << recorder.error();
    {
        ClientEmulator client(WithServer(daemon.server()));
        client.start();
        EXPECT_EQ(ThreadsNamed("morindale-mon"), 1u);
        TalkInRealTime(client, voice);
        const Clock::time_point start = Clock::now();
        client.unload();  // shutdown, then dlclose, mid-speech
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        RecordProperty("unload_ms", std::to_string(took.count()));
        EXPECT_EQ(ThreadsNamed("morindale-mon"), 0u);
        EXPECT_TRUE(client.problems().empty());
    }
    // A callback into the unloaded code would crash the test here.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(ThreadsNamed("morindale-mon"), 0u);
    EXPECT_TRUE(daemon.running());
}

TEST(MonitorPulse, WithoutASoundServerThePlugInWorksAndDropsMonitoredBlocksQuietly) {
    ClientEmulator client;  // its sound server path leads nowhere
    client.start();
    EXPECT_EQ(ThreadsNamed("morindale-mon"), 0u);  // ended with the failed opening
    const std::vector<std::string> lines = HearVoiceLogLines(client);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0],
              "Hear Voice: no sound output (no sound server, or it refused the connection); monitored audio is dropped");
    const auto logged = client.calls("logMessage");
    for (const auto& call : logged)
        if (call.args.at(0) == lines[0]) {
            EXPECT_EQ(call.args.at(1), "2");  // warning
            EXPECT_EQ(call.args.at(2), "Plugin");
        }
    // Three seconds of blocks: far beyond what the FIFO holds.
    std::vector<int16_t> block(kBlock, 3000);
    int edited = 0;
    for (int i = 0; i < 150; ++i) {
        std::fill(block.begin(), block.end(), static_cast<int16_t>(3000 - i));
        if (client.voiceBlock(block.data(), kBlock) & 1) ++edited;
    }
    EXPECT_GT(edited, 140);  // the voice is still changed
    EXPECT_EQ(Overflows(client), 0);
    client.unload();
    EXPECT_EQ(HearVoiceLogLines(client).size(), 1u);
}

TEST(MonitorPulse, AServerThatClosesEveryConnectionIsNoSoundServer) {
    BrokenSoundServer server(BrokenSoundServer::Kind::Refusing);
    ClientEmulator client(WithServer(server.server()));
    client.start();
    EXPECT_GE(server.connections(), 1);
    const std::vector<std::string> lines = HearVoiceLogLines(client);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0],
              "Hear Voice: no sound output (no sound server, or it refused the connection); monitored audio is dropped");
    std::vector<int16_t> block(kBlock, 2000);
    for (int i = 0; i < 150; ++i) client.voiceBlock(block.data(), kBlock);
    EXPECT_EQ(Overflows(client), 0);
}

TEST(MonitorPulse, AServerThatNeverAnswersIsGivenUpAfterAFewSeconds) {
    BrokenSoundServer server(BrokenSoundServer::Kind::Silent);
    ClientEmulator client(WithServer(server.server()));
    const Clock::time_point start = Clock::now();
    client.start();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    RecordProperty("init_ms", std::to_string(took.count()));
    const std::vector<std::string> lines = HearVoiceLogLines(client);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Hear Voice: no sound output (the sound server did not answer); monitored audio is dropped");
    std::vector<int16_t> block(kBlock, 2000);
    for (int i = 0; i < 150; ++i) client.voiceBlock(block.data(), kBlock);
    EXPECT_EQ(Overflows(client), 0);
}

TEST(MonitorPulse, AServerThatDiesWhilePlayingIsLoggedOnceAndBlocksAreDroppedQuietly) {
    const std::vector<int16_t> voice = Voice(0.4);
    ASSERT_FALSE(voice.empty());
    PulseDaemon daemon;
    ASSERT_TRUE(daemon.start()) << daemon.error();
    ClientEmulator client(WithServer(daemon.server()));
    client.start();
    TalkInRealTime(client, voice);
    daemon.kill();
    ASSERT_TRUE(client.waitForCalls("logMessage", 1, std::chrono::seconds(10)));
    std::vector<std::string> lines;
    for (int i = 0; i < 500 && lines.empty(); ++i) {
        lines = HearVoiceLogLines(client);
        if (lines.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Hear Voice: sound output lost; monitored audio is dropped");
    std::vector<int16_t> block(kBlock, 2500);
    for (int i = 0; i < 150; ++i) client.voiceBlock(block.data(), kBlock);
    EXPECT_EQ(Overflows(client), 0);
    EXPECT_EQ(ThreadsNamed("morindale-mon"), 1u);  // idle until closed
    client.unload();
    EXPECT_EQ(ThreadsNamed("morindale-mon"), 0u);
    EXPECT_EQ(HearVoiceLogLines(client).size(), 1u);
}

}  // namespace
