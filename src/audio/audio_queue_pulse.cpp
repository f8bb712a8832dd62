// The output queue of audio_queue.h over PulseAudio (PipeWire desktops serve
// the same API). Each queue has a playback thread of its own that owns every
// PulseAudio object (they are not thread-safe) and runs the refill callback.
// Other threads hand it work through a small mailbox guarded by `mutex` and
// wake it with pa_mainloop_wakeup.
//
// The thread also loads libpulse and connects, so that creating a queue never
// waits for a sound server: one that accepts and then stays silent is given
// up after kConnectTimeout, and a dispose request ends the wait at once. What
// is enqueued meanwhile waits in the mailbox.
//
// A server that goes away while playing (stopped, restarted) is reported
// once through the callback, and the thread connects again every
// kReconnectInterval until it is back or the queue is closed. The buffers
// then circulate again, each refilled before it plays.
//
// Buffers move between three places: `incoming` (enqueued by another thread),
// `ready` (filled, waiting to go to the server) and `spent` (their bytes went
// to the server; waiting for the callback to refill them). When the server
// asks for data, ready buffers are written; when none is left, the oldest
// spent one goes through the callback first. So the callback runs exactly
// when the server needs data, and what the capture side appended a moment
// earlier goes out with it.
#if !defined(__APPLE__)

#include <pthread.h>

#include <chrono>
#include <mutex>
#include <new>
#include <thread>

#include "audio_queue.h"
#include "output_buffers.h"
#include "pulse_library.h"

namespace {

constexpr auto kConnectTimeout = std::chrono::seconds(3);
constexpr auto kDrainTimeout = std::chrono::milliseconds(500);
constexpr auto kReconnectInterval = std::chrono::seconds(2);  // between the starts of two attempts
constexpr int kPollTimeoutUs = 20000;         // while waiting for something with a deadline
constexpr uint32_t kServerLatencyMs = 80;      // what the server holds: four 20 ms buffers
constexpr int kMaxRefillsPerRequest = 256;     // a callback that never fills cannot spin us

using Clock = std::chrono::steady_clock;

using BufferRing = OutputRing<OutputBuffer>;

}  // namespace

struct OutputQueueState : OutputQueueBase {
    // Set at creation, read-only afterwards.
    pa_sample_spec sampleFormat{};

    // In the mailbox, guarded by `mutex`.
    const PulseLibrary* pa = nullptr;  // set by the thread together with mainloop
    pa_mainloop* mainloop = nullptr;  // for wakeups; null until connecting and once freed
    BufferRing incoming;

    // The playback thread's own.
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    BufferRing ready;
    BufferRing spent;
    uint32_t readyOffset = 0;  // bytes of ready.front() already written
    Clock::time_point nextConnect{};  // while lost: the earliest next attempt
    bool draining = false;
    bool drained = false;
};

OutputQueueBase* QueueBase(OutputQueue queue) { return queue; }

void WakePlayback(OutputQueue q) {
    // Caller holds q->mutex, so the main loop cannot be freed meanwhile.
    if (q->mainloop != nullptr) q->pa->mainloop_wakeup(q->mainloop);
}

