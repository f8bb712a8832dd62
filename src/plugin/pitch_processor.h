// The pitch processor of the processor effects: one SoundTouch instance,
// gl_soundTouch, used only on the client's capture thread. Samples go in as
// 16-bit, are shifted in pitch at unchanged tempo, and come out as 16-bit;
// the processor holds back a few tens of milliseconds (its latency), so the
// first blocks after a clear return fewer samples than were put in.
//
// ConfigurePitchProcessor (voice_processing.h) runs once at init;
// RequestPitchProcessorClear (voice_processing.h) may run on any thread.
#pragma once

#include <cstdint>

// True once ConfigurePitchProcessor has run.
bool PitchProcessorReady();

// Capture thread, before each use: carries out a clear that another thread
// requested since the last call. Never waits.
void HonourPitchProcessorClear();

// Capture thread: sets the shift, in semitones, for the samples put in from
// now on. The integer form serves the fixed shifts and Atari Game, the float
// form the Mutation sweep.
void SetPitchSemiTones(int semitones);
void SetPitchSemiTones(float semitones);

// Capture thread: puts count samples into the processor and moves at most
// count processed samples out into out; returns how many it moved (0..count).
// Processed samples beyond count stay inside for later blocks. in and out
// must not overlap. May throw what SoundTouch throws.
int RunPitchProcessor(const int16_t* in, int count, int16_t* out);
