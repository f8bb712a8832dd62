// The renderer as a user runs it: sound files in, what the client would
// send out, a table on standard output, one-line errors and no partial files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"
#include "voice_signals.h"
#include "wave_file.h"

namespace fs = std::filesystem;
using morindale_test::ProgramRun;
using morindale_test::RunProgram;
using morindale_test::Wave;

namespace {

class Renderer : public ::testing::Test {
protected:
    void SetUp() override {
#ifndef MORINDALE_RENDERER
        GTEST_SKIP() << "the renderer is not part of this build";
#else
        renderer_ = MORINDALE_RENDERER;
#endif
        std::string pattern = (fs::temp_directory_path() / "morindale-render-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        if (!dir_.empty()) fs::remove_all(dir_, ignored);
    }
    std::string Path(const std::string& name) const { return (fs::path(dir_) / name).string(); }
    ProgramRun Render(std::vector<std::string> args) {
        args.insert(args.begin(), renderer_);
        return RunProgram(args);
    }
    // Only the named files are in the scratch folder.
    void ExpectFolderHolds(std::vector<std::string> names) {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir_)) found.push_back(entry.path().filename().string());
        std::sort(found.begin(), found.end());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(found, names);
    }
    void ExpectOneLineError(const ProgramRun& run, int code, const std::string& start) {
        EXPECT_EQ(run.exitCode, code);
        EXPECT_EQ(run.err.rfind("morindale-render: " + start, 0), 0u) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }

    std::string renderer_, dir_;
};

// The other programs of the build answer --help and -h with a usage text and
// success, and do nothing else (the session player once took --help for a
// plug-in file, the benchmark knew no -h).
TEST(ToolHelp, SessionPlayerAndBenchmarkExplainThemselves) {
    std::vector<std::pair<std::string, std::string>> tools;  // program, start of its usage
#ifdef MORINDALE_SESSION
    tools.emplace_back(MORINDALE_SESSION, "usage: morindale-session");
#endif
#ifdef MORINDALE_BENCH
    tools.emplace_back(MORINDALE_BENCH, "usage: morindale-bench");
#endif
    if (tools.empty()) GTEST_SKIP() << "the tools are not part of this build";
    for (const auto& [program, usage] : tools) {
        for (const char* flag : {"--help", "-h"}) {
            SCOPED_TRACE(program + " " + flag);
            const ProgramRun run = RunProgram({program, flag}, 30);
            EXPECT_EQ(run.exitCode, 0) << run.err;
            EXPECT_EQ(run.out.rfind(usage, 0), 0u) << run.out;
            EXPECT_EQ(run.out.find("plug-in   "), std::string::npos) << "it ran a session: " << run.out;
            EXPECT_EQ(run.out.find("Paired/"), std::string::npos) << "it ran the benchmark: " << run.out;
        }
    }
}

// The table row of an effect, split into words.
std::vector<std::string> Row(const std::string& table, const std::string& effect) {
    std::istringstream lines(table);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::vector<std::string> row;
        std::string word;
        while (words >> word) row.push_back(word);
        if (!row.empty() && row[0] == effect) return row;
    }
    return {};
}

TEST_F(Renderer, MissingInputIsAOneLineErrorAndWritesNothing) {
    const ProgramRun run = Render({Path("absent.wav"), Path("out.wav"), "helium"});
    ExpectOneLineError(run, 1, "cannot read " + Path("absent.wav"));
    ExpectFolderHolds({});
}

TEST_F(Renderer, FolderAsInputIsAOneLineErrorAndWritesNothing) {
    fs::create_directory(Path("folder.wav"));
    const ProgramRun run = Render({Path("folder.wav"), Path("out.wav"), "helium"});
    ExpectOneLineError(run, 1, "cannot read " + Path("folder.wav"));
    ExpectFolderHolds({"folder.wav"});
}

