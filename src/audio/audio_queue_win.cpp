// The output queue of audio_queue.h over WinMM's waveOut. Each queue has a
// playback thread of its own that opens the device, owns it and runs the
// refill callback; waveOut signals an event whenever a buffer has played.
// Other threads hand the thread work through a small mailbox guarded by
// `mutex` and wake it with `wake`.
//
// Buffers move between `incoming` (enqueued by another thread), `ready`
// (filled, not yet written because the queue has not started) and the
// device (written). A buffer the device hands back goes through the callback,
// which fills it and enqueues it again, straight to the device. The device
// is opened before OutputQueueNew returns (waveOutOpen does not wait for
// anything); should it go away later, the callback is called once more with
// a null buffer and OutputQueueFailure says kOutputErrorLost.
#include <windows.h>
#include <mmsystem.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

#include "audio_queue.h"
#include "output_buffers.h"

namespace {

constexpr DWORD kDrainTimeoutMs = 500;

enum class Phase { Opening, Playing, Failed };

// Buffers by their index in the pool.
using IndexRing = OutputRing<int>;

}  // namespace

struct OutputQueueState : OutputQueueBase {
    // Set at creation, read-only afterwards.
    WAVEFORMATEX format{};
    HANDLE wake = nullptr;    // auto-reset: mail has come
    HANDLE played = nullptr;  // auto-reset: waveOut finished a buffer
    DWORD threadId = 0;  // the playback thread's; written before `opened` is told

    // In the mailbox, guarded by `mutex`.
    std::condition_variable opened;
    Phase phase = Phase::Opening;
    int error = 0;
    IndexRing incoming;

    // The playback thread's own.
    HWAVEOUT device = nullptr;
    WAVEHDR headers[kMaxOutputBuffers] = {};
    bool onDevice[kMaxOutputBuffers] = {};
    IndexRing ready;
};

OutputQueueBase* QueueBase(OutputQueue queue) { return queue; }

void WakePlayback(OutputQueue queue) { SetEvent(queue->wake); }

namespace {

bool OnPlaybackThread(const OutputQueueState* q) { return GetCurrentThreadId() == q->threadId; }

// Tells the callback, once, that the output has gone; unless closing began.
void ReportLoss(OutputQueueState* q) {
    if (q->lost) return;
    q->lost = true;
    bool closing = q->stopping;
    {
        std::lock_guard<std::mutex> lock(q->mutex);
        closing = closing || q->stopRequested || q->disposeRequested;
    }
    if (closing) return;
    {
        std::lock_guard<std::mutex> lock(q->mutex);
        q->failure = kOutputErrorLost;
    }
    q->callback(q->userData, q, nullptr);
}

// Hands one filled buffer to the device.
void Write(OutputQueueState* q, int index) {
    if (q->lost) return;
    OutputBufferRecord& record = q->buffers[index];
    WAVEHDR& header = q->headers[index];
    const uint32_t size = PlayableBytes(record, q->format.nBlockAlign);
    if (size == 0) return;
    CopyScaled(record.mAudioData, record.mAudioData, size, q->playVolume);
    if (header.dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(q->device, &header, sizeof header);
    header = WAVEHDR{};
    header.lpData = static_cast<LPSTR>(record.mAudioData);
    header.dwBufferLength = size;
    if (waveOutPrepareHeader(q->device, &header, sizeof header) != MMSYSERR_NOERROR ||
        waveOutWrite(q->device, &header, sizeof header) != MMSYSERR_NOERROR) {
        ReportLoss(q);
        return;
    }
    q->onDevice[index] = true;
}

// Passes every buffer the device has played through the callback.
void Refill(OutputQueueState* q) {
    for (int i = 0; i < q->buffers.count(); ++i) {
        if (!q->onDevice[i] || (q->headers[i].dwFlags & WHDR_DONE) == 0) continue;
        q->onDevice[i] = false;
        // No refill once stopping: what is queued plays, then nothing.
        if (!q->stopping && !q->lost) q->callback(q->userData, q, &q->buffers[i]);
    }
}

bool AnyOnDevice(const OutputQueueState* q) {
    for (int i = 0; i < kMaxOutputBuffers; ++i)
        if (q->onDevice[i] && (q->headers[i].dwFlags & WHDR_DONE) == 0) return true;
    return false;
}

// Takes what other threads posted; true once disposal was asked for.
bool TakeMail(OutputQueueState* q, bool* immediately) {
    const OutputRequests mail = q->TakeRequests(&q->incoming, &q->ready);
    *immediately = mail.immediately;
    if (mail.start) q->started = true;
    if (q->started)
        while (!q->ready.empty()) Write(q, q->ready.pop());
    return mail.dispose;
}

void Run(OutputQueueState* q) {
    const MMRESULT opened = waveOutOpen(&q->device, WAVE_MAPPER, &q->format, reinterpret_cast<DWORD_PTR>(q->played),
                                        0, CALLBACK_EVENT);
    {
        std::lock_guard<std::mutex> lock(q->mutex);
        q->threadId = GetCurrentThreadId();
        q->phase = opened == MMSYSERR_NOERROR ? Phase::Playing : Phase::Failed;
        q->error = opened == MMSYSERR_NOERROR ? 0 : kOutputErrorNoServer;
        if (opened != MMSYSERR_NOERROR) q->device = nullptr;
    }
    q->opened.notify_all();
    if (opened != MMSYSERR_NOERROR) return;

    bool immediately = false;
    while (!TakeMail(q, &immediately)) {
        HANDLE handles[2] = {q->wake, q->played};
        WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        Refill(q);
    }
    // Closing: unless told otherwise, let what is queued play out first,
    // within a bound, so that a stuck device cannot hold up shutdown.
    if (!immediately && !q->lost) {
        const ULONGLONG deadline = GetTickCount64() + kDrainTimeoutMs;
        while (AnyOnDevice(q)) {
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline) break;
            WaitForSingleObject(q->played, static_cast<DWORD>(deadline - now));
        }
    }
    waveOutReset(q->device);
    for (int i = 0; i < kMaxOutputBuffers; ++i)
        if (q->headers[i].dwFlags & WHDR_PREPARED) waveOutUnprepareHeader(q->device, &q->headers[i], sizeof(WAVEHDR));
    waveOutClose(q->device);
    q->device = nullptr;
}

void Free(OutputQueueState* q) {
    if (q->wake != nullptr) CloseHandle(q->wake);
    if (q->played != nullptr) CloseHandle(q->played);
    delete q;
}

}  // namespace

