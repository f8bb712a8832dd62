#include "preview_audio.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace morindale_preview {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kOpenTimeout = std::chrono::seconds(3);
constexpr int kPassUs = 20000;                      // longest single wait
constexpr uint32_t kBlockBytes = kBlock * 2;
constexpr uint32_t kPlaybackTarget = 2 * kBlockBytes;  // 40 ms held by the output
constexpr uint32_t kPlaybackStart = 2 * kBlockBytes;   // and held before it starts: room for jitter
constexpr pa_usec_t kPlaybackMaxAheadUs = 80000;
constexpr std::size_t kMaxPending = 3 * kBlock;       // beyond this we fell behind: keep the newest

const pa_sample_spec kFormat = {PA_SAMPLE_S16LE, kRate, 1};
constexpr auto kStreamFlags =
    static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_INTERPOLATE_TIMING);

bool Ended(pa_context_state_t state) { return state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED; }
bool Ended(pa_stream_state_t state) { return state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED; }

std::string g_server;  // as libpulse was told at connect time, for messages

}  // namespace

PreviewAudio::PreviewAudio() : pending_(kMaxPending + kBlock) {}

PreviewAudio::~PreviewAudio() {
    for (pa_stream* stream : {record_, playback_}) {
        if (stream == nullptr) continue;
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
    }
    if (context_ != nullptr) {
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    if (loop_ != nullptr) pa_mainloop_free(loop_);
}

std::string PreviewAudio::serverName() const {
    return g_server.empty() ? "the default sound server" : "the sound server " + g_server;
}

std::string PreviewAudio::failure(const char* what) const {
    const int code = context_ != nullptr ? pa_context_errno(context_) : PA_ERR_UNKNOWN;
    return std::string(what) + " (" + pa_strerror(code) + ")";
}

bool PreviewAudio::pump(int timeoutUs, std::string* error) {
    if (pa_mainloop_prepare(loop_, timeoutUs) < 0 || (pa_mainloop_poll(loop_) < 0 && errno != EINTR) ||
        pa_mainloop_dispatch(loop_) < 0) {
        *error = "the sound connection's main loop failed";
        return false;
    }
    if (Ended(pa_context_get_state(context_))) {
        *error = failure((serverName() + " went away").c_str());
        return false;
    }
    if (record_ != nullptr && Ended(pa_stream_get_state(record_))) {
        *error = failure("the microphone went away");
        return false;
    }
    if (playback_ != nullptr && Ended(pa_stream_get_state(playback_))) {
        *error = failure("the sound output went away");
        return false;
    }
    return true;
}

bool PreviewAudio::connect(std::string* error) {
    const char* server = std::getenv("PULSE_SERVER");
    g_server = server != nullptr ? server : "";
    loop_ = pa_mainloop_new();
    if (loop_ != nullptr) context_ = pa_context_new(pa_mainloop_get_api(loop_), "Morindale preview");
    if (context_ == nullptr) {
        *error = "cannot set up a sound connection";
        return false;
    }
    // No autospawn: the preview uses a running server and never starts one.
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        *error = failure(("no sound server: cannot reach " + serverName()).c_str());
        return false;
    }
    const auto deadline = Clock::now() + kOpenTimeout;
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(context_);
        if (state == PA_CONTEXT_READY) return true;
        if (Ended(state)) {
            *error = failure(("no sound server: cannot reach " + serverName()).c_str());
            return false;
        }
        if (Clock::now() >= deadline) {
            *error = "no sound server: " + serverName() + " does not answer";
            return false;
        }
        if (pa_mainloop_prepare(loop_, kPassUs) < 0 || (pa_mainloop_poll(loop_) < 0 && errno != EINTR) ||
            pa_mainloop_dispatch(loop_) < 0) {
            *error = "the sound connection's main loop failed";
            return false;
        }
    }
}

bool PreviewAudio::waitReady(pa_stream* stream, const char* what, std::string* error) {
    const auto deadline = Clock::now() + kOpenTimeout;
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if (state == PA_STREAM_READY) return true;
        if (Ended(state)) {
            *error = failure(what);
            return false;
        }
        if (Clock::now() >= deadline) {
            *error = std::string(what) + " (" + serverName() + " does not answer)";
            return false;
        }
        std::string loopError;
        if (pa_mainloop_prepare(loop_, kPassUs) < 0 || (pa_mainloop_poll(loop_) < 0 && errno != EINTR) ||
            pa_mainloop_dispatch(loop_) < 0 || Ended(pa_context_get_state(context_))) {
            *error = failure((serverName() + " went away").c_str());
            return false;
        }
    }
}

