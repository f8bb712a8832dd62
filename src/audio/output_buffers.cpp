// The output queue operations that are the same on Linux and Windows: they
// check their arguments and post to the playback thread's mailbox
// (output_buffers.h); the rest is in audio_queue_pulse.cpp and
// audio_queue_win.cpp.
#if !defined(__APPLE__)

#include "output_buffers.h"

void PostOutputRequest(OutputQueue queue, bool OutputQueueBase::*request) {
    OutputQueueBase* base = QueueBase(queue);
    std::lock_guard<std::mutex> lock(base->mutex);
    base->*request = true;
    WakePlayback(queue);
}

void PostOutputDispose(OutputQueue queue, bool immediate) {
    OutputQueueBase* base = QueueBase(queue);
    std::lock_guard<std::mutex> lock(base->mutex);
    base->stopRequested = true;
    base->disposeRequested = true;
    if (immediate) base->disposeImmediately = true;
    WakePlayback(queue);
}

int OutputQueueAllocateBuffer(OutputQueue queue, uint32_t capacity, OutputBuffer* buffer) {
    if (buffer == nullptr) return kOutputErrorBadArgument;
    *buffer = nullptr;
    if (queue == nullptr || capacity == 0 || capacity > kMaxOutputBufferBytes) return kOutputErrorBadArgument;
    OutputQueueBase* base = QueueBase(queue);
    std::lock_guard<std::mutex> lock(base->mutex);
    return base->buffers.Allocate(capacity, buffer);
}

int OutputQueuePrime(OutputQueue queue, uint32_t /*frames*/) {
    // Linear PCM has nothing to decode ahead.
    return queue != nullptr ? 0 : kOutputErrorBadArgument;
}

int OutputQueueSetVolume(OutputQueue queue, float volume) {
    if (queue == nullptr || !(volume >= 0.0f && volume <= 1.0f)) return kOutputErrorBadArgument;
    OutputQueueBase* base = QueueBase(queue);
    std::lock_guard<std::mutex> lock(base->mutex);
    base->volume = volume;
    WakePlayback(queue);
    return 0;
}

int OutputQueueStart(OutputQueue queue) {
    if (queue == nullptr) return kOutputErrorBadArgument;
    PostOutputRequest(queue, &OutputQueueBase::startRequested);
    return 0;
}

int OutputQueueFlush(OutputQueue queue) {
    // Nothing is held back from the server or device once started: stopping
    // plays out the rest.
    return queue != nullptr ? 0 : kOutputErrorBadArgument;
}

int OutputQueueStop(OutputQueue queue, bool immediate) {
    if (queue == nullptr) return kOutputErrorBadArgument;
    OutputQueueBase* base = QueueBase(queue);
    std::lock_guard<std::mutex> lock(base->mutex);
    base->stopRequested = true;
    if (immediate) base->disposeImmediately = true;  // no draining at the end
    WakePlayback(queue);
    return 0;
}

void OutputQueueEndCallbackLoop() {}

int OutputQueueFailure(OutputQueue queue) {
    if (queue == nullptr) return kOutputErrorBadArgument;
    OutputQueueBase* base = QueueBase(queue);
    std::lock_guard<std::mutex> lock(base->mutex);
    return base->failure;
}

const char* OutputErrorText(int error) {
    switch (error) {
        case 0:
            return "no error";
        case kOutputErrorUnsupportedFormat:
            return "unsupported format";
        case kOutputErrorBadArgument:
            return "bad argument";
        case kOutputErrorResources:
            return "out of memory or threads";
        default:
            return "audio output error";
    }
}

#endif
