// ts3plugin_onEditCapturedVoiceDataEvent: the voice state of the block and
// the one engine that processes it.
#include "voice_processing.h"

#include <atomic>
#include <mutex>
#include <optional>

#include "audio/monitor.h"
#include "ts3_plugin.h"
#include "voice_engine.h"
#include "voice_state.h"

namespace {

// The local monitor: the hand-off takes WAVE_mutex inside monitor.cpp.
class MonitorOutput final : public MonitorSink {
public:
    void Play(const int16_t* samples, int count) override {
        WAVE_WIN_Play_Samples(samples, count * static_cast<int>(sizeof(int16_t)));
    }
};

MonitorOutput monitorOutput;
// Static storage: the engine's buffers (about 1 MB) are no heap block, and
// its SoundTouch goes with the library's other static objects at unload.
std::optional<VoiceEngine> engineStorage;
// Published once, after construction; read by the capture and event threads.
std::atomic<VoiceEngine*> engine{nullptr};

}  // namespace

void SetUpVoiceEngine() {
    static std::once_flag built;
    std::call_once(built, [] {
        try {
            engineStorage.emplace(monitorOutput);
            engine.store(&*engineStorage, std::memory_order_release);
        } catch (...) {
            // Out of memory: without an engine every block passes untouched.
        }
    });
}

void RequestPitchProcessorClear() {
    VoiceEngine* voice = engine.load(std::memory_order_acquire);
    if (voice != nullptr) voice->RequestReset();
}

// Capture thread, one block at a time. The client owns samples and edited
// for the duration of the call.
void ts3plugin_onEditCapturedVoiceDataEvent(uint64 /*serverConnectionHandlerID*/, short* samples, int sampleCount,
                                            int /*channels*/, int* edited) {
    VoiceEngine* voice = engine.load(std::memory_order_acquire);
    if (voice == nullptr) return;
    // The voice state is read once; the block works on these copies.
    VoiceRequest request;
    request.enabled = gl_Enabled;
    request.voice = gl_CurrentVoiceEffect;
    request.monitor = gl_HearMyVoice;
    request.manualPitch = SS_Manual_Pitch;
    voice->Process(request, samples, sampleCount, edited);
}
