// The monitor playback end to end: the built plug-in, loaded by the client
// emulator, plays into a PulseAudio daemon that the test runs itself (a null
// sink, private socket and folders; see pulse_daemon.h), and the test records
// what the sink played. Also: no server, a refusing or silent server, a server
// that dies while playing, and unloading while audio flows.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
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

std::vector<std::string> HearVoiceLogLines(const ClientEmulator& client) {
    std::vector<std::string> lines;
    for (const auto& call : client.calls("logMessage"))
        if (call.args.at(0).find("Hear Voice") != std::string::npos) lines.push_back(call.args.at(0));
    return lines;
}

// The opening goes on in the background: waits (at most 10 s) for `count`
// Hear Voice lines in the client log.
std::vector<std::string> AwaitHearVoiceLines(const ClientEmulator& client, std::size_t count) {
    std::vector<std::string> lines = HearVoiceLogLines(client);
    for (int i = 0; i < 1000 && lines.size() < count; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        lines = HearVoiceLogLines(client);
    }
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

bool AwaitNoThreadNamed(const std::string& name) {
    for (int i = 0; i < 500; ++i) {
        if (ThreadsNamed(name) == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
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

// Noise whose loudness changes every 10 ms at random: its envelope places a
// piece of it coarsely in a recording, its samples exactly.
std::vector<int16_t> MarkedNoise(double seconds) {
    std::vector<int16_t> noise(static_cast<std::size_t>(seconds * 48000));
    uint32_t state = 20240613u;
    auto uniform = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<double>(state >> 8) / static_cast<double>(1u << 24);
    };
    double gain = 1.0;
    for (std::size_t i = 0; i < noise.size(); ++i) {
        if (i % 480 == 0) gain = 0.15 + 0.85 * uniform();
        noise[i] = static_cast<int16_t>(std::lround((2.0 * uniform() - 1.0) * gain * 12000.0));
    }
    return noise;
}

struct PacedTalk {
    std::vector<int16_t> sent;
    std::vector<Clock::time_point> handedOver;  // per block
};

// Hands `signal` over block by block, each as soon as its 20 ms have been
// captured. A hiccup holds the capture thread for its length when its block
// is due; the blocks captured meanwhile follow all at once, as a client
// catching up delivers them.
struct Hiccup {
    std::size_t atBlock;
    std::chrono::milliseconds length;
};
PacedTalk TalkAtPace(ClientEmulator& client, const std::vector<int16_t>& signal, std::vector<Hiccup> hiccups = {}) {
    PacedTalk talk;
    const Clock::time_point start = Clock::now();
    for (std::size_t at = 0, index = 0; at + kBlock <= signal.size(); at += kBlock, ++index) {
        Clock::time_point due = start + std::chrono::milliseconds(20 * static_cast<long>(index + 1));
        for (const Hiccup& hiccup : hiccups) {
            const Clock::time_point held = start + std::chrono::milliseconds(20 * static_cast<long>(hiccup.atBlock)) + hiccup.length;
            if (index >= hiccup.atBlock && held > due) due = held;
        }
        std::this_thread::sleep_until(due);
        std::vector<int16_t> block(signal.begin() + static_cast<long>(at), signal.begin() + static_cast<long>(at + kBlock));
        talk.handedOver.push_back(Clock::now());
        client.voiceBlock(block.data(), kBlock);
        talk.sent.insert(talk.sent.end(), block.begin(), block.end());
    }
    return talk;
}

struct Heard {
    double handedOverMs;  // since the first block was handed over
    double delayMs;       // from hand-over to the sink
    double correlation;
    std::size_t at;       // where it starts in the recording
    bool audible;         // pauses between words can't be placed
};

// When each piece of the talk (`pieceBlocks` blocks) was heard: located in
// the recording by its envelope, then sample by sample; `firstSampleBy`
// dates the recording. Noise places well in 100 ms pieces, speech needs more.
std::vector<Heard> WhenHeard(const PacedTalk& talk, const std::vector<int16_t>& recording,
                             Clock::time_point firstSampleBy, std::size_t pieceBlocks = 5) {
    const std::size_t kPiece = pieceBlocks * kBlock;
    constexpr std::size_t kFrame = 240;
    constexpr std::size_t kSearch = 72000;  // 1.5 s after hand-over
    auto envelope = [](const std::vector<int16_t>& x, std::size_t from, std::size_t frames) {
        std::vector<double> e(frames);
        for (std::size_t i = 0; i < frames; ++i) e[i] = std::sqrt(Energy(x, from + i * kFrame, kFrame));
        return e;
    };
    const std::vector<double> recorded = envelope(recording, 0, recording.size() / kFrame);
    std::vector<Heard> heard;
    for (std::size_t block = 0; (block + pieceBlocks) * kBlock <= talk.sent.size(); block += pieceBlocks) {
        const std::size_t from = block * kBlock;
        const double handedOver = std::chrono::duration<double>(talk.handedOver[block] - firstSampleBy).count();
        const double earliest = (handedOver - 0.05) * 48000.0;
        const std::size_t lo = earliest > 0.0 ? static_cast<std::size_t>(earliest) / kFrame : 0;
        const std::vector<double> piece = envelope(talk.sent, from, kPiece / kFrame);
        std::vector<std::pair<double, std::size_t>> coarse;  // envelope correlation, lag in frames
        for (std::size_t f = lo; f + piece.size() <= recorded.size() && f < lo + kSearch / kFrame; ++f) {
            double dot = 0.0, ea = 0.0, eb = 0.0;
            for (std::size_t i = 0; i < piece.size(); ++i) {
                dot += piece[i] * recorded[f + i];
                ea += piece[i] * piece[i];
                eb += recorded[f + i] * recorded[f + i];
            }
            coarse.emplace_back(eb > 0.0 ? dot / std::sqrt(ea * eb) : 0.0, f);
        }
        std::sort(coarse.begin(), coarse.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
        // The best three places apart, sample by sample: an echo (Clone)
        // can place a piece of speech's envelope better than the piece itself.
        std::vector<std::size_t> places;
        for (const auto& candidate : coarse) {
            if (places.size() == 3) break;
            bool apart = true;
            for (std::size_t place : places) apart = apart && (candidate.second + 8 < place || place + 8 < candidate.second);
            if (apart) places.push_back(candidate.second);
        }
        const double pieceEnergy = Energy(talk.sent, from, kPiece);
        Match match;
        for (std::size_t place : places) {
            const std::size_t at = place * kFrame;
            const std::size_t fineFrom = at > 4 * kFrame ? at - 4 * kFrame : 0;
            for (std::size_t lag = fineFrom; lag <= at + 4 * kFrame && lag + kPiece <= recording.size(); ++lag) {
                double dot = 0.0;
                for (std::size_t i = 0; i < kPiece; ++i)
                    dot += static_cast<double>(talk.sent[from + i]) * recording[lag + i];
                const double e = Energy(recording, lag, kPiece);
                const double c = e > 0.0 ? dot / std::sqrt(pieceEnergy * e) : 0.0;
                if (c > match.correlation) match = {c, lag};
            }
        }
        const double first = std::chrono::duration<double>(talk.handedOver[block] - talk.handedOver[0]).count();
        heard.push_back({first * 1000.0, (static_cast<double>(match.lag) / 48000.0 - handedOver) * 1000.0,
                         match.correlation, match.lag, pieceEnergy > 300.0 * 300.0 * kPiece});
    }
    return heard;
}

// Checks that every piece handed over from `fromMs` on (since the talk began)
// was heard within `boundMs`; pieces cut by a dropped stretch of audio don't
// match and are skipped, but they must stay few: at least `matchedPercent`
// of the pieces judged.
// Returns the median delay of the matched pieces.
double ExpectHeardWithin(const std::vector<Heard>& heard, double fromMs, double toMs, double boundMs,
                         int matchedPercent = 80) {
    int judged = 0, matched = 0;
    std::vector<double> delays;
    std::string all;
    for (const Heard& h : heard) {
        all += std::to_string(static_cast<int>(h.handedOverMs)) + ":" + std::to_string(static_cast<int>(h.delayMs)) +
               (h.correlation >= 0.8 ? " " : "? ");
        if (h.handedOverMs < fromMs || h.handedOverMs > toMs || !h.audible) continue;
        ++judged;
        if (h.correlation < 0.8) continue;
        ++matched;
        delays.push_back(h.delayMs);
        EXPECT_LE(h.delayMs, boundMs) << "piece handed over at " << h.handedOverMs << " ms";
        EXPECT_GE(h.delayMs, 20.0) << "piece handed over at " << h.handedOverMs << " ms";  // the server holds some
    }
    EXPECT_GT(judged, 0);
    EXPECT_GE(matched * 100, judged * matchedPercent) << all;
    ::testing::Test::RecordProperty("heard", all);
    std::printf("heard (ms since talk: delay ms): %s\n", all.c_str());
    if (delays.empty()) return boundMs;
    std::sort(delays.begin(), delays.end());
    return delays[delays.size() / 2];
}

// Keeps every core of a two-core machine busy for as long as it lives.
class BusyCores {
public:
    BusyCores() {
        for (int i = 0; i < 2; ++i)
            threads_.emplace_back([this] {
                // Busy like a build in the background: at a lower priority
                // than the sound server and the client, but never idle.
                setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
                volatile unsigned long spin = 0;
                while (!stop_.load(std::memory_order_relaxed)) spin = spin + 1;
            });
    }
    ~BusyCores() {
        stop_.store(true);
        for (std::thread& thread : threads_) thread.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

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

    const PacedTalk on = TalkAtPace(client, voice);
    // Straight away: what is still pending plays out all the same.
    client.hotkey("effect_hearvoice");
    const std::vector<std::string> chat = client.chatMessages();
    ASSERT_FALSE(chat.empty());
    EXPECT_EQ(chat.back(), "Hear you own voice is Off [Morindale]");
    const PacedTalk off = TalkAtPace(client, voice);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    const std::vector<int16_t> recording = recorder.stop();
    client.unload();
    EXPECT_EQ(Overflows(client), 0);
    EXPECT_TRUE(HearVoiceLogLines(client).empty());

    // The recording holds the sent voice, piece by piece, at its delay.
    ASSERT_GT(recording.size(), on.sent.size() + 48000u) << daemon.log();
    const std::vector<Heard> heard = WhenHeard(on, recording, recorder.firstSampleBy(), 10);
    // Up to 959 samples may never play: a remainder shorter than a buffer
    // waits in the FIFO, so the last piece is not judged. The end before it,
    // pending when monitoring went off, still played in full: one of its last
    // two 100 ms pieces at least (a cut for the delay bound may hit one).
    ASSERT_GE(heard.size(), 2u);
    ExpectHeardWithin(heard, 0.0, heard.back().handedOverMs - 1.0, 150.0);
    const std::vector<Heard> tail = WhenHeard(on, recording, recorder.firstSampleBy(), 5);
    ASSERT_GE(tail.size(), 3u);
    const std::size_t last = tail[tail.size() - 2].correlation >= tail[tail.size() - 3].correlation ? tail.size() - 2
                                                                                                      : tail.size() - 3;
    EXPECT_GT(tail[last].correlation, 0.9);

    // After it, with monitoring off, nothing at all: exact digital silence.
    const std::size_t afterOn = tail[last].at + on.sent.size() - last * 5 * kBlock + kBlock;
    ASSERT_LT(afterOn, recording.size());
    int loudest = 0;
    for (std::size_t i = afterOn; i < recording.size(); ++i) loudest = std::max(loudest, std::abs(int(recording[i])));
    EXPECT_EQ(loudest, 0) << "over " << recording.size() - afterOn << " samples";
    EXPECT_GT(recording.size() - afterOn, off.sent.size() - 4800u);  // the whole second talk was recorded
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
        EXPECT_TRUE(AwaitNoThreadNamed("morindale-mon"));
        EXPECT_TRUE(client.problems().empty());
    }
    // A callback into the unloaded code would crash the test here.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(ThreadsNamed("morindale-mon"), 0u);
    EXPECT_TRUE(daemon.running());
}

TEST(MonitorPulse, QuittingMidSpeechDoesNotWaitForTheOutputToPlayOut) {
    // A live server that nobody listens to takes its time to play out what
    // it holds; draining it kept the client's thread 0.5 s. At quit nobody
    // listens: the close is immediate and takes milliseconds, so 100 ms
    // leave a wide margin for busy cores.
    const std::vector<int16_t> voice = Voice(0.6);
    ASSERT_FALSE(voice.empty());
    PulseDaemon daemon;
    ASSERT_TRUE(daemon.start()) << daemon.error();
    ClientEmulator client(WithServer(daemon.server()));
    client.start();
    TalkInRealTime(client, voice);
    const Clock::time_point start = Clock::now();
    client.shutdown();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    RecordProperty("shutdown_ms", std::to_string(took.count()));
    EXPECT_LT(took.count(), 100);
    EXPECT_TRUE(AwaitNoThreadNamed("morindale-mon"));
    client.unload();
    EXPECT_TRUE(client.problems().empty());
    EXPECT_TRUE(daemon.running());
}

TEST(MonitorPulse, WithoutASoundServerThePlugInWorksAndDropsMonitoredBlocksQuietly) {
    ClientEmulator client;  // its sound server path leads nowhere
    client.start();
    const std::vector<std::string> lines = AwaitHearVoiceLines(client, 1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0],
              "Hear Voice: no sound output (no sound server, or it refused the connection); monitored audio is dropped");
    EXPECT_TRUE(AwaitNoThreadNamed("morindale-mon"));  // ended with the failed opening
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
    const std::vector<std::string> lines = AwaitHearVoiceLines(client, 1);
    EXPECT_GE(server.connections(), 1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0],
              "Hear Voice: no sound output (no sound server, or it refused the connection); monitored audio is dropped");
    std::vector<int16_t> block(kBlock, 2000);
    for (int i = 0; i < 150; ++i) client.voiceBlock(block.data(), kBlock);
    EXPECT_EQ(Overflows(client), 0);
}

TEST(MonitorPulse, AServerThatNeverAnswersDoesNotHoldUpInitAndIsGivenUpAfterAFewSeconds) {
    BrokenSoundServer server(BrokenSoundServer::Kind::Silent);
    ClientEmulator client(WithServer(server.server()));
    client.load();
    client.identify();
    client.setFunctionPointers();
    const Clock::time_point start = Clock::now();
    client.init();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    RecordProperty("init_ms", std::to_string(took.count()));
    EXPECT_LT(took.count(), 50);
    client.registerPluginID();
    client.initMenus();
    client.initHotkeys();
    // Talk while the connection hangs: it waits, then goes unheard.
    std::vector<int16_t> block(kBlock, 2000);
    for (int i = 0; i < 150; ++i) client.voiceBlock(block.data(), kBlock);
    const std::vector<std::string> lines = AwaitHearVoiceLines(client, 1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Hear Voice: no sound output (the sound server did not answer); monitored audio is dropped");
    for (int i = 0; i < 150; ++i) client.voiceBlock(block.data(), kBlock);
    EXPECT_EQ(Overflows(client), 0);
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(), 2500);
    EXPECT_EQ(HearVoiceLogLines(client).size(), 1u);
}

TEST(MonitorPulse, ClosingWhileTheServerNeverAnswersReturnsAtOnceAndLeavesNoThread) {
    BrokenSoundServer server(BrokenSoundServer::Kind::Silent);
    {
        ClientEmulator client(WithServer(server.server()));
        client.start();
        for (int i = 0; i < 500 && server.connections() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_EQ(server.connections(), 1);
        EXPECT_EQ(ThreadsNamed("morindale-mon"), 1u);  // still connecting
        std::vector<int16_t> block(kBlock, 2000);
        for (int i = 0; i < 20; ++i) client.voiceBlock(block.data(), kBlock);
        const Clock::time_point start = Clock::now();
        client.unload();
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        RecordProperty("unload_ms", std::to_string(took.count()));
        EXPECT_LT(took.count(), 500);
        EXPECT_EQ(ThreadsNamed("morindale-mon"), 0u);
        EXPECT_TRUE(HearVoiceLogLines(client).empty());  // closing is no failure
        EXPECT_TRUE(client.problems().empty());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(ThreadsNamed("morindale-mon"), 0u);
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

TEST(MonitorPulse, AServerThatRestartsIsHeardAgainWithOneLineAtTheLossAndOneAtTheReturn) {
    PulseDaemon daemon;
    ASSERT_TRUE(daemon.start()) << daemon.error();
    ClientEmulator client(WithServer(daemon.server()));
    client.start();
    client.hotkey("effect_myvoice");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    TalkAtPace(client, MarkedNoise(0.5));
    daemon.kill();
    ASSERT_EQ(AwaitHearVoiceLines(client, 1).size(), 1u);
    // Talk while it is away: dropped, without a word.
    TalkAtPace(client, MarkedNoise(0.5));
    ASSERT_TRUE(daemon.start()) << daemon.error();  // on the same socket
    // Listening from the start, so that the new sink plays in real time.
    SinkRecorder recorder(daemon);
    ASSERT_TRUE(recorder.start()) << recorder.error();
    // Attempts come every 2 s: the return is seen within a few.
    const std::vector<std::string> lines = AwaitHearVoiceLines(client, 2);
    EXPECT_EQ(lines, (std::vector<std::string>{"Hear Voice: sound output lost; monitored audio is dropped",
                                               "Hear Voice: the sound output is back"}));
    const PacedTalk talk = TalkAtPace(client, MarkedNoise(3.0));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::vector<int16_t> recorded = recorder.stop();
    client.unload();
    EXPECT_EQ(Overflows(client), 0);
    const double realTime =
        std::chrono::duration<double, std::milli>(recorder.realTimeSince() - talk.handedOver[0]).count();
    ASSERT_LT(realTime, 1500.0);
    ExpectHeardWithin(WhenHeard(talk, recorded, recorder.firstSampleBy()), std::max(realTime, 0.0) + 1000.0, 1e9,
                      150.0);
    std::vector<std::string> levels;
    for (const auto& call : client.calls("logMessage"))
        if (call.args.at(0).find("Hear Voice") != std::string::npos) levels.push_back(call.args.at(1));
    EXPECT_EQ(levels, (std::vector<std::string>{"2", "4"}));  // a warning, then information
}

TEST(MonitorPulse, TalkBeforeTheOutputPlaysInRealTimeIsHeardWithin150msWithinASecond) {
    const std::vector<int16_t> noise = MarkedNoise(4.0);
    PulseDaemon daemon;
    ASSERT_TRUE(daemon.start()) << daemon.error();
    ClientEmulator client(WithServer(daemon.server()));
    client.start();
    client.hotkey("effect_myvoice");  // monitored exactly as sent
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // Talk starts 300 ms after init. With nobody listening, the null sink
    // takes audio in big gulps; the listener that joins half a second into
    // the talk makes it play in real time, as a waking sound card does.
    PacedTalk talk;
    std::thread talking([&] { talk = TalkAtPace(client, noise); });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    SinkRecorder recorder(daemon);
    const bool recording = recorder.start();
    talking.join();
    ASSERT_TRUE(recording) << recorder.error();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::vector<int16_t> recorded = recorder.stop();
    client.unload();
    EXPECT_EQ(Overflows(client), 0);
    // A second after the sink began to play in real time.
    const double realTime = std::chrono::duration<double, std::milli>(recorder.realTimeSince() - talk.handedOver[0]).count();
    ASSERT_LT(realTime, 2500.0);
    ExpectHeardWithin(WhenHeard(talk, recorded, recorder.firstSampleBy()), std::max(realTime, 0.0) + 1000.0, 1e9, 150.0);
}

TEST(MonitorPulse, AHiccupOfTheCaptureThreadIsCaughtUpWithinASecondWithBothCoresBusy) {
    const std::vector<int16_t> noise = MarkedNoise(3.2);
    PulseDaemon daemon;
    ASSERT_TRUE(daemon.start()) << daemon.error();
    SinkRecorder recorder(daemon);
    ASSERT_TRUE(recorder.start()) << recorder.error();
    ClientEmulator client(WithServer(daemon.server()));
    client.start();
    client.hotkey("effect_myvoice");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    PacedTalk talk;
    {
        BusyCores busy;
        talk = TalkAtPace(client, noise, {{50, std::chrono::milliseconds(100)}});  // at 1 s
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::vector<int16_t> recorded = recorder.stop();
    client.unload();
    EXPECT_EQ(Overflows(client), 0);
    const std::vector<Heard> heard = WhenHeard(talk, recorded, recorder.firstSampleBy());
    // While the cores are busy the sound server itself may be late, so the
    // output drops more stretches there: fewer pieces match whole.
    const double before = ExpectHeardWithin(heard, 0.0, 990.0, 150.0, 60);
    // A second after it, the hiccup has left nothing behind for good (it
    // would be 60 to 100 ms): the delay is back where it was, give or take
    // the 20 ms of one buffer, the 10 ms cushion the cut keeps, and jitter.
    ExpectHeardWithin(heard, 2100.0, 1e9, std::min(150.0, before + 45.0));
}

TEST(MonitorPulse, AServerThatStopsTakingAudioIsOneWarningAndIsHeardAgainWhenItResumes) {
    PulseDaemon daemon;
    ASSERT_TRUE(daemon.start()) << daemon.error();
    SinkRecorder recorder(daemon);
    ASSERT_TRUE(recorder.start()) << recorder.error();
    ClientEmulator client(WithServer(daemon.server()));
    client.start();
    client.hotkey("effect_myvoice");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    TalkAtPace(client, MarkedNoise(0.5));
    daemon.pause();  // still connected, takes nothing
    TalkAtPace(client, MarkedNoise(3.0));
    EXPECT_EQ(Overflows(client), 0);
    const std::vector<std::string> lines = HearVoiceLogLines(client);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Hear Voice: sound output stalled; monitored audio is dropped");

    daemon.resume();
    SinkRecorder after(daemon);
    ASSERT_TRUE(after.start()) << after.error();
    const PacedTalk talk = TalkAtPace(client, MarkedNoise(3.0));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::vector<int16_t> recorded = after.stop();
    client.unload();
    EXPECT_EQ(Overflows(client), 0);
    const double realTime =
        std::chrono::duration<double, std::milli>(after.realTimeSince() - talk.handedOver[0]).count();
    ASSERT_LT(realTime, 1500.0);
    ExpectHeardWithin(WhenHeard(talk, recorded, after.firstSampleBy()), std::max(realTime, 0.0) + 1000.0, 1e9, 150.0);
    int warnings = 0;
    bool back = false;
    for (const auto& call : client.calls("logMessage")) {
        if (call.args.at(0).find("Hear Voice") == std::string::npos) continue;
        if (call.args.at(1) == "2") ++warnings;
        if (call.args.at(0) == "Hear Voice: the sound output takes audio again" && call.args.at(1) == "4") back = true;
    }
    EXPECT_EQ(warnings, 1);
    EXPECT_TRUE(back);
}

}  // namespace
