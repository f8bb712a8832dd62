// morindale-preview: hear the voices live, without a client.
//
//   morindale-preview [--plugin FILE] [--effect NAME | NAME]
//
// Loads the built plug-in through the client emulator as the renderer does,
// turns its own monitor (Hear Voice) off, and then, in real time, reads the
// default microphone in 20 ms blocks, hands each to the captured-voice hook
// as the client would before sending it, and plays what the hook returns on
// the default output. Keys 1 to 9 and 0 choose the first ten voices in menu
// order (the plug-in's voice table), the arrow keys step through all of
// them, + and - raise and lower the manual pitch by half a semitone, q or
// Ctrl-C stops. Errors are one line on standard error and a non-zero exit.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "client_emulator.h"
#include "preview_audio.h"
#include "preview_terminal.h"
#include "render_session.h"
#include "semitone_text.h"
#include "voice_table.h"

using namespace morindale_preview;
using morindale_render::EffectList;
using morindale_render::FindEffect;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kBlockWait = std::chrono::milliseconds(100);  // keys stay responsive
constexpr auto kSilentMicrophone = std::chrono::seconds(3);
constexpr int kStatusEveryBlocks = 50;  // once a second when not at a terminal
constexpr int kSteadyAfterBlocks = 50;  // the delay is reported from 1 s on
constexpr int kPitchKeyStep = 500;      // thousandths of a semitone
constexpr int kPitchHighest = 12000;

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) { g_stop = 1; }

int Fail(const std::string& message, int code = 1) {
    std::fflush(stdout);
    std::fprintf(stderr, "morindale-preview: %s\n", message.c_str());
    return code;
}

constexpr const char* kUsage = "usage: morindale-preview [--plugin FILE] [--effect NAME | NAME]";

void PrintHelp() {
    std::printf(
        "%s\n"
        "\n"
        "Plays your microphone through the built plug-in to your speakers in real\n"
        "time, 20 ms blocks exactly as the client sends them, so that you can hear a\n"
        "voice before you join a channel. Uses the default input and output of the\n"
        "sound server (PulseAudio or PipeWire). Headphones keep the speakers out of\n"
        "the microphone.\n"
        "\n"
        "NAME is one of: %s\n"
        "(default: helium).\n"
        "\n"
        "Keys: 1 to 9 and 0 choose the first ten voices in the plug-in's menu order,\n"
        "the arrow keys step through all %zu, + and - raise and lower the pitch of\n"
        "manual (Pitch (manual)) by half a semitone and choose it, q or Ctrl-C stops.\n"
        "The terminal shows the voice, the input level and the delay from microphone\n"
        "to speakers.\n"
        "\n"
        "  --effect NAME   the voice to start with\n"
        "  --plugin FILE   the plug-in library to load (default: the one of this build)\n"
        "  -h, --help      this text\n",
        kUsage, EffectList().c_str(), kVoiceCount);
}

double LevelDbfs(const int16_t* block) {
    double sum = 0.0;
    for (int i = 0; i < kBlock; ++i) sum += static_cast<double>(block[i]) * block[i];
    const double rms = std::sqrt(sum / kBlock);
    return rms > 0.0 ? 20.0 * std::log10(rms / 32768.0) : -120.0;
}

// manualPitch: thousandths of a semitone, shown with Pitch (manual).
std::string Status(std::size_t current, int manualPitch, double level, double delay, bool live) {
    const Voice& voice = kVoices[current];
    char key[8] = "";
    if (current < 10) std::snprintf(key, sizeof key, "[%zu] ", (current + 1) % 10);
    char delayText[32] = "delay -";
    if (delay >= 0.0) std::snprintf(delayText, sizeof delayText, "delay %.0f ms", delay * 1000.0);
    char levelText[24];
    std::snprintf(levelText, sizeof levelText, "%.0f dBFS", std::max(level, -99.0));
    std::string bar;
    if (live) {
        const int width = 20;
        const int filled = std::clamp(static_cast<int>((level + 60.0) / 60.0 * width + 0.5), 0, width);
        bar = "[" + std::string(filled, '#') + std::string(width - filled, '-') + "] ";
    }
    std::string pitch;
    if (voice.rule.kind == RuleKind::ManualShift) {
        char value[kSemitoneTextSize];
        FormatSemitones(manualPitch, value);
        pitch = std::string(" ") + value + (std::abs(manualPitch) == 1000 ? " semitone" : " semitones");
    }
    return std::string("voice ") + key + voice.menuText + pitch + " (" + voice.rendererName + ")  input " + bar +
           levelText + "  " + delayText;
}

}  // namespace

