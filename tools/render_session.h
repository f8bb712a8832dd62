// One rendering: the built plug-in loaded through the client emulator as the
// client loads it (function table, init, registration, menus and hotkeys),
// the effect chosen with its hotkey, and the input sent in 960-sample blocks
// with the send bit set. The result is what the client would send.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace morindale_render {

struct Effect {
    const char* name;      // on the command line
    const char* hotkey;    // the plug-in's hotkey keyword
    double semitones;      // the fixed shift, or NaN
};

// helium, male, female, baby, mutation-slow, mutation, mutation-fast, atari,
// clone, robotic, myvoice, in this order.
const std::vector<Effect>& Effects();
const Effect* FindEffect(const std::string& name);

struct Rendering {
    std::vector<int16_t> sent;  // the input padded to whole blocks, as sent
    double hookSeconds = 0.0;   // time spent inside the plug-in's hook
    int editedBlocks = 0;       // blocks the plug-in flagged as edited
};

constexpr int kClientBlock = 960;

// Renders input through effect. progress (may be empty) gets the fraction
// done now and then. Returns false with a one-line reason in error.
bool Render(const std::vector<int16_t>& input, const Effect& effect, const std::string& pluginFile,
            const std::function<void(double)>& progress, Rendering* out, std::string* error);

}  // namespace morindale_render
