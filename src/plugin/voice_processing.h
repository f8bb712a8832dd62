// The captured-voice processing: set-up performed by ts3plugin_init, and the
// processor reset that an effect change requests.
#pragma once

// Fills the ring modulator's sine table (one 25 Hz period at 48 kHz).
void FillSineTable();

// Configures the pitch-shift processor for 48 kHz mono.
void ConfigurePitchProcessor();

// Asks for the pitch-shift processor to be cleared. Callable from any thread;
// the capture thread carries the clear out before it next uses the processor,
// so a clear never overlaps processing and the capture thread never waits.
void RequestPitchProcessorClear();
