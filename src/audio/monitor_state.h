// The monitor FIFO and its output queue: shared by the capture thread, which
// appends, and the output queue's refill callback, which drains. Declared here
// for the monitor's own code and its tests; nothing else touches them.
#pragma once

#include <pthread.h>

#include <atomic>

#include "audio_queue.h"

constexpr int kMonitorFifoBytes = 80000;  // about 0.83 s of 48 kHz mono
constexpr int kMonitorBufferBytes = 1920;  // one output buffer: 960 samples, 20 ms
constexpr int kMonitorBufferCount = 4;

// The delay bound, in bytes of 48 kHz mono (96 per millisecond). What waits in
// the FIFO after a refill is delay on top of the output's own. Beyond the
// high-water mark it is cut at once; below it, when a whole window of refills
// in a row each left at least a buffer waiting, the least they left is delay
// that none of them needed, and is cut too. Either cut drops the oldest audio
// and keeps a little as a cushion against jitter.
constexpr int kMonitorHighWaterBytes = 4 * kMonitorBufferBytes;  // 80 ms
constexpr int kMonitorWindowRefills = 25;                        // 0.5 s of output
constexpr int kMonitorCushionBytes = kMonitorBufferBytes / 2;    // 10 ms kept

// An output that has taken nothing while this much was appended has stalled:
// 2 s of 48 kHz mono.
constexpr long long kMonitorStallBytes = 2LL * 48000 * 2;

// Pending monitor audio, oldest byte at position 0; guarded by WAVE_mutex.
// 0 <= WAVE_buffer_size < kMonitorFifoBytes.
extern unsigned char WAVE_buffer[kMonitorFifoBytes];
extern int WAVE_buffer_size;
extern pthread_mutex_t WAVE_mutex;

// Also guarded by WAVE_mutex; reset by the opening.
struct MonitorFlow {
    bool outputRefilled = false;      // the output has asked for audio since opening
    long long appendedSinceRefill = 0;  // bytes, counted once the output has refilled
    bool stalled = false;             // appended blocks are dropped until it refills again
    int windowRefills = 0;            // refills in a row that left a buffer or more
    int windowLeast = 0;              // least FIFO fill any of them left
    long long droppedBytes = 0;       // cut for the delay bound or dropped while stalled
    bool outputGone = false;          // told so by the queue; it may come back until closing
};
extern MonitorFlow WAVE_flow;

// The output queue; written by opening and closing only (client threads).
extern OutputQueue WAVE_queue;

// True from the opening until the output is known to be gone: also while it
// is still being reached in the background, when appended blocks wait in the
// FIFO. Without one, appended blocks are dropped quietly instead of filling
// the FIFO and reporting overflows. True again when a lost output comes back.
// Changed under WAVE_mutex; the capture thread reads it without.
extern std::atomic<bool> WAVE_output_live;

// The output queue's refill callback: fills `buffer` with the next 1920 bytes
// of the FIFO, or with silence while fewer are pending, and enqueues it again.
// A null buffer means the output has gone; a buffer after that, that it is
// back.
void WAVE_callback(void* userData, OutputQueue queue, OutputBuffer buffer);
