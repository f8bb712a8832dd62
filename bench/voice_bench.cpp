// The cost of one 960-sample block (20 ms) through the built plug-in's
// captured-voice hook, per voice of the voice table, chosen by hotkey as the
// client would (Pitch (manual) by "/morindale pitch"), against the same block
// through a bare SoundTouch with the plug-in's settings and pitch rule.
//
// The two sides are paired block by block: each block of the bundled speech
// goes through the hook and through bare SoundTouch (with the same 16-bit to
// float conversion and back), the order alternating from block to block, and
// each side's thread CPU time is summed. A repetition's ratio hook / bare so
// compares the two on the same audio at the same moment, and whatever else
// the machine does falls on both sides alike. The table after the runs gives,
// across the repetitions, the median ratio and its spread (lowest to highest),
// and the real-time factor of the hook, with the targets: fixed shifts within
// 10% of bare SoundTouch; the natural voices at most 15 times bare SoundTouch
// at the same shift; Clone, Robotic Voice and My voice at least 5000 times
// faster than real time.
//
// Both sides allocate when the pitch changes: SoundTouch redesigns its
// anti-alias filter (5 allocations a block under Mutation, once every eighth
// block under Atari Game); the plug-in's own code allocates nothing.
#include <benchmark/benchmark.h>

#include <SoundTouch.h>
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "audio_file.h"
#include "client_emulator.h"
#include "pitch_rules.h"
#include "sample_conversion.h"
#include "soundtouch_pitch.h"
#include "voice_table.h"

namespace {

constexpr int kBlock = 960;
constexpr double kBlockSeconds = 0.02;
constexpr int kWarmUpBlocks = 300;
constexpr int kBlocksPerRepetition = 500;  // 10 s of speech
constexpr int kRepetitions = 9;

// The manual pitch of the runs, in semitones, as the command sets it.
constexpr const char* kManualPitchText = "2.5";
constexpr float kManualPitch = 2.5f;

std::string g_speechError;

// The bundled voice sample at 48 kHz in whole blocks, looped by the runs.
const std::vector<int16_t>& Speech() {
    static const std::vector<int16_t> speech = [] {
        std::vector<int16_t> samples;
        if (!morindale_render::ReadAsClientAudio(MORINDALE_VOICE_SAMPLE, &samples, &g_speechError)) return samples;
        samples.resize(samples.size() / kBlock * kBlock);
        if (samples.empty()) g_speechError = std::string(MORINDALE_VOICE_SAMPLE) + " holds less than one block";
        return samples;
    }();
    return speech;
}

double ThreadSeconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

// The voices that shift the pitch: they are timed against bare SoundTouch.
bool PairedWithSoundTouch(RuleKind kind) { return UsesPitchProcessor(kind) || kind == RuleKind::NaturalShift; }

// Bare SoundTouch as the plug-in sets it up, with the voice's pitch rule.
class BareProcessor {
public:
    explicit BareProcessor(const Voice& voice) : voice_(voice) { ConfigureForVoice(touch_); }
    BareProcessor(const BareProcessor&) = delete;
    BareProcessor& operator=(const BareProcessor&) = delete;

    void process(int16_t* block) {
        switch (voice_.rule.kind) {
            case RuleKind::FixedShift:
            case RuleKind::NaturalShift:  // the same shift, formants moving with it
                touch_.setPitchSemiTones(static_cast<double>(voice_.rule.semitones));
                break;
            case RuleKind::ManualShift: touch_.setPitchSemiTones(static_cast<double>(kManualPitch)); break;
            case RuleKind::Sweep:
                MutationRule(value_, step_, voice_.rule.semitones);
                touch_.setPitchSemiTones(static_cast<double>(value_));
                break;
            case RuleKind::Jump:
                AtariRule(value_, step_, shift_);
                touch_.setPitchSemiTones(shift_);
                break;
            default: return;
        }
        SamplesToFloat(block, in_, kBlock);
        touch_.putSamples(in_, kBlock);
        const int received = static_cast<int>(touch_.receiveSamples(out_, kBlock));
        FloatToSamples(out_, block, received);
    }

private:
    const Voice& voice_;
    soundtouch::SoundTouch touch_;
    float value_ = kSweepStartValue, step_ = kSweepStartStep;
    int32_t shift_ = 0;
    float in_[kBlock];
    float out_[kBlock];
};

// One repetition: kBlocksPerRepetition blocks, each through both sides. The
// manual iteration time is the hook's; the counters carry the bare side's
// time and the ratio of the sums.
void PairedBlocks(benchmark::State& state, const Voice* voice) {
    const std::vector<int16_t>& speech = Speech();
    if (speech.empty()) {
        state.SkipWithError(g_speechError.c_str());
        return;
    }
    morindale_host::ClientEmulator client;
    client.start();
    if (voice->rule.kind == RuleKind::ManualShift)
        client.command((std::string("pitch ") + kManualPitchText).c_str());
    else
        client.hotkey(voice->hotkey);
    using Hook = void (*)(uint64, short*, int, int, int*);
    const Hook hook = client.entry<Hook>("ts3plugin_onEditCapturedVoiceDataEvent");
    if (hook == nullptr) {
        state.SkipWithError("the plug-in has no captured-voice hook");
        return;
    }
    BareProcessor bare(*voice);
    const bool paired = PairedWithSoundTouch(voice->rule.kind);
    const std::size_t blocks = speech.size() / kBlock;
    std::vector<int16_t> hookBlock(kBlock), bareBlock(kBlock);
    long b = 0;
    double hookTotal = 0.0, bareTotal = 0.0;
    auto runHook = [&] {
        const double start = ThreadSeconds();
        int edited = EDIT_FLAG_SENDING;
        hook(1, hookBlock.data(), kBlock, 1, &edited);
        benchmark::DoNotOptimize(edited);
        benchmark::ClobberMemory();
        return ThreadSeconds() - start;
    };
    auto runBare = [&] {
        const double start = ThreadSeconds();
        bare.process(bareBlock.data());
        benchmark::ClobberMemory();
        return ThreadSeconds() - start;
    };
    // One pair; returns the hook's time.
    auto pair = [&] {
        const int16_t* source = speech.data() + (b % blocks) * kBlock;
        std::memcpy(hookBlock.data(), source, kBlock * sizeof(int16_t));
        std::memcpy(bareBlock.data(), source, kBlock * sizeof(int16_t));
        double hookSeconds = 0.0;
        if (!paired) {
            hookSeconds = runHook();
        } else if (b % 2 == 0) {
            hookSeconds = runHook();
            bareTotal += runBare();
        } else {
            bareTotal += runBare();
            hookSeconds = runHook();
        }
        ++b;
        return hookSeconds;
    };
    for (int i = 0; i < kWarmUpBlocks; ++i) pair();
    bareTotal = 0.0;
    for (auto _ : state) {
        const double seconds = pair();
        hookTotal += seconds;
        state.SetIterationTime(seconds);
    }
    if (paired) {
        state.counters["bare_us"] = bareTotal / static_cast<double>(state.iterations()) * 1e6;
        state.counters["ratio"] = hookTotal / bareTotal;
    }
    client.shutdown();
}

struct Repetitions {
    std::vector<double> hookSeconds;  // per block
    std::vector<double> ratios;
};

double Median(std::vector<double> values) {
    if (values.empty()) return NAN;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

// Collects every repetition of every effect for the table.
class TableReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.iterations == 0 || run.run_type != Run::RT_Iteration) continue;
            Repetitions& repetitions = byName_[run.run_name.function_name];
            repetitions.hookSeconds.push_back(run.real_accumulated_time / static_cast<double>(run.iterations));
            const auto ratio = run.counters.find("ratio");
            if (ratio != run.counters.end()) repetitions.ratios.push_back(ratio->second.value);
        }
    }
    const Repetitions* find(const std::string& name) const {
        const auto it = byName_.find(name);
        return it == byName_.end() ? nullptr : &it->second;
    }

