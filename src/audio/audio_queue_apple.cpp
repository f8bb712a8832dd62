// The output queue of audio_queue.h on macOS: AudioToolbox itself. The
// callback runs on the run loop of the thread that creates the queue.
#if defined(__APPLE__)

#include "audio_queue.h"

int OutputQueueNew(const StreamFormat* format, OutputCallback callback, void* userData, OutputQueue* queue) {
    return AudioQueueNewOutput(format, callback, userData, CFRunLoopGetCurrent(), kCFRunLoopCommonModes, 0, queue);
}

int OutputQueueAllocateBuffer(OutputQueue queue, uint32_t capacity, OutputBuffer* buffer) {
    return AudioQueueAllocateBuffer(queue, capacity, buffer);
}

int OutputQueueEnqueueBuffer(OutputQueue queue, OutputBuffer buffer) {
    return AudioQueueEnqueueBuffer(queue, buffer, 0, nullptr);
}

int OutputQueuePrime(OutputQueue queue, uint32_t frames) { return AudioQueuePrime(queue, frames, nullptr); }

int OutputQueueSetVolume(OutputQueue queue, float volume) {
    return AudioQueueSetParameter(queue, kAudioQueueParam_Volume, volume);
}

int OutputQueueStart(OutputQueue queue) { return AudioQueueStart(queue, nullptr); }
int OutputQueueFlush(OutputQueue queue) { return AudioQueueFlush(queue); }
int OutputQueueStop(OutputQueue queue, bool immediate) { return AudioQueueStop(queue, immediate); }
int OutputQueueDispose(OutputQueue queue, bool immediate) { return AudioQueueDispose(queue, immediate); }

void OutputQueueEndCallbackLoop() { CFRunLoopStop(CFRunLoopGetCurrent()); }

// AudioToolbox never hands the callback a null buffer.
int OutputQueueFailure(OutputQueue /*queue*/) { return 0; }

const char* OutputQueueErrorText(int error) {
    return error == kAudioFormatUnsupportedDataFormatError ? "unsupported format" : "audio queue error";
}

#endif
