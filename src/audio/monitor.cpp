// Local monitor playback. The capture thread appends each transformed block
// to a linear FIFO of 80000 bytes; the output queue drains it in 20 ms buffers
// of 1920 bytes. A buffer is only ever played whole: while fewer than 1920
// bytes are pending it plays silence and the remainder waits. WAVE_mutex is
// held only for one copy and the compaction moves.
//
// The FIFO's delay is bounded (monitor_state.h): a late start of the output,
// a hiccup of the capture thread or drift between the two clocks would
// otherwise leave extra delay behind for good. The refill cuts it by dropping
// the oldest audio. An output that takes nothing while 2 s are appended has
// stalled: one warning, and blocks are dropped until it asks again. An output
// that went away (the sound server stopped) may come back: one line at each.
// Closing stops at once and empties the FIFO, so that nothing said before a
// restart of the plug-in is heard after it.
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
MonitorFlow WAVE_flow;

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

// Drops the oldest `bytes` pending bytes, in whole samples. WAVE_mutex held.
void DropOldest(int bytes) {
    bytes &= ~1;
    if (bytes > WAVE_buffer_size) bytes = WAVE_buffer_size;
    if (bytes <= 0) return;
    WAVE_buffer_size -= bytes;
    std::memmove(WAVE_buffer, WAVE_buffer + bytes, static_cast<std::size_t>(WAVE_buffer_size));
    WAVE_flow.droppedBytes += bytes;
}

void StartWindow() {
    WAVE_flow.windowRefills = 0;
    WAVE_flow.windowLeast = kMonitorFifoBytes;
}

// Before the output takes a buffer of `capacity` bytes: what would wait
// beyond the high-water mark goes at once, so that the buffer already holds
// the newest audio. WAVE_mutex held.
void CutBacklog(int capacity) {
    if (WAVE_buffer_size - capacity <= kMonitorHighWaterBytes) return;
    DropOldest(WAVE_buffer_size - capacity - kMonitorCushionBytes);
    StartWindow();
}

// After the output took a buffer: trims delay that a whole window of
// refills in a row did not need (see monitor_state.h). WAVE_mutex held.
void TrimStandingDelay() {
    if (WAVE_buffer_size < kMonitorBufferBytes) {
        StartWindow();  // this refill needed nearly all there was
        return;
    }
    if (WAVE_buffer_size < WAVE_flow.windowLeast) WAVE_flow.windowLeast = WAVE_buffer_size;
    if (++WAVE_flow.windowRefills < kMonitorWindowRefills) return;
    DropOldest(WAVE_flow.windowLeast - kMonitorCushionBytes);
    StartWindow();
}

enum class Resumed { kNo, kFromStall, kFromLoss };

// Fills `buffer` with the next 1920 bytes of the FIFO, or silence; `byOutput`
// when the output asks, not the opening. Tells whether the output has just
// come back from a stall or a loss.
Resumed Refill(OutputBuffer buffer, bool byOutput) {
    Resumed resumed = Resumed::kNo;
    pthread_mutex_lock(&WAVE_mutex);
    if (byOutput) {
        if (WAVE_flow.outputGone) {
            // Back after a loss: what waited is older than the loss.
            WAVE_flow.outputGone = false;
            WAVE_flow.stalled = false;
            DropOldest(WAVE_buffer_size);
            StartWindow();
            WAVE_output_live.store(true, std::memory_order_relaxed);
            resumed = Resumed::kFromLoss;
        } else if (WAVE_flow.stalled) {
            // Everything pending is older than the stall: none of it is worth hearing now.
            WAVE_flow.stalled = false;
            DropOldest(WAVE_buffer_size);
            StartWindow();
            resumed = Resumed::kFromStall;
        }
        WAVE_flow.outputRefilled = true;
        WAVE_flow.appendedSinceRefill = 0;
    }
    const uint32_t capacity = buffer->mAudioDataBytesCapacity;
    if (byOutput && capacity <= static_cast<uint32_t>(kMonitorFifoBytes)) CutBacklog(static_cast<int>(capacity));
    if (capacity > static_cast<uint32_t>(WAVE_buffer_size)) {
        // Underrun: silence now, the remainder waits for more audio.
        std::memset(buffer->mAudioData, 0, capacity);
    } else {
        std::memcpy(buffer->mAudioData, WAVE_buffer, capacity);
        buffer->mAudioDataByteSize = capacity;
        WAVE_buffer_size -= static_cast<int>(capacity);
        std::memmove(WAVE_buffer, WAVE_buffer + capacity, static_cast<std::size_t>(WAVE_buffer_size));
    }
    if (byOutput) TrimStandingDelay();
    pthread_mutex_unlock(&WAVE_mutex);
    return resumed;
}

