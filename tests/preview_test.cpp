// The live preview as a user runs it, against the test's own sound server:
// the bundled voice played into a null sink whose monitor is the default
// microphone, the preview's output recorded from the default (null) sink.
// Keys come through a FIFO on its standard input.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bundled_voice.h"
#include "child_process.h"
#include "pulse_daemon.h"
#include "test_support.h"
#include "voice_signals.h"
#include "wave_file.h"

#ifdef MORINDALE_PREVIEW
#include "pitch_measure.h"

namespace fs = std::filesystem;
using namespace morindale_test;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRate = 48000;

class Preview : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "morindale-preview-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        if (keys_ >= 0) close(keys_);
        std::error_code ignored;
        if (!dir_.empty()) fs::remove_all(dir_, ignored);
    }
    std::string Path(const std::string& name) const { return (fs::path(dir_) / name).string(); }

    // Starts the preview with `environment`, its keys from a FIFO.
    void Start(const std::vector<std::string>& args, const std::vector<std::string>& environment) {
        ASSERT_EQ(mkfifo(Path("keys").c_str(), 0600), 0);
        keys_ = open(Path("keys").c_str(), O_RDWR | O_CLOEXEC);  // never blocks, keeps the FIFO open
        ASSERT_GE(keys_, 0);
        std::vector<std::string> argv = {MORINDALE_PREVIEW};
        argv.insert(argv.end(), args.begin(), args.end());
        ASSERT_TRUE(preview_.start(argv, environment, Path("out"), Path("err"), Path("keys")));
    }
    void Type(const std::string& keys) { ASSERT_EQ(write(keys_, keys.data(), keys.size()), ssize_t(keys.size())); }
    std::string Out() const { return ReadFile(Path("out")); }
    std::string Err() const { return ReadFile(Path("err")); }
    // Waits until the preview prints `text` on standard output.
    bool WaitForOutput(const std::string& text, std::chrono::seconds timeout) {
        const auto deadline = Clock::now() + timeout;
        while (Out().find(text) == std::string::npos) {
            if (Clock::now() > deadline || !preview_.running()) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }
    void ExpectOneLineError(const std::string& start) {
        const std::string err = Err();
        EXPECT_EQ(err.rfind("morindale-preview: " + start, 0), 0u) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }

    std::string dir_;
    int keys_ = -1;
    ChildProcess preview_;
};

// Normalised correlation of a[from, from + n) with b[at, at + n).
double Correlation(const std::vector<int16_t>& a, std::size_t from, const std::vector<int16_t>& b, std::size_t at,
                   std::size_t n) {
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = a[from + i], y = b[at + i];
        ab += x * y;
        aa += x * x;
        bb += y * y;
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

// Where in `recording`, from `earliest` to `earliest + span`, the segment
// reference[from, from + n) lies best: coarse on 8-sample means, then to the
// sample. Returns the recording index of reference sample 0.
std::size_t Locate(const std::vector<int16_t>& reference, std::size_t from, std::size_t n,
                   const std::vector<int16_t>& recording, std::size_t earliest, std::size_t span) {
    auto decimate = [](const std::vector<int16_t>& in) {
        std::vector<int16_t> out(in.size() / 8);
        for (std::size_t i = 0; i < out.size(); ++i) {
            int sum = 0;
            for (int k = 0; k < 8; ++k) sum += in[8 * i + k];
            out[i] = static_cast<int16_t>(sum / 8);
        }
        return out;
    };
    const std::vector<int16_t> r = decimate(reference), s = decimate(recording);
    std::size_t best = earliest;
    double bestScore = -2.0;
    for (std::size_t lag = earliest / 8; lag <= (earliest + span) / 8 && lag + (from + n) / 8 < s.size(); ++lag) {
        const double score = Correlation(r, from / 8, s, lag + from / 8, n / 8);
        if (score > bestScore) bestScore = score, best = lag * 8;
    }
    const std::size_t coarse = best;
    bestScore = -2.0;
    for (std::size_t lag = coarse > 16 ? coarse - 16 : 0; lag <= coarse + 16 && lag + from + n < recording.size();
         ++lag) {
        const double score = Correlation(reference, from, recording, lag + from, n);
        if (score > bestScore) bestScore = score, best = lag;
    }
    return best;
}

std::vector<int16_t> Slice(const std::vector<int16_t>& samples, std::size_t from, std::size_t n) {
    if (from >= samples.size()) return {};
    return std::vector<int16_t>(samples.begin() + from, samples.begin() + std::min(samples.size(), from + n));
}

// The last "delay N ms" that the preview printed, in ms; -1 for none.
int LastDelay(const std::string& out) {
    int delay = -1;
    for (std::size_t at = out.find("delay "); at != std::string::npos; at = out.find("delay ", at + 1)) {
        const char* digits = out.c_str() + at + 6;
        if (*digits >= '0' && *digits <= '9') delay = std::atoi(digits);
    }
    return delay;
}

TEST_F(Preview, HelpListsTheVoicesAndKeys) {
    for (const char* flag : {"--help", "-h"}) {
        SCOPED_TRACE(flag);
        const ProgramRun run = RunProgram({MORINDALE_PREVIEW, flag}, 10);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out.rfind("usage: morindale-preview", 0), 0u) << run.out;
        EXPECT_NE(run.out.find("atari, clone, myvoice, mutation-slow, mutation, mutation-fast, male, female, helium, "
                               "baby, manual, female-natural, male-natural, robotic"),
                  std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find("q or Ctrl-C"), std::string::npos) << run.out;
    }
    const ProgramRun run = RunProgram({MORINDALE_PREVIEW, "--effect", "chipmunk"}, 10);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err.rfind("morindale-preview: unknown effect 'chipmunk' (atari, ", 0), 0u) << run.err;
}