TEST_F(Renderer, TextOrDamagedInputIsAOneLineErrorAndWritesNothing) {
    morindale_test::WriteFile(Path("notes.wav"), "These are not samples.\n");
    ProgramRun run = Render({Path("notes.wav"), Path("out.wav"), "helium"});
    ExpectOneLineError(run, 1, "cannot read " + Path("notes.wav"));
    morindale_test::WriteFile(Path("cut.wav"), std::string("RIFF\x24\x00\x00\x00WAVEfmt ", 16));
    run = Render({Path("cut.wav"), Path("all"), "all"});
    ExpectOneLineError(run, 1, "cannot read " + Path("cut.wav"));
    morindale_test::WriteFile(Path("empty.wav"), "");
    run = Render({Path("empty.wav"), Path("out.wav"), "clone"});
    ExpectOneLineError(run, 1, "cannot read " + Path("empty.wav"));
    // A whole header and no samples: nothing to render, not a 0-second file.
    ASSERT_TRUE(morindale_test::WriteWave(Path("header.wav"), {}, 48000, 1));
    run = Render({Path("header.wav"), Path("out.wav"), "helium"});
    ExpectOneLineError(run, 1, "cannot read " + Path("header.wav") + ": no samples in it");
    EXPECT_EQ(run.out, "");
    run = Render({Path("header.wav"), Path("all"), "all"});
    ExpectOneLineError(run, 1, "cannot read " + Path("header.wav") + ": no samples in it");
    ExpectFolderHolds({"notes.wav", "cut.wav", "empty.wav", "header.wav"});
}

