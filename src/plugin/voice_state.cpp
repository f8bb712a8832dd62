#include "voice_state.h"

#include "catalogue.h"

RelaxedAtomic<bool> gl_Enabled{true};
RelaxedAtomic<int> gl_CurrentVoiceEffect{EFFECT_PITCH_HELIUM};
RelaxedAtomic<bool> gl_HearMyVoice{true};
RelaxedAtomic<bool> gl_HearMyMusic{true};
RelaxedAtomic<bool> gl_UseDirectSound{true};
RelaxedAtomic<float> SS_Manual_Pitch{0.0f};
RelaxedAtomic<bool> gl_AboutDialogActive{false};