private:
    std::map<std::string, Repetitions> byName_;
};

void PrintHelp() {
    std::printf(
        "usage: morindale-bench [GOOGLE BENCHMARK FLAGS]\n"
        "\n"
        "Times the built plug-in's captured-voice hook per 20 ms block, effect by\n"
        "effect, paired block by block with bare SoundTouch on the bundled speech\n"
        "sample, in %d repetitions of %d blocks. The table at the end gives the\n"
        "median ratio hook / bare with its spread across the repetitions, and the\n"
        "hook's real-time factor, against the targets (fixed shifts within 10%%;\n"
        "natural voices at most 15x bare SoundTouch at their shift; Clone,\n"
        "Robotic Voice and My voice at least 5000x real time).\n"
        "--benchmark_filter=helium, for instance, runs one effect.\n"
        "\n"
        "  -h, --help   this text and Google Benchmark's flags\n"
        "\n",
        kRepetitions, kBlocksPerRepetition);
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            PrintHelp();
            std::fflush(stdout);
            // Google Benchmark lists its own flags and ends the program.
            static char help[] = "--help";
            argv[i] = help;
        }
    }
    for (const Voice& voice : kVoices) {
        benchmark::RegisterBenchmark((std::string("Paired/") + voice.rendererName).c_str(), PairedBlocks, &voice)
            ->Unit(benchmark::kMicrosecond)
            ->UseManualTime()
            ->Iterations(kBlocksPerRepetition)
            ->Repetitions(kRepetitions)
            ->ReportAggregatesOnly(false);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\n%-14s %9s %8s %17s %8s %12s  %s\n", "effect", "hook us", "ratio", "spread", "spread%",
                "x real time", "target");
    for (const Voice& voice : kVoices) {
        const Repetitions* repetitions = reporter.find(std::string("Paired/") + voice.rendererName);
        if (repetitions == nullptr) continue;
        const double hook = Median(repetitions->hookSeconds);
        const double realTime = kBlockSeconds / hook;
        std::string ratioText = "-", spreadText = "-", spreadPercent = "-", target;
        if (!repetitions->ratios.empty()) {
            const double ratio = Median(repetitions->ratios);
            const auto [low, high] = std::minmax_element(repetitions->ratios.begin(), repetitions->ratios.end());
            char text[64];
            std::snprintf(text, sizeof text, "%.3f", ratio);
            ratioText = text;
            std::snprintf(text, sizeof text, "%.3f..%.3f", *low, *high);
            spreadText = text;
            std::snprintf(text, sizeof text, "%.1f", (*high - *low) / ratio * 100.0);
            spreadPercent = text;
            const RuleKind kind = voice.rule.kind;
            if (kind == RuleKind::FixedShift || kind == RuleKind::ManualShift) target = ratio <= 1.10 ? "within 10%: met" : "within 10%: MISSED";
            if (kind == RuleKind::NaturalShift) target = ratio <= 15.0 ? "<= 15x: met" : "<= 15x: MISSED";
        }
        if (!PairedWithSoundTouch(voice.rule.kind)) target = realTime >= 5000 ? ">= 5000x: met" : ">= 5000x: MISSED";
        std::printf("%-14s %9.2f %8s %17s %8s %12.0f  %s\n", voice.rendererName, hook * 1e6, ratioText.c_str(),
                    spreadText.c_str(), spreadPercent.c_str(), realTime, target.c_str());
    }
    return 0;
}