TEST_F(Renderer, RatesOutside1kHzTo768kHzAreRefusedBeforeAnythingIsRendered) {
    // A file that claims 1 Hz once made the renderer size its 48 kHz buffer
    // from that claim: 9.6 GB for 100 KB. Small files here, so that a
    // renderer without the check renders rather than exhausts the machine.
    const std::vector<int16_t> samples = morindale_test::Sine(50, 8000, 2000);
    for (int rate : {1, 2, 999, 768001, 2000000000}) {
        SCOPED_TRACE(rate);
        ASSERT_TRUE(morindale_test::WriteWave(Path("odd.wav"), samples, rate, 1));
        const ProgramRun run = Render({Path("odd.wav"), Path("out.wav"), "myvoice"});
        ExpectOneLineError(run, 1, "cannot read " + Path("odd.wav") + ": its sample rate of " + std::to_string(rate) +
                                       " Hz is outside 1 kHz to 768 kHz");
        EXPECT_EQ(run.out, "");
        ExpectFolderHolds({"odd.wav"});
    }
    // The bounds themselves are rates like any other.
    for (int rate : {1000, 768000}) {
        SCOPED_TRACE(rate);
        ASSERT_TRUE(morindale_test::WriteWave(Path("odd.wav"), samples, rate, 1));
        const ProgramRun run = Render({Path("odd.wav"), Path("out.wav"), "myvoice"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        Wave out;
        ASSERT_TRUE(morindale_test::ReadWave(Path("out.wav"), &out));
        // 2000 samples last 2 s at 1 kHz and 1/384 s at 768 kHz: padded to
        // whole 960-sample blocks.
        EXPECT_EQ(out.samples.size(), rate == 1000 ? 96000u : 960u);
    }
}

TEST_F(Renderer, WhatSitsAtThePartialNameIsNeitherWrittenThroughNorWaitedFor) {
    ASSERT_TRUE(morindale_test::WriteWave(Path("in.wav"), morindale_test::Sine(200, 9000, 4800), 48000, 1));
    // A link to an unrelated file, and a FIFO that nobody reads.
    morindale_test::WriteFile(Path("victim.txt"), "keep me\n");
    fs::create_symlink(Path("victim.txt"), Path("out.wav.partial"));
    ASSERT_EQ(mkfifo(Path("fifo.wav.partial").c_str(), 0600), 0);
    for (const char* name : {"out.wav", "fifo.wav"}) {
        SCOPED_TRACE(name);
        const ProgramRun run = RunProgram({renderer_, Path("in.wav"), Path(name), "myvoice"}, 30);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        Wave out;
        ASSERT_TRUE(morindale_test::ReadWave(Path(name), &out));
        EXPECT_EQ(out.samples.size(), 4800u);
    }
    EXPECT_EQ(morindale_test::ReadFile(Path("victim.txt")), "keep me\n");
    EXPECT_TRUE(fs::is_symlink(Path("out.wav.partial")));
    EXPECT_TRUE(fs::is_fifo(Path("fifo.wav.partial")));
    ExpectFolderHolds({"in.wav", "victim.txt", "out.wav.partial", "fifo.wav.partial", "out.wav", "fifo.wav"});
}

TEST_F(Renderer, AnythingThatGoesWrongIsStillOneLine) {
    // A name longer than a folder entry may be: the file system refuses it
    // only once the result is ready, which once ended the renderer uncaught.
    ASSERT_TRUE(morindale_test::WriteWave(Path("in.wav"), morindale_test::Sine(200, 9000, 4800), 48000, 1));
    const std::string longName = Path(std::string(300, 'n') + ".wav");
    const ProgramRun run = Render({Path("in.wav"), longName, "myvoice"});
    ExpectOneLineError(run, 1, "cannot write " + longName);
    EXPECT_EQ(run.out, "");
    ExpectFolderHolds({"in.wav"});

    // Out of memory: 33 minutes at 1 kHz become 384 MB of 48 kHz floats,
    // more than a 320 MB address space holds. (The sanitizers reserve
    // terabytes of address space, so only the plain build can limit it.)
    if (std::string(MORINDALE_SANITIZE_MODE).empty()) {
        ASSERT_TRUE(morindale_test::WriteWave(Path("long.wav"), std::vector<int16_t>(2000000, 100), 1000, 1));
        const ProgramRun limited = RunProgram(
            {"/bin/sh", "-c", "ulimit -v 320000 && exec \"$0\" \"$@\"", renderer_, Path("long.wav"), Path("out.wav"),
             "myvoice"});
        ExpectOneLineError(limited, 1, "out of memory");
        ExpectFolderHolds({"in.wav", "long.wav"});
    }
}

TEST_F(Renderer, UnknownEffectOrWrongArgumentsAreOneLineErrors) {
    ASSERT_TRUE(morindale_test::WriteWave(Path("in.wav"), morindale_test::Sine(200, 9000, 4800), 48000, 1));
    ProgramRun run = Render({Path("in.wav"), Path("out.wav"), "chipmunk"});
    ExpectOneLineError(run, 2, "unknown effect 'chipmunk' (atari, clone, myvoice, mutation-slow, mutation, "
                               "mutation-fast, male, female, helium, baby, manual, female-natural, male-natural, "
                               "robotic, all)");
    // The manual pitch as "/morindale pitch" takes it, and nothing else.
    for (const char* pitch : {"12.5", "-13", "1e1", "nan", "inf", "0x3", "", "2.5555", "2.", "3 ", "+-2", "00000000001"}) {
        SCOPED_TRACE(pitch);
        run = Render({"--pitch", pitch, Path("in.wav"), Path("out.wav"), "manual"});
        ExpectOneLineError(run, 2, std::string("bad --pitch '") + pitch + "': from -12 to 12 with at most three decimals");
    }
    run = Render({Path("in.wav"), Path("out.wav")});
    ExpectOneLineError(run, 2, "usage: morindale-render");
    run = Render({"--fast", Path("in.wav"), Path("out.wav"), "helium"});
    ExpectOneLineError(run, 2, "unknown option --fast");
    run = Render({"--plugin", Path("absent.so"), Path("in.wav"), Path("out.wav"), "helium"});
    ExpectOneLineError(run, 1, "cannot run the plug-in");
    EXPECT_EQ(run.out, "");
    ExpectFolderHolds({"in.wav"});
}

TEST_F(Renderer, UnwritableOutputIsAOneLineErrorWithoutAPartialFile) {
    ASSERT_TRUE(morindale_test::WriteWave(Path("in.wav"), morindale_test::Sine(200, 9000, 4800), 48000, 1));
    ProgramRun run = Render({Path("in.wav"), Path("no-such-folder/out.wav"), "helium"});
    ExpectOneLineError(run, 1, "cannot write " + Path("no-such-folder/out.wav"));
    EXPECT_EQ(run.out, "");
    // The output is checked before the input is read: a missing input is not
    // what is reported.
    run = Render({Path("absent.wav"), Path("no-such-folder/out.wav"), "helium"});
    ExpectOneLineError(run, 1, "cannot write " + Path("no-such-folder/out.wav"));
    run = Render({Path("absent.wav"), Path("in.wav/rendered"), "all"});
    ExpectOneLineError(run, 1, "cannot write " + Path("in.wav/rendered"));
    fs::create_directory(Path("out.wav"));
    run = Render({Path("in.wav"), Path("out.wav"), "helium"});
    ExpectOneLineError(run, 1, "cannot write " + Path("out.wav") + ": it is a folder");
    ExpectFolderHolds({"in.wav", "out.wav"});
    EXPECT_TRUE(fs::is_empty(Path("out.wav")));
}

TEST_F(Renderer, HelpListsEveryEffectAndAllAndSucceeds) {
    for (const char* flag : {"--help", "-h"}) {
        SCOPED_TRACE(flag);
        const ProgramRun run = Render({flag});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out.rfind("usage: morindale-render", 0), 0u) << run.out;
        EXPECT_NE(run.out.find("atari, clone, myvoice, mutation-slow, mutation, mutation-fast, male, female, helium, "
                               "baby, manual, female-natural, male-natural, robotic, all"),
                  std::string::npos)
            << run.out;
    }
    ExpectFolderHolds({});
    // --list: the voices in menu order with their menu texts, for scripts.
    const ProgramRun list = Render({"--list"});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_EQ(list.out,
              "atari\tAtari Game\nclone\tClone\nmyvoice\tMy voice\nmutation-slow\tMutation (slow)\n"
              "mutation\tMutation\nmutation-fast\tMutation (fast)\nmale\tPitch (male)\nfemale\tPitch (female)\n"
              "helium\tPitch (helium)\nbaby\tPitch (baby)\nmanual\tPitch (manual)\nfemale-natural\tFemale (natural)\n"
              "male-natural\tMale (natural)\nrobotic\tRobotic Voice\n");
}

TEST_F(Renderer, MyVoiceSendsTheInputUnchangedInWholeBlocks) {
    std::vector<int16_t> voice = morindale_test::Sine(310, 30000, 10000);
    voice[0] = -32768;
    voice[1] = 32767;
    ASSERT_TRUE(morindale_test::WriteWave(Path("in.wav"), voice, 48000, 1));
    const ProgramRun run = Render({Path("in.wav"), Path("out.wav"), "myvoice"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Wave out;
    ASSERT_TRUE(morindale_test::ReadWave(Path("out.wav"), &out));
    EXPECT_EQ(out.rate, 48000);
    EXPECT_EQ(out.channels, 1);
    std::vector<int16_t> expected = voice;
    expected.resize(10560, 0);  // 11 blocks of 960
    EXPECT_EQ(out.samples, expected);
    const std::vector<std::string> row = Row(run.out, "myvoice");
    ASSERT_GE(row.size(), 2u) << run.out;
    EXPECT_EQ(row[1], "1.000");
}

TEST_F(Renderer, OtherRatesAndChannelsBecome48kHzMono) {
    // 441 Hz in the left channel, silence in the right: half level in mono.
    const std::vector<int16_t> tone = morindale_test::Sine(441.0 * 48000.0 / 44100.0, 20000, 44100);
    std::vector<int16_t> stereo;
    for (int16_t s : tone) {
        stereo.push_back(s);
        stereo.push_back(0);
    }
    ASSERT_TRUE(morindale_test::WriteWave(Path("in.wav"), stereo, 44100, 2));
    const ProgramRun run = Render({Path("in.wav"), Path("out.wav"), "myvoice"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Wave out;
    ASSERT_TRUE(morindale_test::ReadWave(Path("out.wav"), &out));
    EXPECT_EQ(out.rate, 48000);
    EXPECT_EQ(out.channels, 1);
    EXPECT_EQ(out.samples.size(), 48000u);  // one second, exactly 50 blocks
    // Frequency kept (0.2%: interpolated crossings over a second), level halved.
    EXPECT_NEAR(morindale_test::ZeroCrossingFrequency(out.samples, 2000, 46000), 441.0, 0.9);
    EXPECT_NEAR(morindale_test::Rms(out.samples, 2000, 46000), 10000 / std::sqrt(2.0), 150);
}

TEST_F(Renderer, HeliumTableShowsTheMeasuredPitchRatio) {
    // A voiced input: 140 Hz with harmonics, 3 s.
    std::vector<int16_t> voice(144000);
    for (std::size_t i = 0; i < voice.size(); ++i) {
        const double t = i / 48000.0;
        voice[i] = static_cast<int16_t>(6000 * std::sin(2 * M_PI * 140 * t) + 3000 * std::sin(2 * M_PI * 280 * t) +
                                        1500 * std::sin(2 * M_PI * 420 * t));
    }
    ASSERT_TRUE(morindale_test::WriteWave(Path("in.wav"), voice, 48000, 1));
    const ProgramRun run = Render({"--progress", Path("in.wav"), Path("out.wav"), "helium"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> row = Row(run.out, "helium");
    ASSERT_EQ(row.size(), 6u) << run.out;
    // Two-sided: the f0 estimate of a steady tone is good to well under 2%.
    EXPECT_NEAR(std::stod(row[1]), 1.587, 0.03) << run.out;
    EXPECT_EQ(row[2], "1.587");
    EXPECT_NE(row[4].find('x'), std::string::npos);
    EXPECT_EQ(row[5], Path("out.wav"));
    EXPECT_NE(run.err.find("100%"), std::string::npos) << "progress bar: " << run.err;
    ExpectFolderHolds({"in.wav", "out.wav"});
}

TEST_F(Renderer, AllWritesOneFilePerEffectAndATableRowForEach) {
    ASSERT_TRUE(morindale_test::WriteWave(Path("in.wav"), morindale_test::Sine(180, 12000, 48000), 48000, 1));
    const ProgramRun run = Render({Path("in.wav"), Path("rendered"), "all"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const char* effects[] = {"helium", "male", "female", "baby", "mutation-slow", "mutation",
                             "mutation-fast", "atari", "clone", "robotic", "myvoice", "manual",
                             "female-natural", "male-natural"};
    std::vector<std::string> files;
    for (const char* effect : effects) {
        SCOPED_TRACE(effect);
        files.push_back(std::string(effect) + ".wav");
        EXPECT_EQ(Row(run.out, effect).size(), 6u) << run.out;
        Wave out;
        ASSERT_TRUE(morindale_test::ReadWave(Path("rendered/" + files.back()), &out));
        EXPECT_EQ(out.samples.size(), 48000u);
        EXPECT_EQ(out.rate, 48000);
    }
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(Path("rendered"))) found.push_back(entry.path().filename().string());
    std::sort(found.begin(), found.end());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(found, files);
    // The effects differ from one another.
    Wave helium, baby;
    ASSERT_TRUE(morindale_test::ReadWave(Path("rendered/helium.wav"), &helium));
    ASSERT_TRUE(morindale_test::ReadWave(Path("rendered/baby.wav"), &baby));
    EXPECT_NE(helium.samples, baby.samples);
}

// The engine compiled into the library must process exactly as the SoundTouch
// build it replaced: the bundled voice through every effect, bit for bit,
// against the renderings recorded with Debian's shared libSoundTouch. The
// manual pitch and the natural voices are heard at the shift asked: the
// speech's median f0 moves by 2^(-4.5/12) = 0.771, 2^(5/12) = 1.335 and
// 2^(-4/12) = 0.794 (3%: f0 estimates of speech, while a quarter of a
// semitone is 1.5%).
TEST_F(Renderer, BundledVoiceRendersBitForBitAsRecorded) {
    const std::string source = MORINDALE_SOURCE_DIR;
    const ProgramRun run =
        Render({"--pitch", "-4.5", source + "/tests/data/voice-sample.wav", Path("rendered"), "all"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> manual = Row(run.out, "manual");
    ASSERT_EQ(manual.size(), 6u) << run.out;
    EXPECT_EQ(manual[2], "0.771");
    EXPECT_NEAR(std::stod(manual[1]) / 0.7711, 1.0, 0.03) << run.out;
    for (const auto& [name, ratio] : {std::pair<const char*, double>{"female-natural", 1.3348},
                                      std::pair<const char*, double>{"male-natural", 0.7937}}) {
        const std::vector<std::string> row = Row(run.out, name);
        ASSERT_EQ(row.size(), 6u) << run.out;
        EXPECT_NEAR(std::stod(row[1]) / ratio, 1.0, 0.03) << name << "\n" << run.out;
    }
    int status = 0;
    const std::string check = morindale_test::RunCommand(
        "cd '" + Path("rendered") + "' && sha256sum -c '" + source + "/tests/data/voice-sample-renders.sha256'", &status);
    EXPECT_EQ(status, 0) << check;
}

}  // namespace
