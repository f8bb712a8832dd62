// The cost of one 960-sample block (20 ms) through the built plug-in's
// captured-voice hook, per effect, chosen by hotkey as the client would,
// against the same block through a bare SoundTouch with the plug-in's
// settings and pitch rule.
//
// The two sides are paired block by block: each block of the bundled speech
// goes through the hook and through bare SoundTouch (with the same 16-bit to
// float conversion and back), the order alternating from block to block, and
// each side's thread CPU time is summed. A repetition's ratio hook / bare so
// compares the two on the same audio at the same moment, and whatever else
// the machine does falls on both sides alike. The table after the runs gives,
// across the repetitions, the median ratio and its spread (lowest to highest),
// and the real-time factor of the hook, with the targets: fixed shifts within
// 10% of bare SoundTouch; Clone, Robotic Voice and My voice at least 5000
// times faster than real time. The natural voices' shifter is paired the
// same way with bare SoundTouch at the voice's shift: at most 15 times its
// time.
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
#include "natural_voice_shifter.h"
#include "sample_conversion.h"

namespace {

constexpr int kBlock = 960;
constexpr double kBlockSeconds = 0.02;
constexpr int kWarmUpBlocks = 300;
constexpr int kBlocksPerRepetition = 500;  // 10 s of speech
constexpr int kRepetitions = 9;

enum class Pitch { Fixed, Mutation, Atari, None };

struct Effect {
    const char* name;
    const char* hotkey;
    Pitch pitch;
    int semitones;  // Fixed
    float fall;     // Mutation
};

const Effect kEffects[] = {
    {"helium", "effect_phelium", Pitch::Fixed, 8, 0},
    {"male", "effect_pmale", Pitch::Fixed, -3, 0},
    {"female", "effect_pfmale", Pitch::Fixed, 4, 0},
    {"baby", "effect_pbaby", Pitch::Fixed, 12, 0},
    {"mutation-slow", "effect_mut_slow", Pitch::Mutation, 0, -0.01f},
    {"mutation", "effect_mutation", Pitch::Mutation, 0, -0.1f},
    {"mutation-fast", "effect_mut_fast", Pitch::Mutation, 0, -0.3f},
    {"atari", "effect_atari", Pitch::Atari, 0, 0},
    {"clone", "effect_clone", Pitch::None, 0, 0},
    {"robotic", "effect_robovoice", Pitch::None, 0, 0},
    {"myvoice", "effect_myvoice", Pitch::None, 0, 0},
};

// The natural voices' shifter, paired with bare SoundTouch at the same shift.
struct NaturalVoice {
    const char* name;
    int semitones;
    double formants;
};

const NaturalVoice kNaturalVoices[] = {
    {"female-natural", 5, 1.2},
    {"male-natural", -4, 0.9},
};
constexpr double kNaturalTarget = 15.0;  // at most this many times bare SoundTouch

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

// Bare SoundTouch as the plug-in sets it up, with the effect's pitch rule.
class BareProcessor {
public:
    explicit BareProcessor(const Effect& effect) : effect_(effect) {
        touch_.setSampleRate(48000);
        touch_.setChannels(1);
        touch_.setTempoChange(0);
        touch_.setRateChange(0);
        touch_.setSetting(SETTING_USE_QUICKSEEK, 0);
        touch_.setSetting(SETTING_USE_AA_FILTER, 1);
        touch_.setSetting(SETTING_SEQUENCE_MS, 40);
        touch_.setSetting(SETTING_SEEKWINDOW_MS, 15);
        touch_.setSetting(SETTING_OVERLAP_MS, 8);
    }
    BareProcessor(const BareProcessor&) = delete;
    BareProcessor& operator=(const BareProcessor&) = delete;