TEST_F(Preview, NoSoundServerOrOneThatNeverAnswersIsOneLineAndAQuickEnd) {
    BrokenSoundServer silent(BrokenSoundServer::Kind::Silent);
    for (const std::string& server : {"unix:" + Path("nothing-listens-here"), silent.server()}) {
        SCOPED_TRACE(server);
        const std::vector<std::string> environment = {"PATH=/usr/bin:/bin", "HOME=" + dir_, "XDG_RUNTIME_DIR=" + dir_,
                                                      "XDG_CONFIG_HOME=" + dir_, "PULSE_SERVER=" + server,
                                                      "PULSE_COOKIE=" + Path("cookie")};
        const auto start = Clock::now();
        Start({"helium"}, environment);
        // The preview gives up on a silent server after 3 s; 15 s is a hang.
        ASSERT_TRUE(preview_.wait(std::chrono::seconds(15))) << "no end: " << Out() << Err();
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(15));
        EXPECT_EQ(preview_.exitCode(), 1);
        ExpectOneLineError("no sound server: ");
        EXPECT_EQ(Out(), "");
        close(keys_);
        keys_ = -1;
        unlink(Path("keys").c_str());
    }
    EXPECT_GE(silent.connections(), 1);
}

TEST_F(Preview, CtrlCStopsCleanlyAndServerGoingAwayEndsWithOneLine) {
    PulseDaemon daemon(true);
    ASSERT_TRUE(daemon.start()) << daemon.error();
    Start({"robotic"}, daemon.clientEnvironment());
    ASSERT_TRUE(WaitForOutput("voice Robotic Voice (robotic)", std::chrono::seconds(20))) << Out() << Err();
    // + and - move the manual pitch by half a semitone and choose the voice.
    Type("++-+");
    ASSERT_TRUE(WaitForOutput("voice Pitch (manual) +1 semitone (manual)", std::chrono::seconds(10))) << Out();
    EXPECT_NE(Out().find("voice Pitch (manual) +0.5 semitones (manual)"), std::string::npos) << Out();
    preview_.stop(SIGINT, std::chrono::seconds(2));
    EXPECT_EQ(preview_.exitCode(), 0) << "Ctrl-C did not end it within 2 s: " << Out() << Err();
    EXPECT_EQ(Err(), "");
    EXPECT_NE(Out().find("stopped after"), std::string::npos) << Out();
    close(keys_);
    keys_ = -1;
    unlink(Path("keys").c_str());

    Start({"--effect", "male"}, daemon.clientEnvironment());
    ASSERT_TRUE(WaitForOutput("voice [7] Pitch (male) (male)", std::chrono::seconds(20))) << Out() << Err();
    daemon.kill();
    ASSERT_TRUE(preview_.wait(std::chrono::seconds(10))) << "no end: " << Out() << Err();
    EXPECT_EQ(preview_.exitCode(), 1);
    ExpectOneLineError("");
    EXPECT_NE(Err().find("went away"), std::string::npos) << Err();
}