bool PreviewAudio::open(std::string* error) {
    record_ = pa_stream_new(context_, "Microphone", &kFormat, nullptr);
    playback_ = pa_stream_new(context_, "Morindale voice", &kFormat, nullptr);
    if (record_ == nullptr || playback_ == nullptr) {
        *error = failure("cannot make the sound streams");
        return false;
    }
    pa_buffer_attr recordAttr;
    recordAttr.maxlength = static_cast<uint32_t>(-1);
    recordAttr.tlength = static_cast<uint32_t>(-1);
    recordAttr.prebuf = static_cast<uint32_t>(-1);
    recordAttr.minreq = static_cast<uint32_t>(-1);
    recordAttr.fragsize = kBlockBytes;
    if (pa_stream_connect_record(record_, nullptr, &recordAttr, kStreamFlags) < 0 ||
        !waitReady(record_, "no microphone: the sound server offers no input", error)) {
        if (error->empty()) *error = failure("no microphone: the sound server offers no input");
        return false;
    }
    pa_buffer_attr playbackAttr;
    playbackAttr.maxlength = static_cast<uint32_t>(-1);
    playbackAttr.tlength = kPlaybackTarget;
    playbackAttr.prebuf = kPlaybackStart;
    playbackAttr.minreq = kBlockBytes;
    playbackAttr.fragsize = static_cast<uint32_t>(-1);
    if (pa_stream_connect_playback(playback_, nullptr, &playbackAttr, kStreamFlags, nullptr, nullptr) < 0 ||
        !waitReady(playback_, "no sound output: the sound server offers no output", error)) {
        if (error->empty()) *error = failure("no sound output: the sound server offers no output");
        return false;
    }
    return true;
}

int PreviewAudio::read(int16_t* block, std::chrono::milliseconds wait, std::string* error) {
    const auto deadline = Clock::now() + wait;
    for (;;) {
        // Everything the server has delivered, into pending_.
        while (pa_stream_readable_size(record_) > 0) {
            const void* data = nullptr;
            size_t bytes = 0;
            if (pa_stream_peek(record_, &data, &bytes) < 0) {
                *error = failure("the microphone went away");
                return -1;
            }
            if (bytes == 0) break;
            if (data != nullptr) {
                std::size_t count = bytes / 2;
                const int16_t* samples = static_cast<const int16_t*>(data);
                if (count > kMaxPending) {
                    samples += count - kMaxPending;
                    count = kMaxPending;
                }
                if (pendingCount_ + count > kMaxPending) {
                    // Behind: the oldest go, so the delay stays short.
                    const std::size_t drop = pendingCount_ + count - kMaxPending;
                    std::memmove(pending_.data(), pending_.data() + drop, (pendingCount_ - drop) * 2);
                    pendingCount_ -= drop;
                }
                std::memcpy(pending_.data() + pendingCount_, samples, count * 2);
                pendingCount_ += count;
            }
            pa_stream_drop(record_);
        }
        if (pendingCount_ >= static_cast<std::size_t>(kBlock)) {
            std::memcpy(block, pending_.data(), kBlockBytes);
            pendingCount_ -= kBlock;
            std::memmove(pending_.data(), pending_.data() + kBlock, pendingCount_ * 2);
            return 1;
        }
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
        if (left <= 0) return 0;
        if (!pump(static_cast<int>(std::min<long long>(left, kPassUs)), error)) return -1;
    }
}

bool PreviewAudio::play(const int16_t* block, std::string* error) {
    // A block that would put the output further ahead than this only
    // lengthens the delay for good (the microphone delivered a burst, or the
    // output started late): it is dropped.
    pa_usec_t ahead = 0;
    int negative = 0;
    if (pa_stream_get_latency(playback_, &ahead, &negative) == 0 && !negative && ahead > kPlaybackMaxAheadUs) {
        ++dropped_;
        return true;
    }
    if (pa_stream_write(playback_, block, kBlockBytes, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
        *error = failure("the sound output refused the voice");
        return false;
    }
    return pump(0, error);
}

double PreviewAudio::delaySeconds() {
    pa_usec_t in = 0, out = 0;
    int inNegative = 0, outNegative = 0;
    if (record_ == nullptr || playback_ == nullptr || pa_stream_get_latency(record_, &in, &inNegative) != 0 ||
        pa_stream_get_latency(playback_, &out, &outNegative) != 0)
        return -1.0;
    const double inSeconds = (inNegative ? -1.0 : 1.0) * static_cast<double>(in) * 1e-6;
    const double outSeconds = (outNegative ? -1.0 : 1.0) * static_cast<double>(out) * 1e-6;
    // The block being processed waits in pending_ until it is whole.
    return std::max(0.0, inSeconds) + static_cast<double>(pendingCount_ + kBlock) / kRate + std::max(0.0, outSeconds);
}

}  // namespace morindale_preview
