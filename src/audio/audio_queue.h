// The output audio queue that the monitor playback drives: the handful of
// audio-queue operations it needs, under one set of names on every platform.
//
// Model: the caller allocates a few buffers from the queue, fills them and
// enqueues them. The queue plays enqueued buffers in order and hands each one
// back through the refill callback once it has been played; the callback
// fills it again and enqueues it. So a fixed set of buffers circulates for as
// long as the queue runs.
//
// macOS: these are the AudioToolbox audio queues themselves (audio_queue_apple.cpp);
// the callback runs on the run loop of the thread that created the queue.
// Linux: our own queue over PulseAudio (audio_queue_pulse.cpp), with a
// playback thread of its own on which the callback runs. A buffer counts as
// played once its bytes have gone to the sound server; it is refilled when the
// server next asks for data.
// Windows: our own queue over WinMM's waveOut (audio_queue_win.cpp), likewise
// with a playback thread of its own; a buffer is refilled once the device has
// played it. Both share their buffer pool and mailbox (output_buffers.h).
//
// Opening may finish on the queue's own thread: OutputQueueNew then returns
// at once (the Linux queue connects to its server there, with a deadline), and
// buffers may be enqueued and the queue started meanwhile; they play once the
// output is there. Should the output never come, or go away later, the
// callback is called once with a null buffer; OutputQueueFailure tells which.
// An output that never came is given up. One that went away may come back
// (the Linux queue connects again every 2 s): the callback is then called
// with buffers again, and OutputQueueFailure gives 0. Closing never waits for
// an opening or a reconnection that hangs.
//
// Results are 0 for success, otherwise an error code (OutputQueueErrorText).
#pragma once

#include <cstdint>

#if defined(__APPLE__)
#include <AudioToolbox/AudioToolbox.h>

using OutputQueue = AudioQueueRef;
using OutputBuffer = AudioQueueBufferRef;  // mAudioData, mAudioDataBytesCapacity, mAudioDataByteSize
using StreamFormat = AudioStreamBasicDescription;

constexpr uint32_t kOutputFormatLinearPCM = kAudioFormatLinearPCM;
constexpr uint32_t kOutputFormatFlagsSignedPacked =
    kLinearPCMFormatFlagIsSignedInteger | kLinearPCMFormatFlagIsPacked;
constexpr int kOutputErrorUnsupportedFormat = kAudioFormatUnsupportedDataFormatError;
#else
struct OutputQueueState;
using OutputQueue = OutputQueueState*;

struct OutputBufferRecord {
    void* mAudioData;                  // owned by the queue
    uint32_t mAudioDataBytesCapacity;  // bytes
    uint32_t mAudioDataByteSize;       // bytes to play, at most the capacity
};
using OutputBuffer = OutputBufferRecord*;

// Field for field the stream description of the audio queues.
struct StreamFormat {
    double mSampleRate;  // frames per second
    uint32_t mFormatID;
    uint32_t mFormatFlags;
    uint32_t mBytesPerPacket;
    uint32_t mFramesPerPacket;
    uint32_t mBytesPerFrame;
    uint32_t mChannelsPerFrame;
    uint32_t mBitsPerChannel;
    uint32_t mReserved;
};

constexpr uint32_t kOutputFormatLinearPCM = 0x6C70636D;  // 'lpcm'
constexpr uint32_t kOutputFormatFlagsSignedPacked = 12;  // signed integer, packed
constexpr int kOutputErrorUnsupportedFormat = 0x666D743F;  // 'fmt?'
constexpr int kOutputErrorNoLibrary = -1001;               // libpulse could not be loaded
constexpr int kOutputErrorNoServer = -1002;                // no server, or it refused us
constexpr int kOutputErrorTimeout = -1003;                 // the server did not answer in time
constexpr int kOutputErrorBadArgument = -1004;
constexpr int kOutputErrorResources = -1005;               // no memory or no thread
#endif

constexpr int kOutputErrorLost = -1006;  // the output went away while playing

using OutputCallback = void (*)(void* userData, OutputQueue queue, OutputBuffer buffer);

// Creates a stopped output queue for `format`; `callback` refills buffers.
int OutputQueueNew(const StreamFormat* format, OutputCallback callback, void* userData, OutputQueue* queue);
// A buffer of `capacity` bytes, owned by the queue.
int OutputQueueAllocateBuffer(OutputQueue queue, uint32_t capacity, OutputBuffer* buffer);
// Queues mAudioDataByteSize bytes of `buffer` for playing.
int OutputQueueEnqueueBuffer(OutputQueue queue, OutputBuffer buffer);
int OutputQueuePrime(OutputQueue queue, uint32_t frames);
int OutputQueueSetVolume(OutputQueue queue, float volume);  // 0.0 to 1.0
int OutputQueueStart(OutputQueue queue);
int OutputQueueFlush(OutputQueue queue);
// Not immediate: what is queued still plays; no refill follows.
int OutputQueueStop(OutputQueue queue, bool immediate);
// Frees the queue and its buffers. On Linux, once it returns, the playback
// thread has ended and no callback can arrive.
int OutputQueueDispose(OutputQueue queue, bool immediate);
// Ends the callback loop of the calling thread (the run loop on macOS;
// nothing on Linux, whose playback thread ends with its queue).
void OutputQueueEndCallbackLoop();

// Why the callback was handed a null buffer: the error that ended the
// opening, or kOutputErrorLost for an output that went away after it; 0 while
// the output is fine. Valid until the queue is disposed.
int OutputQueueFailure(OutputQueue queue);

// A short text for an error code, for the client log.
const char* OutputQueueErrorText(int error);
