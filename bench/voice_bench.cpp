// The cost of one 960-sample block (20 ms) through the built plug-in's
// captured-voice hook, per effect, chosen by hotkey as the client would; and
// in the same run the same audio through a bare SoundTouch with the plug-in's
// settings, block size and pitch per block, fed float samples directly.
// After the runs a table gives, from the least CPU time per block of three
// repetitions, the ratio hook / bare and the real-time factor, with the targets: fixed shifts within 10% of bare SoundTouch;
// Clone, Robotic Voice and My voice at least 5000 times faster than real time.
#include <benchmark/benchmark.h>

#include <SoundTouch.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "client_emulator.h"

namespace {

constexpr int kBlock = 960;
constexpr double kBlockSeconds = 0.02;
constexpr int kSignalBlocks = 100;  // 2 s of signal, looped
constexpr int kWarmUpBlocks = 300;

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

// A voiced, loud test signal: 150 Hz with harmonics and a slow vibrato.
const std::vector<int16_t>& Signal() {
    static const std::vector<int16_t> signal = [] {
        std::vector<int16_t> s(kSignalBlocks * kBlock);
        double phase = 0.0;
        for (std::size_t i = 0; i < s.size(); ++i) {
            const double t = i / 48000.0;
            phase += 2 * M_PI * (150.0 + 8.0 * std::sin(2 * M_PI * 5 * t)) / 48000.0;
            s[i] = static_cast<int16_t>(7000 * std::sin(phase) + 3500 * std::sin(2 * phase + 0.3) +
                                        1500 * std::sin(3 * phase + 1.0));
        }
        return s;
    }();
    return signal;
}

void HookBlocks(benchmark::State& state, const Effect* effect) {
    morindale_host::ClientEmulator client;
    client.start();
    client.hotkey(effect->hotkey);
    using Hook = void (*)(uint64, short*, int, int, int*);
    const Hook hook = client.entry<Hook>("ts3plugin_onEditCapturedVoiceDataEvent");
    if (hook == nullptr) {
        state.SkipWithError("no hook");
        return;
    }
    const std::vector<int16_t>& signal = Signal();
    std::vector<int16_t> block(kBlock);
    long b = 0;
    auto send = [&] {
        std::memcpy(block.data(), signal.data() + (b++ % kSignalBlocks) * kBlock, kBlock * sizeof(int16_t));
        int edited = 2;
        hook(1, block.data(), kBlock, 1, &edited);
        benchmark::DoNotOptimize(edited);
        benchmark::ClobberMemory();
    };
    for (int i = 0; i < kWarmUpBlocks; ++i) send();
    for (auto _ : state) send();
    client.shutdown();
}

// The pitch rules, as the effects apply them per block.
struct Sweep {
    float value = 0.0f, step = 0.1f;
    int shift = 0;
};

void BareBlocks(benchmark::State& state, const Effect* effect) {
    soundtouch::SoundTouch touch;
    touch.setSampleRate(48000);
    touch.setChannels(1);
    touch.setTempoChange(0);
    touch.setRateChange(0);
    touch.setSetting(SETTING_USE_QUICKSEEK, 0);
    touch.setSetting(SETTING_USE_AA_FILTER, 1);
    touch.setSetting(SETTING_SEQUENCE_MS, 40);
    touch.setSetting(SETTING_SEEKWINDOW_MS, 15);
    touch.setSetting(SETTING_OVERLAP_MS, 8);
    std::vector<float> signal(Signal().size());
    for (std::size_t i = 0; i < signal.size(); ++i) signal[i] = Signal()[i] / 32768.0f;
    std::vector<float> out(kBlock);
    Sweep sweep;
    long b = 0;
    auto send = [&] {
        switch (effect->pitch) {
            case Pitch::Fixed: touch.setPitchSemiTones(effect->semitones); break;
            case Pitch::Mutation:
                sweep.value += sweep.step;
                if (sweep.value < -4.0f) {
                    sweep.value = -4.0f;
                    sweep.step = 0.1f;
                } else if (sweep.value > 13.0f) {
                    sweep.value = 13.0f;
                    sweep.step = effect->fall;
                }
                touch.setPitchSemiTones(static_cast<double>(sweep.value));
                break;
            case Pitch::Atari:
                sweep.value += sweep.step;
                if (sweep.value < -3.0f) {
                    sweep.step = 1.0f;
                    sweep.shift = 6;
                } else if (sweep.value > 4.0f) {
                    sweep.shift = -3;
                    sweep.step = -1.0f;
                }
                touch.setPitchSemiTones(sweep.shift);
                break;
            case Pitch::None: break;
        }
        touch.putSamples(signal.data() + (b++ % kSignalBlocks) * kBlock, kBlock);
        benchmark::DoNotOptimize(touch.receiveSamples(out.data(), kBlock));
        benchmark::ClobberMemory();
    };
    for (int i = 0; i < kWarmUpBlocks; ++i) send();
    for (auto _ : state) send();
}

// Collects the time per block of every run for the table.
class TableReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred || run.iterations == 0) continue;
            if (run.run_type != Run::RT_Iteration) continue;
            // CPU time, the least of the repetitions: the machine is shared,
            // and what others take is no cost of the plug-in.
            const double seconds = run.cpu_accumulated_time / static_cast<double>(run.iterations);
            const std::string name = run.run_name.function_name;
            const auto it = seconds_.find(name);
            if (it == seconds_.end() || seconds < it->second) seconds_[name] = seconds;
        }
    }
    double Seconds(const std::string& name) const {
        const auto it = seconds_.find(name);
        return it == seconds_.end() ? NAN : it->second;
    }

private:
    std::map<std::string, double> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
    for (const Effect& effect : kEffects) {
        benchmark::RegisterBenchmark((std::string("Hook/") + effect.name).c_str(), HookBlocks, &effect)
            ->Unit(benchmark::kMicrosecond)
            ->Repetitions(3);
        if (effect.pitch != Pitch::None)
            benchmark::RegisterBenchmark((std::string("BareSoundTouch/") + effect.name).c_str(), BareBlocks, &effect)
                ->Unit(benchmark::kMicrosecond)
                ->Repetitions(3);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\n%-14s %10s %10s %8s %12s  %s\n", "effect", "hook us", "bare us", "ratio", "x real time", "target");
    for (const Effect& effect : kEffects) {
        const double hook = reporter.Seconds(std::string("Hook/") + effect.name);
        if (std::isnan(hook)) continue;
        const double bare = reporter.Seconds(std::string("BareSoundTouch/") + effect.name);
        const double ratio = hook / bare;
        const double realTime = kBlockSeconds / hook;
        std::string target;
        if (effect.pitch == Pitch::Fixed) target = ratio <= 1.10 ? "within 10%: met" : "within 10%: MISSED";
        if (effect.pitch == Pitch::None) target = realTime >= 5000 ? ">= 5000x: met" : ">= 5000x: MISSED";
        std::printf("%-14s %10.2f %10s %8s %12.0f  %s\n", effect.name, hook * 1e6,
                    std::isnan(bare) ? "-" : std::to_string(bare * 1e6).substr(0, 6).c_str(),
                    std::isnan(bare) ? "-" : (std::to_string(ratio).substr(0, 5)).c_str(), realTime, target.c_str());
    }
    return 0;
}
