// The captured-voice hook (ts3plugin_onEditCapturedVoiceDataEvent in
// ts3_plugin.h) is a short adapter over one VoiceEngine (voice_engine.h),
// built at the first init and kept until the library is unloaded. The hook
// reads the voice state once per block and hands it to the engine; before
// the first init, blocks pass untouched.
#pragma once

// Init thread: builds the engine, with its pitch processor configured and
// its oscillator table filled. Only the first call per load does anything: a
// later init may come while the capture thread is inside a block.
void SetUpVoiceEngine();

// Asks for the pitch processor to be cleared before its next use. Callable
// from any thread; the capture thread carries the clear out itself, so a
// clear never overlaps processing and the capture thread never waits.
void RequestPitchProcessorClear();