// Empties the FIFO and starts its bookkeeping afresh; `live` as given.
void ResetFifo(bool live) {
    pthread_mutex_lock(&WAVE_mutex);
    WAVE_buffer_size = 0;
    WAVE_flow = MonitorFlow{};
    StartWindow();
    WAVE_output_live.store(live, std::memory_order_relaxed);
    pthread_mutex_unlock(&WAVE_mutex);
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

    // Live before the queue exists: an output that fails on a thread of its
    // own may report so before OutputQueueNew has returned.
    ResetFifo(true);
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
        Refill(buffer, false);
        OutputQueueEnqueueBuffer(queue, buffer);
    }

    OutputQueuePrime(queue, 4);
    OutputQueueSetVolume(queue, 1.0f);
    OutputQueueStart(queue);
    return 0;
}

void WAVE_callback(void* /*userData*/, OutputQueue queue, OutputBuffer buffer) {
    if (buffer == nullptr) {
        // The output is gone (the sound server went away, or was never
        // reached): until it takes a buffer again the capture side drops its
        // blocks instead of filling the FIFO.
        pthread_mutex_lock(&WAVE_mutex);
        const bool wasLive = WAVE_output_live.exchange(false, std::memory_order_relaxed);
        if (wasLive) WAVE_flow.outputGone = true;
        pthread_mutex_unlock(&WAVE_mutex);
        if (wasLive) {
            const int failure = OutputQueueFailure(queue);
            if (failure == kOutputErrorLost) {
                LogNoOutput("sound output lost", nullptr);
            } else {
                LogNoOutput("no sound output", OutputQueueErrorText(failure));
            }
        }
        return;
    }

    const Resumed resumed = Refill(buffer, true);
    if (resumed != Resumed::kNo && ts3Functions.logMessage != nullptr)
        ts3Functions.logMessage(resumed == Resumed::kFromLoss ? "Hear Voice: the sound output is back"
                                                             : "Hear Voice: the sound output takes audio again",
                                LogLevel_INFO, "Plugin", 0);
    OutputQueueEnqueueBuffer(queue, buffer);
}

int WAVE_WIN_Play_Samples(const void* data, int byteCount) {
    // No output: nobody would drain the FIFO, so don't fill it and don't
    // report each block as an overflow.
    if (!WAVE_output_live.load(std::memory_order_relaxed)) return 0;
    if (data == nullptr || byteCount <= 0) return 0;

    bool stalledNow = false;
    pthread_mutex_lock(&WAVE_mutex);
    // A block the FIFO could never hold is refused whole.
    const bool refused = byteCount >= kMonitorFifoBytes;
    if (!refused && WAVE_flow.outputRefilled && !WAVE_flow.stalled) {
        WAVE_flow.appendedSinceRefill += byteCount;
        if (WAVE_flow.appendedSinceRefill > kMonitorStallBytes) {
            WAVE_flow.stalled = true;
            stalledNow = true;
        }
    }
    if (refused) {
        // Nothing stored; the FIFO keeps what it had.
    } else if (WAVE_flow.stalled) {
        WAVE_flow.droppedBytes += byteCount;
    } else {
        // No room: the output is far behind, and the oldest audio is the
        // one least worth hearing. Written so that no sum can overflow.
        if (byteCount >= kMonitorFifoBytes - WAVE_buffer_size)
            DropOldest(WAVE_buffer_size - (kMonitorFifoBytes - 2 - byteCount) + 1);
        std::memcpy(WAVE_buffer + WAVE_buffer_size, data, static_cast<std::size_t>(byteCount));
        WAVE_buffer_size += byteCount;
    }
    pthread_mutex_unlock(&WAVE_mutex);

    if (refused) PrintToCurrentTab(kOverflowMessage);
    if (stalledNow) LogNoOutput("sound output stalled", nullptr);
    return 0;
}

void WAVE_WIN_Audio_close() {
    // Not live, and a lost output can no longer come back: from here on no
    // refill makes it live again.
    ResetFifo(false);
    OutputQueue queue = WAVE_queue;
    if (queue != nullptr) {
        // At once: whoever closes is quitting or reopening, and nobody waits
        // to hear the rest.
        OutputQueueStop(queue, true);
        OutputQueueDispose(queue, true);
        // Disposed: a later close or opening must not touch it again.
        WAVE_queue = nullptr;
    }
    OutputQueueEndCallbackLoop();
    // What the last refills left behind is never heard.
    ResetFifo(false);
}
