// The captured-voice processing: set-up performed by ts3plugin_init, and the
// processor reset that an effect change requests. The per-block handler is
// the exported ts3plugin_onEditCapturedVoiceDataEvent (ts3_plugin.h).
//
// Model: the client's capture thread hands over each block of 16-bit mono
// samples at 48 kHz that it is about to send. The current effect transforms
// it: effects 7 and 9..15 through the pitch processor (which returns the
// block's worth of samples only once its latency, some tens of ms, has
// filled), 8, 16 and 17 in place. Returned samples replace the start of the
// block, go to the local monitor when monitoring is on, and the block is
// flagged as edited. This code allocates nothing, locks nothing and calls
// no system function; the monitor hand-off takes WAVE_mutex inside
// monitor.cpp. SoundTouch itself allocates when the pitch changes (it
// redesigns its anti-alias filter: 5 allocations a block under Mutation, one
// block in eight under Atari Game, the first block of a fixed shift) and
// gives it back at once.
#pragma once

// Init thread: fills the ring modulator's sine table (one 25 Hz period at
// 48 kHz). Only the first call per load does anything: a later init may come
// while the capture thread is reading the table.
void FillSineTable();

// Init thread, before the first block: configures the pitch processor for
// 48 kHz mono. Only the first call per load does anything, for the same
// reason.
void ConfigurePitchProcessor();

// Asks for the pitch-shift processor to be cleared. Callable from any thread;
// the capture thread carries the clear out before it next uses the processor,
// so a clear never overlaps processing and the capture thread never waits.
void RequestPitchProcessorClear();
