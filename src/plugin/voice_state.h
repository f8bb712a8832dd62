// The voice state: what the menu, the hotkeys and the settings file change,
// and what the capture path reads. Written on the client's event threads,
// read on its audio thread; see RelaxedAtomic.
#pragma once

#include "relaxed_atomic.h"

extern RelaxedAtomic<bool> gl_Enabled;            // false: blocks pass untouched
extern RelaxedAtomic<int> gl_CurrentVoiceEffect;  // action ID of the voice (voice_table.h) when valid
extern RelaxedAtomic<bool> gl_HearMyVoice;        // play transformed blocks back locally
extern RelaxedAtomic<bool> gl_HearMyMusic;        // stored and loaded only
extern RelaxedAtomic<bool> gl_UseDirectSound;     // stored and loaded only
extern RelaxedAtomic<float> SS_Manual_Pitch;      // Pitch (manual), semitones; played held to -12..12
extern RelaxedAtomic<bool> gl_AboutDialogActive;  // re-entrancy guard of the About action
