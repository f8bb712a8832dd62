// morindale-render: plays a sound file through the built plug-in as the
// client would, and writes what the client would send.
//
//   morindale-render [--plugin FILE] [--progress | --no-progress] INPUT OUTPUT EFFECT
//
// EFFECT is helium, male, female, baby, mutation-slow, mutation,
// mutation-fast, atari, clone, robotic, myvoice, or all; with all, OUTPUT is
// a folder that receives one <effect>.wav per effect. A table of the measured
// pitch ratio (output to input), output level and real-time factor follows.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "audio_file.h"
#include "pitch_measure.h"
#include "render_session.h"

namespace fs = std::filesystem;
using namespace morindale_render;

namespace {

constexpr double kLongInputSeconds = 20.0;  // a progress bar from here on

int Fail(const std::string& message, int code = 1) {
    std::fprintf(stderr, "morindale-render: %s\n", message.c_str());
    return code;
}

std::string EffectList() {
    std::string list;
    for (const Effect& effect : Effects()) list += std::string(effect.name) + ", ";
    return list + "all";
}

void DrawProgress(const char* name, double fraction) {
    const int width = 30;
    const int filled = static_cast<int>(fraction * width + 0.5);
    std::fprintf(stderr, "\r%-14s [%s%s] %3d%%", name, std::string(filled, '#').c_str(),
                 std::string(width - filled, '-').c_str(), static_cast<int>(fraction * 100 + 0.5));
    if (fraction >= 1.0) std::fputc('\n', stderr);
    std::fflush(stderr);
}

std::string Number(double value, const char* format) {
    if (!std::isfinite(value)) return "-";
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    std::string pluginFile;
    int progressMode = -1;  // -1: on long input at a terminal
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--plugin" && i + 1 < argc) {
            pluginFile = argv[++i];
        } else if (arg == "--progress") {
            progressMode = 1;
        } else if (arg == "--no-progress") {
            progressMode = 0;
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            return Fail("unknown option " + arg, 2);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 3)
        return Fail("usage: morindale-render [--plugin FILE] [--progress|--no-progress] INPUT OUTPUT EFFECT", 2);
    const std::string& inputPath = positional[0];
    const std::string& outputPath = positional[1];
    const std::string& effectName = positional[2];

    std::vector<const Effect*> chosen;
    if (effectName == "all") {
        for (const Effect& effect : Effects()) chosen.push_back(&effect);
    } else if (const Effect* effect = FindEffect(effectName)) {
        chosen.push_back(effect);
    } else {
        return Fail("unknown effect '" + effectName + "' (" + EffectList() + ")", 2);
    }

    std::vector<int16_t> input;
    std::string error;
    if (!ReadAsClientAudio(inputPath, &input, &error)) return Fail(error);

    std::error_code fsError;
    if (effectName == "all") {
        fs::create_directories(outputPath, fsError);
        if (!fs::is_directory(outputPath)) return Fail("cannot make the folder " + outputPath);
    }

    const double seconds = static_cast<double>(input.size()) / kRate;
    const bool showProgress = progressMode == 1 || (progressMode == -1 && seconds >= kLongInputSeconds && isatty(2));
    const std::vector<double> inputF0 = VoicedF0(input);
    const double inputPitch = Median(inputF0);

    std::printf("%s: %.2f s at 48 kHz mono, %zu voiced frames, median f0 %s Hz\n", inputPath.c_str(), seconds,
                inputF0.size(), Number(inputPitch, "%.1f").c_str());
    std::printf("%-14s %11s %9s %11s %10s  %s\n", "effect", "pitch ratio", "expected", "level dBFS", "real time",
                "file");
    for (const Effect* effect : chosen) {
        const std::string file =
            effectName == "all" ? (fs::path(outputPath) / (std::string(effect->name) + ".wav")).string() : outputPath;
        Rendering rendering;
        std::function<void(double)> progress;
        if (showProgress) progress = [effect](double fraction) { DrawProgress(effect->name, fraction); };
        if (!Render(input, *effect, pluginFile, progress, &rendering, &error)) return Fail(error);
        if (!WriteClientAudio(file, rendering.sent, &error)) return Fail(error);

        const double outputPitch = Median(VoicedF0(rendering.sent));
        const double ratio = inputPitch > 0.0 && outputPitch > 0.0 ? outputPitch / inputPitch : NAN;
        const double expected = std::isnan(effect->semitones) ? NAN : std::pow(2.0, effect->semitones / 12.0);
        const double speed = rendering.hookSeconds > 0.0
                                 ? static_cast<double>(rendering.sent.size()) / kRate / rendering.hookSeconds
                                 : NAN;
        std::printf("%-14s %11s %9s %11s %10s  %s\n", effect->name, Number(ratio, "%.3f").c_str(),
                    Number(expected, "%.3f").c_str(), Number(LevelDbfs(rendering.sent), "%.1f").c_str(),
                    (Number(speed, "%.0f") + "x").c_str(), file.c_str());
        std::fflush(stdout);
    }
    return 0;
}
