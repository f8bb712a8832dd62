// Placeholder until the captured-voice processing lands.
#include "voice_processing.h"

#include "ts3_plugin.h"

void FillSineTable() {}
void ConfigurePitchProcessor() {}
void RequestPitchProcessorClear() {}

void ts3plugin_onEditCapturedVoiceDataEvent(uint64, short*, int, int, int*) {}
