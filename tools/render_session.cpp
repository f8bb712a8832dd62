#include "render_session.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <exception>

#include "client_emulator.h"
#include "semitone_text.h"

namespace morindale_render {

const Voice* FindEffect(const std::string& name) { return FindVoiceByRendererName(name.c_str()); }

std::string EffectList() {
    std::string list;
    for (const Voice& voice : kVoices) list += (list.empty() ? "" : ", ") + std::string(voice.rendererName);
    return list;
}

double ExpectedSemitones(const Voice& voice, int manualPitch) {
    switch (voice.rule.kind) {
        case RuleKind::FixedShift:
        case RuleKind::NaturalShift: return voice.rule.semitones;
        case RuleKind::ManualShift: return manualPitch / 1000.0;
        default: return NAN;
    }
}

// Sets the manual pitch as a user would, which also chooses the voice.
bool SetManualPitch(morindale_host::ClientEmulator& client, int manualPitch, std::string* error) {
    char value[kSemitoneTextSize];
    FormatSemitones(manualPitch, value);
    const std::string command = std::string("pitch ") + value;
    const std::size_t before = client.chatMessages().size();
    if (client.command(command.c_str()) != 0) {
        *error = "the plug-in knows no \"/morindale pitch\"";
        return false;
    }
    const std::vector<std::string> chat = client.chatMessages();
    if (chat.size() <= before || chat[before].rfind("Manual pitch set to ", 0) != 0) {
        *error = "the plug-in did not take \"/morindale " + command + "\"";
        return false;
    }
    return true;
}

bool Render(const std::vector<int16_t>& input, const Voice& voice, int manualPitch, const std::string& pluginFile,
            const std::function<void(double)>& progress, Rendering* out, std::string* error) {
    try {
        morindale_host::Options options;
        options.pluginFile = pluginFile;
        morindale_host::ClientEmulator client(options);
        client.start();
        bool offered = false;
        for (const PluginHotkey& hotkey : client.hotkeys)
            if (std::strcmp(hotkey.keyword, voice.hotkey) == 0) offered = true;
        if (!offered) {
            *error = std::string("the plug-in offers no hotkey ") + voice.hotkey;
            return false;
        }
        if (voice.rule.kind == RuleKind::ManualShift) {
            if (!SetManualPitch(client, manualPitch, error)) return false;
        } else {
            client.hotkey(voice.hotkey);
        }
        using Hook = void (*)(uint64, short*, int, int, int*);
        const Hook hook = client.entry<Hook>("ts3plugin_onEditCapturedVoiceDataEvent");
        if (hook == nullptr) {
            *error = "the plug-in has no captured-voice hook";
            return false;
        }

        const std::size_t blocks = (input.size() + kClientBlock - 1) / kClientBlock;
        out->sent.assign(blocks * kClientBlock, 0);
        std::copy(input.begin(), input.end(), out->sent.begin());
        out->hookSeconds = 0.0;
        out->editedBlocks = 0;
        const std::size_t every = blocks / 100 + 1;
        for (std::size_t b = 0; b < blocks; ++b) {
            short* block = out->sent.data() + b * kClientBlock;
            int edited = EDIT_FLAG_SENDING;
            const auto start = std::chrono::steady_clock::now();
            hook(client.data().currentServerConnectionHandlerID, block, kClientBlock, 1, &edited);
            out->hookSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (edited & EDIT_FLAG_EDITED) ++out->editedBlocks;
            if (progress && b % every == 0) progress(static_cast<double>(b) / blocks);
        }
        if (progress) progress(1.0);
        client.shutdown();
        client.unload();
        return true;
    } catch (const std::exception& failure) {
        *error = std::string("cannot run the plug-in: ") + failure.what();
        return false;
    }
}

}  // namespace morindale_render