namespace {

thread_local OutputQueueState* tl_playbackQueue = nullptr;

bool ContextGone(pa_context_state_t state) {
    return state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED;
}

bool StreamGone(pa_stream_state_t state) { return state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED; }

void OnContextState(pa_context* /*context*/, void* /*userData*/) {
    // Only wakes the loop; the state is read there.
}

void OnStreamState(pa_stream* /*stream*/, void* /*userData*/) {}

void OnDrained(pa_stream* /*stream*/, int /*success*/, void* userData) {
    static_cast<OutputQueueState*>(userData)->drained = true;
}

// Serves the server's request for data; see the file comment.
void Feed(OutputQueueState* q) {
    const PulseLibrary& pa = *q->pa;
    if (q->stream == nullptr || q->lost || pa.stream_get_state(q->stream) != PA_STREAM_READY) return;
    size_t wanted = pa.stream_writable_size(q->stream);
    if (wanted == static_cast<size_t>(-1)) return;
    const uint32_t frameBytes = 2u * q->sampleFormat.channels;
    int refills = 0;

    while (wanted >= frameBytes) {
        if (q->ready.empty()) {
            // No refill once stopping: what is queued plays, then nothing.
            if (q->stopping || q->spent.empty() || refills == kMaxRefillsPerRequest) break;
            ++refills;
            q->callback(q->userData, q, q->spent.pop());
            continue;
        }
        OutputBuffer buffer = q->ready.front();
        const uint32_t size = PlayableBytes(*buffer, frameBytes);
        if (q->readyOffset >= size) {
            q->ready.pop();
            q->readyOffset = 0;
            q->spent.push(buffer);
            continue;
        }
        size_t chunk = size - q->readyOffset;
        if (chunk > wanted) chunk = wanted - wanted % frameBytes;
        void* target = nullptr;
        size_t targetBytes = chunk;
        if (pa.stream_begin_write(q->stream, &target, &targetBytes) < 0 || target == nullptr) break;
        if (targetBytes > chunk) targetBytes = chunk;
        targetBytes -= targetBytes % frameBytes;
        if (targetBytes == 0) {
            pa.stream_cancel_write(q->stream);
            break;
        }
        // To the server's memory, at the queue's volume.
        CopyScaled(target, static_cast<const unsigned char*>(buffer->mAudioData) + q->readyOffset, targetBytes,
                   q->playVolume);
        if (pa.stream_write(q->stream, target, targetBytes, nullptr, 0, PA_SEEK_RELATIVE) < 0) break;
        q->readyOffset += static_cast<uint32_t>(targetBytes);
        wanted -= targetBytes;
        if (q->readyOffset >= size) {
            q->ready.pop();
            q->readyOffset = 0;
            q->spent.push(buffer);
        }
    }
}

void OnWritable(pa_stream* /*stream*/, size_t /*bytes*/, void* userData) { Feed(static_cast<OutputQueueState*>(userData)); }

void ReleaseServerObjects(OutputQueueState* q) {
    const PulseLibrary& pa = *q->pa;
    if (q->stream != nullptr) {
        pa.stream_set_write_callback(q->stream, nullptr, nullptr);
        pa.stream_set_state_callback(q->stream, nullptr, nullptr);
        if (!StreamGone(pa.stream_get_state(q->stream))) pa.stream_disconnect(q->stream);
        pa.stream_unref(q->stream);
        q->stream = nullptr;
    }
    if (q->context != nullptr) {
        pa.context_set_state_callback(q->context, nullptr, nullptr);
        if (!ContextGone(pa.context_get_state(q->context))) pa.context_disconnect(q->context);
        pa.context_unref(q->context);
        q->context = nullptr;
    }
}

// One turn of the main loop, waiting at most timeoutUs (-1: until woken).
void Iterate(OutputQueueState* q, pa_mainloop* mainloop, int timeoutUs) {
    const PulseLibrary& pa = *q->pa;
    if (pa.mainloop_prepare(mainloop, timeoutUs) < 0) return;
    if (pa.mainloop_poll(mainloop) < 0) return;
    pa.mainloop_dispatch(mainloop);
}

bool DisposeRequested(OutputQueueState* q) {
    std::lock_guard<std::mutex> lock(q->mutex);
    return q->disposeRequested;
}

// Connects to the server and opens a corked playback stream; 0 or an error.
int Connect(OutputQueueState* q, pa_mainloop* mainloop) {
    const PulseLibrary& pa = *q->pa;
    const Clock::time_point deadline = Clock::now() + kConnectTimeout;

    q->context = pa.context_new(pa.mainloop_get_api(mainloop), "Morindale");
    if (q->context == nullptr) return kOutputErrorResources;
    pa.context_set_state_callback(q->context, OnContextState, q);
    // No autospawn: a plug-in must not start a sound server of its own.
    if (pa.context_connect(q->context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return kOutputErrorNoServer;
    for (;;) {
        const pa_context_state_t state = pa.context_get_state(q->context);
        if (state == PA_CONTEXT_READY) break;
        if (ContextGone(state)) return kOutputErrorNoServer;
        if (Clock::now() >= deadline || DisposeRequested(q)) return kOutputErrorTimeout;
        Iterate(q, mainloop, kPollTimeoutUs);
    }

    q->stream = pa.stream_new(q->context, "Hear Voice", &q->sampleFormat, nullptr);
    if (q->stream == nullptr) return kOutputErrorNoServer;
    pa.stream_set_state_callback(q->stream, OnStreamState, q);
    pa.stream_set_write_callback(q->stream, OnWritable, q);
    pa_buffer_attr attributes;
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.tlength = static_cast<uint32_t>(static_cast<uint64_t>(q->sampleFormat.rate) * 2u * q->sampleFormat.channels *
                                               kServerLatencyMs / 1000u);
    attributes.prebuf = static_cast<uint32_t>(-1);
    attributes.minreq = static_cast<uint32_t>(-1);
    attributes.fragsize = static_cast<uint32_t>(-1);
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY);
    if (pa.stream_connect_playback(q->stream, nullptr, &attributes, flags, nullptr, nullptr) < 0)
        return kOutputErrorNoServer;
    for (;;) {
        const pa_stream_state_t state = pa.stream_get_state(q->stream);
        if (state == PA_STREAM_READY) return 0;
        if (StreamGone(state) || ContextGone(pa.context_get_state(q->context))) return kOutputErrorNoServer;
        if (Clock::now() >= deadline || DisposeRequested(q)) return kOutputErrorTimeout;
        Iterate(q, mainloop, kPollTimeoutUs);
    }
}

void Uncork(OutputQueueState* q) {
    if (pa_operation* op = q->pa->stream_cork(q->stream, 0, nullptr, nullptr)) q->pa->operation_unref(op);
}

// Takes what other threads posted; true once the thread may end.
bool TakeMail(OutputQueueState* q, Clock::time_point* disposeDeadline) {
    const OutputRequests mail = q->TakeRequests(&q->incoming, &q->ready);
    const PulseLibrary& pa = *q->pa;
    const bool connected = q->stream != nullptr && !q->lost;
    // A start taken while the server is away applies once it is back.
    if (mail.start && !q->started) {
        q->started = true;
        if (connected) Uncork(q);
    }
    if (connected) Feed(q);
    // Stopping: once everything queued has gone out, let the server play it.
    if (connected && q->stopping && q->started && !q->draining && q->ready.empty()) {
        q->draining = true;
        if (pa_operation* op = pa.stream_drain(q->stream, OnDrained, q)) pa.operation_unref(op);
        else q->drained = true;
    }
    if (!mail.dispose) return false;
    if (*disposeDeadline == Clock::time_point()) *disposeDeadline = Clock::now() + kDrainTimeout;
    return mail.immediately || !connected || !q->started || q->drained || Clock::now() >= *disposeDeadline;
}

// Tells the callback, once, that the output has gone or never came; unless
// closing began.
void ReportFailure(OutputQueueState* q, int failure) {
    {
        std::lock_guard<std::mutex> lock(q->mutex);
        if (q->disposeRequested || q->stopping) return;
        q->failure = failure;
    }
    q->callback(q->userData, q, nullptr);
}

void ReportLoss(OutputQueueState* q) {
    q->lost = true;
    q->nextConnect = Clock::now() + kReconnectInterval;
    ReleaseServerObjects(q);
    if (!q->stopping) ReportFailure(q, kOutputErrorLost);
}

// After a loss, once kReconnectInterval has passed since the last attempt:
// connects again. Back, every buffer waits to be refilled, since what they
// held is older than the loss; the callback hears of the return with the
// first of them.
void TryReconnect(OutputQueueState* q, pa_mainloop* mainloop) {
    if (q->stopping || Clock::now() < q->nextConnect) return;
    q->nextConnect = Clock::now() + kReconnectInterval;
    if (Connect(q, mainloop) != 0) {
        ReleaseServerObjects(q);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(q->mutex);
        q->failure = 0;
    }
    while (!q->ready.empty()) q->spent.push(q->ready.pop());
    q->readyOffset = 0;
    q->lost = false;
    if (q->started) Uncork(q);
}

// How long the loop may wait for events: until woken, or until the next
// poll of a dispose deadline or a reconnection attempt.
int WaitUs(const OutputQueueState* q, bool disposing) {
    if (disposing) return kPollTimeoutUs;
    if (!q->lost || q->stopping) return -1;
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(q->nextConnect - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(left);
}

void Run(OutputQueueState* q) {
    tl_playbackQueue = q;
    const PulseLibrary* library = Pulse();
    if (library == nullptr) {
        ReportFailure(q, kOutputErrorNoLibrary);
        tl_playbackQueue = nullptr;
        return;
    }
    const PulseLibrary& pa = *library;
    pa_mainloop* mainloop = pa.mainloop_new();
    {
        std::lock_guard<std::mutex> lock(q->mutex);
        q->pa = library;
        q->mainloop = mainloop;
    }
    int error = mainloop != nullptr ? 0 : kOutputErrorResources;
    if (mainloop != nullptr) {
        error = Connect(q, mainloop);
    }
    if (error != 0) {
        ReleaseServerObjects(q);
        ReportFailure(q, error);
    } else {
        Clock::time_point disposeDeadline{};
        while (!TakeMail(q, &disposeDeadline)) {
            if (q->lost) {
                TryReconnect(q, mainloop);
                if (!q->lost) continue;  // back: take the mail and feed at once
            }
            Iterate(q, mainloop, WaitUs(q, disposeDeadline != Clock::time_point()));
            if (!q->lost && (ContextGone(pa.context_get_state(q->context)) ||
                             StreamGone(pa.stream_get_state(q->stream))))
                ReportLoss(q);
        }
    }

    ReleaseServerObjects(q);
    if (mainloop != nullptr) {
        {
            std::lock_guard<std::mutex> lock(q->mutex);
            q->mainloop = nullptr;
        }
        pa.mainloop_free(mainloop);
    }
    tl_playbackQueue = nullptr;
}

}  // namespace

int OutputQueueNew(const StreamFormat* format, OutputCallback callback, void* userData, OutputQueue* queue) {
    if (const int error = CheckOutputQueueNew(format, callback, queue, PA_CHANNELS_MAX, PA_RATE_MAX)) return error;

    OutputQueueState* q = new (std::nothrow) OutputQueueState;
    if (q == nullptr) return kOutputErrorResources;
    q->callback = callback;
    q->userData = userData;
    q->sampleFormat.format = PA_SAMPLE_S16NE;
    q->sampleFormat.rate = static_cast<uint32_t>(format->mSampleRate);
    q->sampleFormat.channels = static_cast<uint8_t>(format->mChannelsPerFrame);
    try {
        q->thread = std::thread(Run, q);
        // Named at once, so that it can be told apart in a debugger, top or a
        // test from the moment the queue exists.
        pthread_setname_np(q->thread.native_handle(), "morindale-mon");
    } catch (...) {
        delete q;
        return kOutputErrorResources;
    }
    *queue = q;
    return 0;
}

int OutputQueueEnqueueBuffer(OutputQueue queue, OutputBuffer buffer) {
    if (queue == nullptr || buffer == nullptr) return kOutputErrorBadArgument;
    if (tl_playbackQueue == queue) {
        // From the callback: the playback thread's own list, no lock.
        return queue->ready.push(buffer) ? 0 : kOutputErrorBadArgument;
    }
    std::lock_guard<std::mutex> lock(queue->mutex);
    if (!queue->incoming.push(buffer)) return kOutputErrorBadArgument;
    WakePlayback(queue);
    return 0;
}

int OutputQueueDispose(OutputQueue queue, bool immediate) {
    if (queue == nullptr) return kOutputErrorBadArgument;
    // The callback cannot wait for its own thread to end.
    if (tl_playbackQueue == queue) return kOutputErrorBadArgument;
    PostOutputDispose(queue, immediate);
    if (queue->thread.joinable()) queue->thread.join();
    delete queue;
    return 0;
}

const char* OutputQueueErrorText(int error) {
    switch (error) {
        case kOutputErrorNoLibrary:
            return "libpulse is not installed";
        case kOutputErrorNoServer:
            return "no sound server, or it refused the connection";
        case kOutputErrorTimeout:
            return "the sound server did not answer";
        case kOutputErrorLost:
            return "the sound server went away";
        default:
            return OutputErrorText(error);
    }
}

#endif
