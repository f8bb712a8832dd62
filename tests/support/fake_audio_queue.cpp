#include "fake_audio_queue.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>

struct OutputQueueState {
    OutputCallback callback = nullptr;
    void* userData = nullptr;
    std::vector<std::unique_ptr<OutputBufferRecord>> buffers;
    std::vector<std::unique_ptr<unsigned char[]>> storage;
    std::deque<OutputBuffer> queued;
    int failure = 0;
};

namespace fake_audio_queue {
namespace {

std::mutex g_mutex;
std::unique_ptr<OutputQueueState> g_queue;
std::vector<std::string> g_calls;
StreamFormat g_format{};
int g_failNew = 0;
int g_failAllocationIndex = -1;
int g_failAllocationError = 0;
std::size_t g_callbacks = 0;

void Log(std::string call) { g_calls.push_back(std::move(call)); }

}  // namespace

void Reset() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_queue.reset();
    g_calls.clear();
    g_format = StreamFormat{};
    g_failNew = 0;
    g_failAllocationIndex = -1;
    g_failAllocationError = 0;
    g_callbacks = 0;
}

void FailNextNew(int error) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_failNew = error;
}

void FailAllocation(int index, int error) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_failAllocationIndex = index;
    g_failAllocationError = error;
}

std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_calls;
}

StreamFormat LastFormat() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_format;
}

bool QueueExists() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_queue != nullptr;
}

std::size_t QueuedBuffers() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_queue != nullptr ? g_queue->queued.size() : 0;
}

std::size_t CallbacksRun() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_callbacks;
}

std::vector<unsigned char> PlayNext() {
    OutputQueueState* queue = nullptr;
    OutputBuffer buffer = nullptr;
    std::vector<unsigned char> played;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_queue == nullptr || g_queue->queued.empty()) return played;
        queue = g_queue.get();
        buffer = queue->queued.front();
        queue->queued.pop_front();
        const unsigned char* data = static_cast<const unsigned char*>(buffer->mAudioData);
        played.assign(data, data + buffer->mAudioDataByteSize);
        ++g_callbacks;
        queue->failure = 0;  // taking a buffer again: a lost output is back
    }
    queue->callback(queue->userData, queue, buffer);
    return played;
}

void LoseOutput(int failure) {
    OutputQueueState* queue = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (g_queue == nullptr) return;
        queue = g_queue.get();
        queue->failure = failure;
    }
    queue->callback(queue->userData, queue, nullptr);
}

}  // namespace fake_audio_queue

using namespace fake_audio_queue;

int OutputQueueNew(const StreamFormat* format, OutputCallback callback, void* userData, OutputQueue* queue) {
    std::lock_guard<std::mutex> lock(g_mutex);
    Log("New");
    g_format = *format;
    *queue = nullptr;
    if (g_failNew != 0) {
        const int error = g_failNew;
        g_failNew = 0;
        return error;
    }
    g_queue = std::make_unique<OutputQueueState>();
    g_queue->callback = callback;
    g_queue->userData = userData;
    *queue = g_queue.get();
    return 0;
}

int OutputQueueAllocateBuffer(OutputQueue queue, uint32_t capacity, OutputBuffer* buffer) {
    std::lock_guard<std::mutex> lock(g_mutex);
    Log("Allocate " + std::to_string(capacity));
    *buffer = nullptr;
    if (queue != g_queue.get() || queue == nullptr) return kOutputErrorBadArgument;
    if (static_cast<int>(queue->buffers.size()) == g_failAllocationIndex) return g_failAllocationError;
    // Filled with a marker, so a callback that leaves it alone shows.
    queue->storage.emplace_back(new unsigned char[capacity]);
    std::fill(queue->storage.back().get(), queue->storage.back().get() + capacity, 0xA5);
    queue->buffers.push_back(std::make_unique<OutputBufferRecord>(
        OutputBufferRecord{queue->storage.back().get(), capacity, 0}));
    *buffer = queue->buffers.back().get();
    return 0;
}

int OutputQueueEnqueueBuffer(OutputQueue queue, OutputBuffer buffer) {
    std::lock_guard<std::mutex> lock(g_mutex);
    // Not logged: it happens on every refill.
    if (queue != g_queue.get() || queue == nullptr) return kOutputErrorBadArgument;
    queue->queued.push_back(buffer);
    return 0;
}

namespace {
int Simple(OutputQueue queue, std::string call) {
    std::lock_guard<std::mutex> lock(g_mutex);
    Log(std::move(call));
    return queue != nullptr && queue == g_queue.get() ? 0 : kOutputErrorBadArgument;
}
}  // namespace

int OutputQueuePrime(OutputQueue queue, uint32_t frames) { return Simple(queue, "Prime " + std::to_string(frames)); }

int OutputQueueSetVolume(OutputQueue queue, float volume) {
    char text[32];
    std::snprintf(text, sizeof text, "Volume %.3f", volume);
    return Simple(queue, text);
}

int OutputQueueStart(OutputQueue queue) { return Simple(queue, "Start"); }
int OutputQueueFlush(OutputQueue queue) { return Simple(queue, "Flush"); }

int OutputQueueStop(OutputQueue queue, bool immediate) {
    return Simple(queue, immediate ? "Stop true" : "Stop false");
}

int OutputQueueDispose(OutputQueue queue, bool immediate) {
    std::lock_guard<std::mutex> lock(g_mutex);
    Log(immediate ? "Dispose true" : "Dispose false");
    if (queue == nullptr || queue != g_queue.get()) return kOutputErrorBadArgument;
    g_queue.reset();
    return 0;
}

void OutputQueueEndCallbackLoop() {
    std::lock_guard<std::mutex> lock(g_mutex);
    Log("EndCallbackLoop");
}

int OutputQueueFailure(OutputQueue queue) {
    std::lock_guard<std::mutex> lock(g_mutex);
    return queue != nullptr && queue == g_queue.get() ? queue->failure : kOutputErrorBadArgument;
}

const char* OutputQueueErrorText(int error) {
    if (error == kOutputErrorLost) return "lost";
    return error == 0 ? "no error" : "fake error";
}
