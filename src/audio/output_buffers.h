// What the Linux and Windows output queues of audio_queue.h share (the macOS
// audio queues are the system's own): the fixed set of buffers a queue hands
// out, the fixed rings that carry them between threads, the mailbox through
// which other threads reach the playback thread, and the sample handling on
// the way out. The operations that only post to the mailbox are defined once,
// in output_buffers.cpp.
//
// Everything is sized when the queue is opened; nothing here allocates once
// the buffers circulate.
#pragma once

#if !defined(__APPLE__)

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "audio_queue.h"

constexpr int kMaxOutputBuffers = 16;
constexpr uint32_t kMaxOutputBufferBytes = 1u << 20;

// A fixed ring of up to kMaxOutputBuffers items (buffers or their indices).
template <typename T>
class OutputRing {
public:
    bool empty() const { return count_ == 0; }
    T front() const { return slots_[head_]; }
    bool push(T item) {
        if (count_ == kMaxOutputBuffers) return false;
        slots_[(head_ + count_) % kMaxOutputBuffers] = item;
        ++count_;
        return true;
    }
    T pop() {
        const T item = slots_[head_];
        head_ = (head_ + 1) % kMaxOutputBuffers;
        --count_;
        return item;
    }

private:
    T slots_[kMaxOutputBuffers] = {};
    int head_ = 0;
    int count_ = 0;
};

// The buffers of one queue, kept until the queue is freed.
class OutputBufferPool {
public:
    OutputBufferPool() = default;
    OutputBufferPool(const OutputBufferPool&) = delete;
    OutputBufferPool& operator=(const OutputBufferPool&) = delete;

    // A zeroed buffer of `capacity` bytes (1 to kMaxOutputBufferBytes, checked
    // by the caller); 0 or kOutputErrorResources.
    int Allocate(uint32_t capacity, OutputBuffer* buffer) {
        if (count_ == kMaxOutputBuffers) return kOutputErrorResources;
        storage_[count_].reset(new (std::nothrow) unsigned char[capacity]());
        if (storage_[count_] == nullptr) return kOutputErrorResources;
        OutputBufferRecord& record = records_[count_];
        record.mAudioData = storage_[count_].get();
        record.mAudioDataBytesCapacity = capacity;
        record.mAudioDataByteSize = 0;
        ++count_;
        *buffer = &record;
        return 0;
    }

    int count() const { return count_; }
    OutputBufferRecord& operator[](int index) { return records_[index]; }

    // The index of `buffer`, or -1 for one that is not ours.
    int IndexOf(OutputBuffer buffer) const {
        for (int i = 0; i < kMaxOutputBuffers; ++i)
            if (&records_[i] == buffer) return i;
        return -1;
    }

private:
    int count_ = 0;
    OutputBufferRecord records_[kMaxOutputBuffers] = {};
    std::unique_ptr<unsigned char[]> storage_[kMaxOutputBuffers];
};

// The requests the playback thread takes from its mailbox at once.
struct OutputRequests {
    bool start = false;
    bool dispose = false;
    bool immediately = false;  // dispose without playing out what is queued
};

// What every queue holds besides its platform's objects; each platform's
// OutputQueueState derives from it.
struct OutputQueueBase {
    // Set at creation, read-only afterwards.
    OutputCallback callback = nullptr;
    void* userData = nullptr;
    std::thread thread;

    // The mailbox: guarded by `mutex`, which guards the platform's mailbox
    // fields too. Each post wakes the playback thread (WakePlayback).
    std::mutex mutex;
    int failure = 0;  // OutputQueueFailure
    bool startRequested = false;
    bool stopRequested = false;
    bool disposeRequested = false;
    bool disposeImmediately = false;
    float volume = 1.0f;
    OutputBufferPool buffers;

    // The playback thread's own.
    bool started = false;
    bool stopping = false;
    bool lost = false;
    float playVolume = 1.0f;

    // On the playback thread: moves what was enqueued meanwhile from
    // `incoming` (in the mailbox) to `ready`, and takes the requests; a start
    // is taken once, a stop and the volume apply at once.
    template <typename T>
    OutputRequests TakeRequests(OutputRing<T>* incoming, OutputRing<T>* ready) {
        std::lock_guard<std::mutex> lock(mutex);
        while (!incoming->empty()) ready->push(incoming->pop());
        OutputRequests requests;
        requests.start = startRequested;
        startRequested = false;
        if (stopRequested) stopping = true;
        requests.dispose = disposeRequested;
        requests.immediately = disposeImmediately;
        playVolume = volume;
        return requests;
    }
};

// Each platform's queue file provides these two for output_buffers.cpp.
OutputQueueBase* QueueBase(OutputQueue queue);
// Wakes the playback thread of `queue`; the caller holds its mutex.
void WakePlayback(OutputQueue queue);

// Sets `request` and wakes the playback thread.
void PostOutputRequest(OutputQueue queue, bool OutputQueueBase::*request);
// Asks the playback thread to stop and end (without playing out what is
// queued, if `immediate`).
void PostOutputDispose(OutputQueue queue, bool immediate);

// OutputQueueErrorText for the errors every platform has.
const char* OutputErrorText(int error);

// The bytes of `record` to play: its size, at most its capacity, in whole
// frames of `frameBytes` bytes.
inline uint32_t PlayableBytes(const OutputBufferRecord& record, uint32_t frameBytes) {
    uint32_t size = record.mAudioDataByteSize;
    if (size > record.mAudioDataBytesCapacity) size = record.mAudioDataBytesCapacity;
    return size - size % frameBytes;
}

// Copies `bytes` bytes of 16-bit samples at `volume` (0 to 1); `to` may be
// `from`, to scale in place.
inline void CopyScaled(void* to, const void* from, size_t bytes, float volume) {
    if (volume == 1.0f) {
        if (to != from) std::memcpy(to, from, bytes);
        return;
    }
    const int16_t* in = static_cast<const int16_t*>(from);
    int16_t* out = static_cast<int16_t*>(to);
    for (size_t i = 0; i < bytes / 2; ++i) out[i] = static_cast<int16_t>(static_cast<float>(in[i]) * volume);
}

// 16-bit signed linear PCM, interleaved, within the output's limits.
inline bool SupportedOutputFormat(const StreamFormat& format, uint32_t maxChannels, double maxRate) {
    return format.mFormatID == kOutputFormatLinearPCM &&
           (format.mFormatFlags & ~kOutputFormatFlagsSignedPacked) == 0 && format.mBitsPerChannel == 16 &&
           format.mChannelsPerFrame >= 1 && format.mChannelsPerFrame <= maxChannels &&
           format.mSampleRate >= 1.0 && format.mSampleRate <= maxRate &&
           format.mBytesPerFrame == 2 * format.mChannelsPerFrame;
}

// 0, or the error of OutputQueueNew for these arguments.
inline int CheckOutputQueueNew(const StreamFormat* format, OutputCallback callback, OutputQueue* queue,
                               uint32_t maxChannels, double maxRate) {
    if (queue == nullptr) return kOutputErrorBadArgument;
    *queue = nullptr;
    if (format == nullptr || callback == nullptr) return kOutputErrorBadArgument;
    if (!SupportedOutputFormat(*format, maxChannels, maxRate)) return kOutputErrorUnsupportedFormat;
    return 0;
}

#endif
