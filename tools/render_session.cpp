#include "render_session.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <exception>

#include "client_emulator.h"

namespace morindale_render {

const std::vector<Effect>& Effects() {
    static const std::vector<Effect> effects = {
        {"helium", "effect_phelium", 8.0},      {"male", "effect_pmale", -3.0},
        {"female", "effect_pfmale", 4.0},       {"baby", "effect_pbaby", 12.0},
        {"mutation-slow", "effect_mut_slow", NAN}, {"mutation", "effect_mutation", NAN},
        {"mutation-fast", "effect_mut_fast", NAN}, {"atari", "effect_atari", NAN},
        {"clone", "effect_clone", NAN},         {"robotic", "effect_robovoice", NAN},
        {"myvoice", "effect_myvoice", NAN},
    };
    return effects;
}

const Effect* FindEffect(const std::string& name) {
    for (const Effect& effect : Effects())
        if (name == effect.name) return &effect;
    return nullptr;
}

bool Render(const std::vector<int16_t>& input, const Effect& effect, const std::string& pluginFile,
            const std::function<void(double)>& progress, Rendering* out, std::string* error) {
    try {
        morindale_host::Options options;
        options.pluginFile = pluginFile;
        morindale_host::ClientEmulator client(options);
        client.start();
        bool offered = false;
        for (const PluginHotkey& hotkey : client.hotkeys)
            if (std::strcmp(hotkey.keyword, effect.hotkey) == 0) offered = true;
        if (!offered) {
            *error = std::string("the plug-in offers no hotkey ") + effect.hotkey;
            return false;
        }
        client.hotkey(effect.hotkey);
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
