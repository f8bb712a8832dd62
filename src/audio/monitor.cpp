// Local monitor playback. The capture thread appends each transformed block
// to a linear FIFO of 80000 bytes; the output queue drains it in 20 ms buffers
// of 1920 bytes. A buffer is only ever played whole: while fewer than 1920
// bytes are pending it plays silence and the remainder waits. WAVE_mutex is
// held only for one copy and the compaction move.
//
// The same code runs on every platform; audio_queue.h hides the difference.
#include <cstdio>
#include <cstring>

#include "monitor.h"
#include "monitor_state.h"
#include "plugin/plugin_state.h"

unsigned char WAVE_buffer[kMonitorFifoBytes];
int WAVE_buffer_size = 0;
pthread_mutex_t WAVE_mutex = PTHREAD_MUTEX_INITIALIZER;
OutputQueue WAVE_queue = nullptr;
std::atomic<bool> WAVE_output_live{false};

namespace {

constexpr const char* kOverflowMessage = "Audio overflow!";

// One line in the client log; the chat tab stays free of it.
void LogNoOutput(const char* what, const char* reason) {
    if (ts3Functions.logMessage == nullptr) return;
    char line[256];
    if (reason != nullptr) {
        std::snprintf(line, sizeof line, "Hear Voice: %s (%s); monitored audio is dropped", what, reason);
    } else {
        std::snprintf(line, sizeof line, "Hear Voice: %s; monitored audio is dropped", what);
    }
    ts3Functions.logMessage(line, LogLevel_WARNING, "Plugin", 0);
}

// Ends an opening that cannot go on: the queue goes, nothing plays.
void AbandonOpening(OutputQueue queue, int error) {
    WAVE_output_live.store(false, std::memory_order_relaxed);
    if (queue != nullptr) OutputQueueDispose(queue, true);
    WAVE_queue = nullptr;
    LogNoOutput("no sound output", OutputQueueErrorText(error));
}

}  // namespace

int WAVE_Set_WIN_Params(unsigned int sampleRate, int bitsPerSample, int channels) {
    // A second opening replaces the first rather than leaving it playing.
    if (WAVE_queue != nullptr) WAVE_WIN_Audio_close();

    StreamFormat format{};
    format.mSampleRate = static_cast<double>(sampleRate);
    format.mFormatID = kOutputFormatLinearPCM;
    format.mFormatFlags = kOutputFormatFlagsSignedPacked;
    format.mBytesPerPacket = 2 * static_cast<uint32_t>(channels);
    format.mFramesPerPacket = 1;
    format.mBytesPerFrame = 2 * static_cast<uint32_t>(channels);
    format.mChannelsPerFrame = static_cast<uint32_t>(channels);
    format.mBitsPerChannel = static_cast<uint32_t>(bitsPerSample);
    format.mReserved = 0;

    OutputQueue queue = nullptr;
    const int created = OutputQueueNew(&format, WAVE_callback, nullptr, &queue);
    if (created == kOutputErrorUnsupportedFormat) {
        std::fputs("oops!", stdout);
        std::fflush(stdout);
    }
    // Without a queue the later steps have nothing to work on.
    if (created != 0 || queue == nullptr) {
        AbandonOpening(queue, created);
        return 0;
    }
    WAVE_queue = queue;
    WAVE_output_live.store(true, std::memory_order_relaxed);

    // Four buffers, filled by the callback itself: silence, as the FIFO is
    // empty, so the queue plays 80 ms of silence before it reads the FIFO.
    for (int i = 0; i < kMonitorBufferCount; ++i) {
        OutputBuffer buffer = nullptr;
        const int allocated = OutputQueueAllocateBuffer(queue, kMonitorBufferBytes, &buffer);
        if (allocated != 0 || buffer == nullptr) {
            AbandonOpening(queue, allocated);
            return 0;
        }
        buffer->mAudioDataByteSize = kMonitorBufferBytes;
        WAVE_callback(nullptr, queue, buffer);
    }

    OutputQueuePrime(queue, 4);
    OutputQueueSetVolume(queue, 1.0f);
    OutputQueueStart(queue);
    return 0;
}

void WAVE_callback(void* /*userData*/, OutputQueue queue, OutputBuffer buffer) {
    if (buffer == nullptr) {
        // The output is gone (the sound server went away): from now on the
        // capture side drops its blocks instead of overflowing the FIFO.
        if (WAVE_output_live.exchange(false, std::memory_order_relaxed)) LogNoOutput("sound output lost", nullptr);
        return;
    }

    pthread_mutex_lock(&WAVE_mutex);
    const uint32_t capacity = buffer->mAudioDataBytesCapacity;
    if (capacity > static_cast<uint32_t>(WAVE_buffer_size)) {
        // Underrun: silence now, the remainder waits for more audio.
        std::memset(buffer->mAudioData, 0, capacity);
    } else {
        std::memcpy(buffer->mAudioData, WAVE_buffer, capacity);
        buffer->mAudioDataByteSize = capacity;
        WAVE_buffer_size -= static_cast<int>(capacity);
        std::memmove(WAVE_buffer, WAVE_buffer + capacity, static_cast<std::size_t>(WAVE_buffer_size));
    }
    pthread_mutex_unlock(&WAVE_mutex);

    OutputQueueEnqueueBuffer(queue, buffer);
}

int WAVE_WIN_Play_Samples(const void* data, int byteCount) {
    // No output: nobody would drain the FIFO, so don't fill it and don't
    // report each block as an overflow.
    if (!WAVE_output_live.load(std::memory_order_relaxed)) return 0;
    if (data == nullptr || byteCount <= 0) return 0;

    pthread_mutex_lock(&WAVE_mutex);
    // Written so that no sum can overflow: refuses when size + n >= 80000.
    const bool refused = byteCount >= kMonitorFifoBytes - WAVE_buffer_size;
    if (!refused) {
        std::memcpy(WAVE_buffer + WAVE_buffer_size, data, static_cast<std::size_t>(byteCount));
        WAVE_buffer_size += byteCount;
    }
    pthread_mutex_unlock(&WAVE_mutex);

    // The whole block is dropped; the FIFO keeps what it had.
    if (refused) PrintToCurrentTab(kOverflowMessage);
    return 0;
}

void WAVE_WIN_Audio_close() {
    WAVE_output_live.store(false, std::memory_order_relaxed);
    OutputQueue queue = WAVE_queue;
    if (queue != nullptr) {
        OutputQueueFlush(queue);
        OutputQueueStop(queue, false);
        OutputQueueDispose(queue, false);
        // Disposed: a later close or opening must not touch it again.
        WAVE_queue = nullptr;
    }
    OutputQueueEndCallbackLoop();
}
