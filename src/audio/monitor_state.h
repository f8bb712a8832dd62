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

// Pending monitor audio, oldest byte at position 0; guarded by WAVE_mutex.
// 0 <= WAVE_buffer_size < kMonitorFifoBytes.
extern unsigned char WAVE_buffer[kMonitorFifoBytes];
extern int WAVE_buffer_size;
extern pthread_mutex_t WAVE_mutex;

// The output queue; written by opening and closing only (client threads).
extern OutputQueue WAVE_queue;

// True while an output is open and playing. Without one, appended blocks are
// dropped quietly instead of filling the FIFO and reporting overflows.
extern std::atomic<bool> WAVE_output_live;

// The output queue's refill callback: fills `buffer` with the next 1920 bytes
// of the FIFO, or with silence while fewer are pending, and enqueues it again.
// A null buffer means the output has gone for good.
void WAVE_callback(void* userData, OutputQueue queue, OutputBuffer buffer);