int OutputQueueNew(const StreamFormat* format, OutputCallback callback, void* userData, OutputQueue* queue) {
    if (const int error = CheckOutputQueueNew(format, callback, queue, 8, 384000.0)) return error;

    OutputQueueState* q = new (std::nothrow) OutputQueueState;
    if (q == nullptr) return kOutputErrorResources;
    q->callback = callback;
    q->userData = userData;
    q->format.wFormatTag = WAVE_FORMAT_PCM;
    q->format.nChannels = static_cast<WORD>(format->mChannelsPerFrame);
    q->format.nSamplesPerSec = static_cast<DWORD>(format->mSampleRate);
    q->format.wBitsPerSample = 16;
    q->format.nBlockAlign = static_cast<WORD>(2 * format->mChannelsPerFrame);
    q->format.nAvgBytesPerSec = q->format.nSamplesPerSec * q->format.nBlockAlign;
    q->wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    q->played = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (q->wake == nullptr || q->played == nullptr) {
        Free(q);
        return kOutputErrorResources;
    }
    try {
        q->thread = std::thread(Run, q);
        std::unique_lock<std::mutex> lock(q->mutex);
        q->opened.wait(lock, [q] { return q->phase != Phase::Opening; });
        const int error = q->error;
        lock.unlock();
        if (error != 0) {
            q->thread.join();
            Free(q);
            return error;
        }
    } catch (...) {
        if (q->thread.joinable()) {
            PostOutputRequest(q, &OutputQueueBase::disposeRequested);
            q->thread.join();
        }
        Free(q);
        return kOutputErrorResources;
    }
    *queue = q;
    return 0;
}

int OutputQueueEnqueueBuffer(OutputQueue queue, OutputBuffer buffer) {
    if (queue == nullptr || buffer == nullptr) return kOutputErrorBadArgument;
    const int index = queue->buffers.IndexOf(buffer);
    if (index < 0) return kOutputErrorBadArgument;
    if (OnPlaybackThread(queue)) {
        // From the callback: straight to the device, or held until started.
        if (queue->started) Write(queue, index);
        else if (!queue->ready.push(index)) return kOutputErrorBadArgument;
        return 0;
    }
    std::lock_guard<std::mutex> lock(queue->mutex);
    if (!queue->incoming.push(index)) return kOutputErrorBadArgument;
    WakePlayback(queue);
    return 0;
}

int OutputQueueDispose(OutputQueue queue, bool immediate) {
    if (queue == nullptr) return kOutputErrorBadArgument;
    // The callback cannot wait for its own thread to end.
    if (OnPlaybackThread(queue)) return kOutputErrorBadArgument;
    PostOutputDispose(queue, immediate);
    if (queue->thread.joinable()) queue->thread.join();
    Free(queue);
    return 0;
}

const char* OutputQueueErrorText(int error) {
    switch (error) {
        case kOutputErrorNoServer:
            return "no audio output device, or it refused the format";
        default:
            return OutputErrorText(error);
    }
}