int main(int argc, char** argv) {
    std::string pluginFile;
    std::string effectName;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            PrintHelp();
            return 0;
        } else if ((arg == "--effect" || arg == "--plugin") && i + 1 < argc) {
            (arg == "--effect" ? effectName : pluginFile) = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Fail("unknown option " + arg + " (--help lists them)", 2);
        } else if (effectName.empty()) {
            effectName = arg;
        } else {
            return Fail(std::string(kUsage) + " (--help for more)", 2);
        }
    }
    if (effectName.empty()) effectName = "helium";
    if (FindEffect(effectName) == nullptr)
        return Fail("unknown effect '" + effectName + "' (" + EffectList() + ")", 2);

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    // Before the emulator: it points libpulse's environment at a private,
    // empty place for the plug-in, and libpulse reads it when connecting.
    PreviewAudio audio;
    std::string error;
    if (!audio.connect(&error)) return Fail(error);

    try {
        morindale_host::Options options;
        options.pluginFile = pluginFile;
        morindale_host::ClientEmulator client(options);
        client.start();
        // The preview plays the hook's result itself; the plug-in's monitor
        // would play it a second time.
        for (int attempt = 0; attempt < 2; ++attempt) {
            client.hotkey("effect_hearvoice");
            const std::vector<std::string> chat = client.chatMessages();
            if (!chat.empty() && chat.back().find(" Off ") != std::string::npos) break;
        }
        using Hook = void (*)(uint64, short*, int, int, int*);
        const Hook hook = client.entry<Hook>("ts3plugin_onEditCapturedVoiceDataEvent");
        if (hook == nullptr) return Fail("the plug-in has no captured-voice hook");
        std::size_t current = 0;
        while (current + 1 < kVoiceCount && effectName != kVoices[current].rendererName) ++current;
        client.hotkey(kVoices[current].hotkey);
        int manualPitch = 0;  // the plug-in's own at start: its home is fresh

        if (!audio.open(&error)) return Fail(error);

        Terminal terminal;
        terminal.line("Morindale preview: 1-9, 0 and the arrow keys switch the voice; + and - move the manual pitch; "
                      "q or Ctrl-C stops.");
        int16_t block[kBlock];
        long blocks = 0;
        double level = -120.0;
        std::vector<double> delays;  // the last second's, for a steady figure
        double delay = -1.0;
        bool changed = true;
        auto lastBlock = Clock::now();
        while (g_stop == 0) {
            const Key key = terminal.readKey();
            if (key.kind == KeyKind::Quit) break;
            if (key.kind == KeyKind::PitchUp || key.kind == KeyKind::PitchDown) {
                // As the user would type it; the command also chooses the voice.
                manualPitch = std::clamp(manualPitch + (key.kind == KeyKind::PitchUp ? kPitchKeyStep : -kPitchKeyStep),
                                         -kPitchHighest, kPitchHighest);
                char value[kSemitoneTextSize];
                FormatSemitones(manualPitch, value);
                client.command((std::string("pitch ") + value).c_str());
                current = static_cast<std::size_t>(FindVoice(EFFECT_PITCH_MANUAL) - kVoices);
                changed = true;
            } else if (key.kind != KeyKind::None) {
                std::size_t next = current;
                if (key.kind == KeyKind::Next) next = (current + 1) % kVoiceCount;
                if (key.kind == KeyKind::Previous) next = (current + kVoiceCount - 1) % kVoiceCount;
                if (key.kind == KeyKind::Choose && static_cast<std::size_t>(key.index) < kVoiceCount)
                    next = static_cast<std::size_t>(key.index);
                current = next;
                client.hotkey(kVoices[current].hotkey);
                changed = true;
            }
            const int got = audio.read(block, kBlockWait, &error);
            if (got < 0) return Fail(error);
            if (got == 0) {
                if (Clock::now() - lastBlock > kSilentMicrophone) return Fail("the microphone sends nothing");
                continue;
            }
            lastBlock = Clock::now();
            level = LevelDbfs(block);
            int edited = EDIT_FLAG_SENDING;
            hook(client.data().currentServerConnectionHandlerID, block, kBlock, 1, &edited);
            if (!audio.play(block, &error)) return Fail(error);
            ++blocks;

            const double now = audio.delaySeconds();
            if (now >= 0.0) {
                delays.push_back(now);
                if (delays.size() > kStatusEveryBlocks) delays.erase(delays.begin());
            }
            if (blocks >= kSteadyAfterBlocks && !delays.empty()) {
                std::vector<double> sorted = delays;
                std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
                delay = sorted[sorted.size() / 2];
            }
            if (changed || terminal.live() || blocks % kStatusEveryBlocks == 0)
                terminal.status(Status(current, manualPitch, level, delay, terminal.live()));
            changed = false;
        }
        char summary[160];
        std::snprintf(summary, sizeof summary, "stopped after %.1f s; delay %s; %ld block(s) dropped",
                      blocks * 0.02, delay >= 0.0 ? (std::to_string(std::lround(delay * 1000.0)) + " ms").c_str() : "-",
                      audio.droppedBlocks());
        terminal.line(summary);
        client.shutdown();
        client.unload();
        return 0;
    } catch (const std::exception& failure) {
        return Fail(std::string("cannot run the plug-in: ") + failure.what());
    }
}
