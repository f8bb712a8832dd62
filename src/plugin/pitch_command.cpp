#include "pitch_command.h"

#include <cstdio>
#include <cstdlib>

#include "actions.h"
#include "plugin_state.h"
#include "semitone_text.h"
#include "settings_format.h"
#include "voice_state.h"
#include "voice_table.h"

namespace {

const char* const kUsage =
    "Usage: /morindale pitch <semitones>, from -12 to 12 with at most three decimals, e.g. /morindale pitch -2.5";

// "<prefix> +2.5 semitones. [Morindale]"
void PrintPitchLine(const char* prefix, int thousandths) {
    char value[kSemitoneTextSize];
    FormatSemitones(thousandths, value);
    char line[96];
    std::snprintf(line, sizeof line, "%s %s %s. [Morindale]", prefix, value,
                  std::abs(thousandths) == 1000 ? "semitone" : "semitones");
    PrintToCurrentTab(line);
}

}  // namespace

void PitchCommand(uint64 /*handler*/, const char* value, const char* extra) {
    if (value == nullptr) {
        // What the voice plays: a value from the settings file is held to the range.
        PrintPitchLine("Manual pitch is", SemitonesToThousandths(SS_Manual_Pitch));
        return;
    }
    int thousandths = 0;
    if (extra != nullptr || !ParseSemitones(value, &thousandths)) {
        PrintToCurrentTab(kUsage);
        return;
    }
    // Stored as a settings load would store CUSTOM_PITCH, then the voice is
    // chosen as its hotkey chooses it, which saves both.
    SS_Manual_Pitch = PitchFromSettingsNumber(thousandths);
    PrintPitchLine("Manual pitch set to", thousandths);
    HandleMenuAction(EFFECT_PITCH_MANUAL);
}
