// The preview's sound: the default microphone in and the default output out,
// through PulseAudio (PipeWire serves the same API), 48 kHz mono 16-bit.
//
// libpulse's asynchronous API runs on a main loop of our own that only the
// caller's thread drives, in waits of at most 20 ms, so every call here
// returns within its stated time: a server that refuses, never answers or
// goes away becomes a one-line reason, never a hang. The server is never
// started on demand.
//
// Latency is kept low: the microphone is read in 20 ms fragments, the output
// starts once it holds 40 ms and aims at that, and blocks that would put it
// further than 80 ms ahead are dropped.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

struct pa_context;
struct pa_mainloop;
struct pa_stream;

namespace morindale_preview {

constexpr int kRate = 48000;
constexpr int kBlock = 960;  // 20 ms: the client's block

class PreviewAudio {
public:
    PreviewAudio();
    ~PreviewAudio();
    PreviewAudio(const PreviewAudio&) = delete;
    PreviewAudio& operator=(const PreviewAudio&) = delete;

    // Connects to the sound server that libpulse finds from the environment,
    // within 3 s. On failure: false, with a one-line reason in error.
    bool connect(std::string* error);
    // Opens the default source and sink, within 3 s.
    bool open(std::string* error);

    // Waits at most `wait` for the next whole block from the microphone.
    // 1: block holds kBlock samples; 0: none yet; -1: failure (error set).
    int read(int16_t* block, std::chrono::milliseconds wait, std::string* error);
    // Queues one block for the output; false with error on failure.
    bool play(const int16_t* block, std::string* error);

    // Microphone to speaker: what the source and our buffer hold, what the
    // output holds, in seconds; negative until the server has told both.
    double delaySeconds();
    long droppedBlocks() const { return dropped_; }

private:
    bool pump(int timeoutUs, std::string* error);  // one main loop pass
    bool waitReady(pa_stream* stream, const char* what, std::string* error);
    std::string serverName() const;
    std::string failure(const char* what) const;

    pa_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* record_ = nullptr;
    pa_stream* playback_ = nullptr;
    std::vector<int16_t> pending_;  // microphone samples not yet read, oldest first
    std::size_t pendingCount_ = 0;
    long dropped_ = 0;
};

}  // namespace morindale_preview
