// Doubles for the unit tests of the captured-voice processing, compiled in
// through their .sources lists: a monitor FIFO that records what it is given,
// and a recorder of the pitch that the processing sets on SoundTouch (the
// calls still reach the real library). Both record into fixed storage, so
// they allocate nothing on the audio path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace voice_doubles {

// --- Monitor (WAVE_WIN_Play_Samples) ---------------------------------------
struct MonitorCall {
    std::size_t offset;  // first sample in MonitorSamples()
    int byteCount;
};
void ResetMonitor();
std::size_t MonitorCallCount();
MonitorCall MonitorCallAt(std::size_t index);
// Every sample handed to the monitor since the last reset, in order (the
// first 1 << 21 of them).
std::vector<int16_t> MonitorSamples();

// --- Pitch set on SoundTouch --------------------------------------------------
struct PitchCall {
    bool integer;  // the int overload (fixed shifts, Atari Game)
    double semitones;
};
void ResetPitchCalls();
std::size_t PitchCallCount();
PitchCall PitchCallAt(std::size_t index);
std::vector<PitchCall> PitchCalls();
// While false, calls are forwarded but not recorded (a test's own reference
// processor).
void RecordPitchCalls(bool on);

// --- Use of SoundTouch ----------------------------------------------------------
// clear() calls since the start (the plug-in's and a test's own). Every clear,
// setSetting, put and receive also writes one plain variable, so that
// ThreadSanitizer reports a clear or a configuration that overlaps processing
// on another thread, which it could not see inside the uninstrumented
// library.
std::size_t ClearCount();

}  // namespace voice_doubles