    void process(int16_t* block) {
        switch (effect_.pitch) {
            case Pitch::Fixed: touch_.setPitchSemiTones(effect_.semitones); break;
            case Pitch::Mutation:
                value_ += step_;
                if (value_ < -4.0f) {
                    value_ = -4.0f;
                    step_ = 0.1f;
                } else if (value_ > 13.0f) {
                    value_ = 13.0f;
                    step_ = effect_.fall;
                }
                touch_.setPitchSemiTones(static_cast<double>(value_));
                break;
            case Pitch::Atari:
                value_ += step_;
                if (value_ < -3.0f) {
                    step_ = 1.0f;
                    shift_ = 6;
                } else if (value_ > 4.0f) {
                    shift_ = -3;
                    step_ = -1.0f;
                }
                touch_.setPitchSemiTones(shift_);
                break;
            case Pitch::None: return;
        }
        SamplesToFloat(block, in_, kBlock);
        touch_.putSamples(in_, kBlock);
        const int received = static_cast<int>(touch_.receiveSamples(out_, kBlock));
        FloatToSamples(out_, block, received);
    }

private:
    const Effect& effect_;
    soundtouch::SoundTouch touch_;
    float value_ = 0.0f, step_ = 0.1f;
    int shift_ = 0;
    float in_[kBlock];
    float out_[kBlock];
};

// One repetition: kBlocksPerRepetition blocks, each through both sides. The
// manual iteration time is the hook's; the counters carry the bare side's
// time and the ratio of the sums.
void PairedBlocks(benchmark::State& state, const Effect* effect) {
    const std::vector<int16_t>& speech = Speech();
    if (speech.empty()) {
        state.SkipWithError(g_speechError.c_str());
        return;
    }
    morindale_host::ClientEmulator client;
    client.start();
    client.hotkey(effect->hotkey);
    using Hook = void (*)(uint64, short*, int, int, int*);
    const Hook hook = client.entry<Hook>("ts3plugin_onEditCapturedVoiceDataEvent");
    if (hook == nullptr) {
        state.SkipWithError("the plug-in has no captured-voice hook");
        return;
    }
    BareProcessor bare(*effect);
    const bool paired = effect->pitch != Pitch::None;
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

// One repetition of a natural voice: the shifter and bare SoundTouch with
// its fixed shift, block by block as above.
void PairedNatural(benchmark::State& state, const NaturalVoice* voice) {
    const std::vector<int16_t>& speech = Speech();
    if (speech.empty()) {
        state.SkipWithError(g_speechError.c_str());
        return;
    }
    const Effect fixed{voice->name, "", Pitch::Fixed, voice->semitones, 0};
    BareProcessor bare(fixed);
    NaturalVoiceShifter shifter;
    shifter.setShift(voice->semitones, voice->formants);
    const std::size_t blocks = speech.size() / kBlock;
    std::vector<int16_t> naturalBlock(kBlock), bareBlock(kBlock);
    long b = 0;
    double naturalTotal = 0.0, bareTotal = 0.0;
    auto runNatural = [&] {
        const double start = ThreadSeconds();
        shifter.process(naturalBlock.data(), naturalBlock.data(), kBlock);
        benchmark::ClobberMemory();
        return ThreadSeconds() - start;
    };
    auto runBare = [&] {
        const double start = ThreadSeconds();
        bare.process(bareBlock.data());
        benchmark::ClobberMemory();
        return ThreadSeconds() - start;
    };
    auto pair = [&] {
        const int16_t* source = speech.data() + (b % blocks) * kBlock;
        std::memcpy(naturalBlock.data(), source, kBlock * sizeof(int16_t));
        std::memcpy(bareBlock.data(), source, kBlock * sizeof(int16_t));
        double naturalSeconds = 0.0;
        if (b % 2 == 0) {
            naturalSeconds = runNatural();
            bareTotal += runBare();
        } else {
            bareTotal += runBare();
            naturalSeconds = runNatural();
        }
        ++b;
        return naturalSeconds;
    };
    for (int i = 0; i < kWarmUpBlocks; ++i) pair();
    bareTotal = 0.0;
    for (auto _ : state) {
        const double seconds = pair();
        naturalTotal += seconds;
        state.SetIterationTime(seconds);
    }
    state.counters["bare_us"] = bareTotal / static_cast<double>(state.iterations()) * 1e6;
    state.counters["ratio"] = naturalTotal / bareTotal;
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
        "Clone, Robotic Voice and My voice at least 5000x real time). The natural\n"
        "voices' shifter (female-natural, male-natural) is paired with bare\n"
        "SoundTouch at the same shift (target: at most 15x).\n"
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
    for (const Effect& effect : kEffects) {
        benchmark::RegisterBenchmark((std::string("Paired/") + effect.name).c_str(), PairedBlocks, &effect)
            ->Unit(benchmark::kMicrosecond)
            ->UseManualTime()
            ->Iterations(kBlocksPerRepetition)
            ->Repetitions(kRepetitions)
            ->ReportAggregatesOnly(false);
    }
    for (const NaturalVoice& voice : kNaturalVoices) {
        benchmark::RegisterBenchmark((std::string("Paired/") + voice.name).c_str(), PairedNatural, &voice)
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
    for (const Effect& effect : kEffects) {
        const Repetitions* repetitions = reporter.find(std::string("Paired/") + effect.name);
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
            if (effect.pitch == Pitch::Fixed) target = ratio <= 1.10 ? "within 10%: met" : "within 10%: MISSED";
        }
        if (effect.pitch == Pitch::None) target = realTime >= 5000 ? ">= 5000x: met" : ">= 5000x: MISSED";
        std::printf("%-14s %9.2f %8s %17s %8s %12.0f  %s\n", effect.name, hook * 1e6, ratioText.c_str(),
                    spreadText.c_str(), spreadPercent.c_str(), realTime, target.c_str());
    }
    for (const NaturalVoice& voice : kNaturalVoices) {
        const Repetitions* repetitions = reporter.find(std::string("Paired/") + voice.name);
        if (repetitions == nullptr || repetitions->ratios.empty()) continue;
        const double natural = Median(repetitions->hookSeconds);
        const double ratio = Median(repetitions->ratios);
        const auto [low, high] = std::minmax_element(repetitions->ratios.begin(), repetitions->ratios.end());
        char spread[64], target[64];
        std::snprintf(spread, sizeof spread, "%.3f..%.3f", *low, *high);
        std::snprintf(target, sizeof target, "<= %.0fx: %s", kNaturalTarget, ratio <= kNaturalTarget ? "met" : "MISSED");
        std::printf("%-14s %9.2f %8.3f %17s %8.1f %12.0f  %s\n", voice.name, natural * 1e6, ratio, spread,
                    (*high - *low) / ratio * 100.0, kBlockSeconds / natural, target);
    }
    return 0;
}