// Clone first (its echo does not depend on where the blocks fall, so the
// recording matches the renderer's output sample for sample), then key 9
// mid-stream: helium, heard as a pitch 8 semitones up.
TEST_F(Preview, PlaysTheMicrophoneThroughTheVoiceAndSwitchesOnAKey) {
    std::string error;
    const std::vector<int16_t> speech = BundledVoice(7.0, &error);
    ASSERT_FALSE(speech.empty()) << error;
    ASSERT_TRUE(WriteWave(Path("speech.wav"), speech, kRate, 1));
    WriteFile(Path("speech.raw"), std::string(reinterpret_cast<const char*>(speech.data()), speech.size() * 2));
    const ProgramRun render = RunProgram({MORINDALE_RENDERER, Path("speech.wav"), Path("clone.wav"), "clone"});
    ASSERT_EQ(render.exitCode, 0) << render.err;
    Wave clone;
    ASSERT_TRUE(ReadWave(Path("clone.wav"), &clone));

    PulseDaemon daemon(true);
    ASSERT_TRUE(daemon.start()) << daemon.error();
    SinkRecorder recorder(daemon);
    ASSERT_TRUE(recorder.start()) << recorder.error();
    Start({"--effect", "clone"}, daemon.clientEnvironment());
    ASSERT_TRUE(WaitForOutput("voice [2] Clone (clone)", std::chrono::seconds(20))) << Out() << Err();

    const std::string pacat = FindProgram("pacat");
    ASSERT_FALSE(pacat.empty()) << "pacat is not installed (scripts/setup.sh)";
    ChildProcess microphone;
    const std::size_t playedAt = recorder.recorded();
    ASSERT_TRUE(microphone.start({pacat, "--playback", "--device=morindale_mic", "--raw", "--format=s16le",
                                  "--rate=48000", "--channels=1", "--latency-msec=20", Path("speech.raw")},
                                 daemon.clientEnvironment(), Path("pacat.out"), Path("pacat.err")));
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    Type("9");
    ASSERT_TRUE(microphone.wait(std::chrono::seconds(20))) << ReadFile(Path("pacat.err"));
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    Type("q");
    ASSERT_TRUE(preview_.wait(std::chrono::seconds(5))) << "q did not stop it: " << Out() << Err();
    EXPECT_EQ(preview_.exitCode(), 0) << Err();
    EXPECT_EQ(Err(), "");
    const std::vector<int16_t> recording = recorder.stop();

    // Clone: every 200 ms window of 0.2 s to 3.2 s of the speech is found at
    // most 500 ms after it was played into the microphone (pacat's own start
    // and buffer, the preview, the recorder) and matches the rendering
    // sample for sample. A loaded machine may underrun a window or two.
    ASSERT_GT(recording.size(), playedAt + 7 * kRate) << "recorded too little";
    const std::size_t window = kRate / 5;
    int windows = 0, matching = 0;
    std::size_t at = 0;  // where the rendering's sample 0 lies in the recording
    for (std::size_t from = window; from < 16 * window; from += window) {
        if (Rms(clone.samples, from, from + window) < 300) continue;  // a pause
        ++windows;
        const std::size_t found = Locate(clone.samples, from, window, recording, playedAt, kRate / 2);
        if (Correlation(clone.samples, from, recording, found + from, window) > 0.99 && found >= playedAt &&
            found <= playedAt + kRate / 2) {
            ++matching;
            at = found;
        }
    }
    EXPECT_GE(windows, 10);
    EXPECT_GE(matching, windows - 2) << Out();
    // Helium after the key (typed 3.5 s in): 4.5 s to 6.5 s of the speech at
    // 2^(8/12) = 1.587 times its pitch (f0 medians, 5%), and no longer the
    // rendering of Clone.
    const std::vector<int16_t> heard = Slice(recording, at + 9 * kRate / 2, 2 * kRate);
    const double inputPitch = morindale_render::Median(morindale_render::VoicedF0(Slice(speech, 9 * kRate / 2, 2 * kRate)));
    const double heardPitch = morindale_render::Median(morindale_render::VoicedF0(heard));
    ASSERT_GT(inputPitch, 0.0);
    EXPECT_NEAR(heardPitch / inputPitch, 1.587, 0.08);
    EXPECT_LT(Correlation(clone.samples, 9 * kRate / 2, recording, at + 9 * kRate / 2, 2 * kRate), 0.5);

    const std::string out = Out();
    EXPECT_NE(out.find("voice [9] Pitch (helium) (helium)"), std::string::npos) << out;
    // The delay it reports, at steady state.
    const int delay = LastDelay(out);
    EXPECT_GT(delay, 0) << out;
    EXPECT_LT(delay, 150) << out;
    EXPECT_NE(out.find("stopped after"), std::string::npos) << out;
}

}  // namespace

#else
TEST(Preview, NotPartOfThisBuild) { GTEST_SKIP() << "the preview is not part of this build"; }
#endif
