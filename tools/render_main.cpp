// morindale-render: plays a sound file through the built plug-in as the
// client would, and writes what the client would send.
//
//   morindale-render [--plugin FILE] [--pitch SEMITONES] [--progress | --no-progress] INPUT OUTPUT EFFECT
//   morindale-render --list
//
// EFFECT is a voice's name from the plug-in's voice table (--list prints
// them with their menu texts, in menu order), or all; with all, OUTPUT is a
// folder that receives one <effect>.wav per effect. --pitch is the pitch of
// manual (Pitch (manual)). A table of the measured pitch ratio (output to
// input), output level and real-time factor follows.
//
// Errors are one line on standard error with a non-zero exit, and leave no
// output file: the output path is checked before the input is read, and the
// table starts only once the first file is in place. Nothing else ends it:
// whatever is thrown (out of memory, a file system error) becomes that line.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "audio_file.h"
#include "pitch_measure.h"
#include "render_session.h"
#include "semitone_text.h"

namespace fs = std::filesystem;
using namespace morindale_render;

namespace {

constexpr double kLongInputSeconds = 20.0;  // a progress bar from here on

bool g_progressOpen = false;  // a progress line without its line end on stderr

int Fail(const std::string& message, int code = 1) {
    // The error replaces an unfinished progress line rather than joining it.
    if (g_progressOpen) std::fprintf(stderr, "\r%*s\r", 60, "");
    std::fprintf(stderr, "morindale-render: %s\n", message.c_str());
    return code;
}

std::string EffectsAndAll() { return EffectList() + ", all"; }

constexpr const char* kUsage =
    "usage: morindale-render [--plugin FILE] [--pitch SEMITONES] [--progress|--no-progress] INPUT OUTPUT EFFECT";

void PrintHelp() {
    std::printf(
        "%s\n"
        "\n"
        "Plays INPUT through the built plug-in in 20 ms blocks, exactly as the client\n"
        "sends the microphone, and writes what the client would send to OUTPUT\n"
        "(48 kHz mono 16-bit; WAV, or FLAC/AIFF by the extension). INPUT is any file\n"
        "libsndfile reads, at any rate and channel count.\n"
        "\n"
        "EFFECT is one of: %s.\n"
        "With all, OUTPUT is a folder that receives one <effect>.wav per effect.\n"
        "A table of measured pitch ratio, level and real-time factor follows.\n"
        "\n"
        "  --plugin FILE   the plug-in library to load (default: the one of this build)\n"
        "  --pitch SEMITONES  the pitch of manual, set as \"/morindale pitch\" sets it:\n"
        "                  -12 to 12, at most three decimals (default: 0)\n"
        "  --list          the effects with their menu texts, one a line, and nothing else\n"
        "  --progress      show a progress bar on standard error\n"
        "  --no-progress   never show one (default: for input of 20 s or more at a terminal)\n"
        "  -h, --help      this text\n",
        kUsage, EffectsAndAll().c_str());
}

void DrawProgress(const char* name, double fraction) {
    const int width = 30;
    const int filled = static_cast<int>(fraction * width + 0.5);
    std::fprintf(stderr, "\r%-14s [%s%s] %3d%%", name, std::string(filled, '#').c_str(),
                 std::string(width - filled, '-').c_str(), static_cast<int>(fraction * 100 + 0.5));
    g_progressOpen = fraction < 1.0;
    if (!g_progressOpen) std::fputc('\n', stderr);
    std::fflush(stderr);
}

std::string Number(double value, const char* format) {
    if (!std::isfinite(value)) return "-";
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// A folder the renderer may write into: exists, is a folder, is writable.
bool WritableFolder(const fs::path& folder) {
    std::error_code error;
    return fs::is_directory(folder, error) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

// Why OUTPUT cannot take the result, or empty when it can. For all, OUTPUT
// is a folder that exists or can be made under its nearest existing parent.
std::string OutputProblem(const std::string& output, bool folder) {
    std::error_code error;
    const fs::path path = fs::absolute(output, error);
    if (error) return "cannot write " + output + ": " + error.message();
    // A name the file system refuses (too long, a loop of links) fails now,
    // not once the result is ready.
    static_cast<void>(fs::status(path, error));
    if (error && error != std::errc::no_such_file_or_directory) return "cannot write " + output + ": " + error.message();
    if (folder) {
        fs::path existing = path;
        while (!fs::exists(existing, error) && existing.has_parent_path() && existing != existing.parent_path())
            existing = existing.parent_path();
        if (existing == path && !fs::is_directory(path, error)) return "cannot write " + output + ": not a folder";
        if (!WritableFolder(existing)) return "cannot write " + output + ": " + existing.string() + " is not a writable folder";
        return "";
    }
    if (fs::is_directory(path, error)) return "cannot write " + output + ": it is a folder";
    if (!WritableFolder(path.parent_path())) return "cannot write " + output + ": no writable folder " + path.parent_path().string();
    return "";
}

// Files and the folder this run made: removed again should a later step
// fail, so that a failed run leaves nothing behind.
std::vector<std::string> g_madeFiles;
std::string g_madeFolder;

int FailAndClean(const std::string& message) {
    std::error_code ignored;
    for (const std::string& file : g_madeFiles) fs::remove(file, ignored);
    if (!g_madeFolder.empty()) fs::remove(g_madeFolder, ignored);
    return Fail(message);
}

// An exception's text as one line.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

}  // namespace

static int Run(int argc, char** argv) {
    std::string pluginFile;
    int manualPitch = 0;    // thousandths of a semitone
    int progressMode = -1;  // -1: on long input at a terminal
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            PrintHelp();
            return 0;
        } else if (arg == "--list") {
            for (const Voice& voice : kVoices) std::printf("%s\t%s\n", voice.rendererName, voice.menuText);
            return 0;
        } else if (arg == "--plugin" && i + 1 < argc) {
            pluginFile = argv[++i];
        } else if (arg == "--pitch" && i + 1 < argc) {
            if (!ParseSemitones(argv[++i], &manualPitch))
                return Fail(std::string("bad --pitch '") + argv[i] +
                                "': from -12 to 12 with at most three decimals, e.g. --pitch -2.5",
                            2);
        } else if (arg == "--progress") {
            progressMode = 1;
        } else if (arg == "--no-progress") {
            progressMode = 0;
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            return Fail("unknown option " + arg + " (--help lists them)", 2);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 3) return Fail(std::string(kUsage) + " (--help for more)", 2);
    const std::string& inputPath = positional[0];
    const std::string& outputPath = positional[1];
    const std::string& effectName = positional[2];
    const bool all = effectName == "all";

    std::vector<const Voice*> chosen;
    if (all) {
        for (const Voice& voice : kVoices) chosen.push_back(&voice);
    } else if (const Voice* voice = FindEffect(effectName)) {
        chosen.push_back(voice);
    } else {
        return Fail("unknown effect '" + effectName + "' (" + EffectsAndAll() + ")", 2);
    }

    // Before the input is read: a long input should not be read in vain.
    const std::string outputProblem = OutputProblem(outputPath, all);
    if (!outputProblem.empty()) return Fail(outputProblem);

    std::vector<int16_t> input;
    std::string error;
    if (!ReadAsClientAudio(inputPath, &input, &error)) return Fail(error);
    if (input.empty()) return Fail("cannot read " + inputPath + ": no samples in it");

    // What this run makes is kept for FailAndClean, which main also calls
    // when anything is thrown.
    std::vector<std::string>& made = g_madeFiles;
    auto failAndClean = [](const std::string& message) { return FailAndClean(message); };
    if (all) {
        std::error_code fsError;
        if (!fs::exists(outputPath, fsError)) g_madeFolder = outputPath;
        fs::create_directories(outputPath, fsError);
        if (!fs::is_directory(outputPath)) return Fail("cannot make the folder " + outputPath);
    }

    const double seconds = static_cast<double>(input.size()) / kRate;
    const bool showProgress = progressMode == 1 || (progressMode == -1 && seconds >= kLongInputSeconds && isatty(2));
    const std::vector<double> inputF0 = VoicedF0(input);
    const double inputPitch = Median(inputF0);

    bool tableStarted = false;
    for (const Voice* voice : chosen) {
        const std::string file =
            all ? (fs::path(outputPath) / (std::string(voice->rendererName) + ".wav")).string() : outputPath;
        Rendering rendering;
        std::function<void(double)> progress;
        if (showProgress) progress = [voice](double fraction) { DrawProgress(voice->rendererName, fraction); };
        if (!Render(input, *voice, manualPitch, pluginFile, progress, &rendering, &error))
            return failAndClean(error);
        const bool existed = fs::exists(file);
        if (!WriteClientAudio(file, rendering.sent, &error)) return failAndClean(error);
        if (all && !existed) made.push_back(file);

        if (!tableStarted) {
            std::printf("%s: %.2f s at 48 kHz mono, %zu voiced frames, median f0 %s Hz\n", inputPath.c_str(),
                        seconds, inputF0.size(), Number(inputPitch, "%.1f").c_str());
            std::printf("%-14s %11s %9s %11s %10s  %s\n", "effect", "pitch ratio", "expected", "level dBFS",
                        "real time", "file");
            tableStarted = true;
        }
        const double outputPitch = Median(VoicedF0(rendering.sent));
        const double ratio = inputPitch > 0.0 && outputPitch > 0.0 ? outputPitch / inputPitch : NAN;
        const double semitones = ExpectedSemitones(*voice, manualPitch);
        const double expected = std::isnan(semitones) ? NAN : std::pow(2.0, semitones / 12.0);
        const double speed = rendering.hookSeconds > 0.0
                                 ? static_cast<double>(rendering.sent.size()) / kRate / rendering.hookSeconds
                                 : NAN;
        std::printf("%-14s %11s %9s %11s %10s  %s\n", voice->rendererName, Number(ratio, "%.3f").c_str(),
                    Number(expected, "%.3f").c_str(), Number(LevelDbfs(rendering.sent), "%.1f").c_str(),
                    (Number(speed, "%.0f") + "x").c_str(), file.c_str());
        std::fflush(stdout);
    }
    return 0;
}

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        return FailAndClean("out of memory");
    } catch (const std::exception& error) {
        return FailAndClean(OneLine(error.what()));
    } catch (...) {
        return FailAndClean("unexpected error");
    }
}
