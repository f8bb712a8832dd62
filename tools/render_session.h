// One rendering: the built plug-in loaded through the client emulator as the
// client loads it (function table, init, registration, menus and hotkeys),
// the voice chosen with its hotkey (Pitch (manual) with "/morindale pitch",
// which sets the pitch and chooses the voice), and the input sent in
// 960-sample blocks with the send bit set. The result is what the client
// would send.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "voice_table.h"

namespace morindale_render {

// The voices are the rows of the plug-in's voice table (voice_table.h), by
// their renderer names, in menu order.

// The voice named `name`, or null.
const Voice* FindEffect(const std::string& name);

// The names of every voice, "a, b, c".
std::string EffectList();

// The shift a voice is heard at, in semitones, or NaN when it has none of its
// own (the moving pitches, the in-place voices). manualPitch: thousandths of
// a semitone for Pitch (manual).
double ExpectedSemitones(const Voice& voice, int manualPitch);

struct Rendering {
    std::vector<int16_t> sent;  // the input padded to whole blocks, as sent
    double hookSeconds = 0.0;   // time spent inside the plug-in's hook
    int editedBlocks = 0;       // blocks the plug-in flagged as edited
};

constexpr int kClientBlock = 960;

// Renders input through voice; manualPitch (thousandths of a semitone,
// -12000..12000) is the pitch of Pitch (manual). progress (may be empty) gets
// the fraction done now and then. Returns false with a one-line reason in
// error.
bool Render(const std::vector<int16_t>& input, const Voice& voice, int manualPitch, const std::string& pluginFile,
            const std::function<void(double)>& progress, Rendering* out, std::string* error);

}  // namespace morindale_render
