#include "voice_doubles.h"

#include <dlfcn.h>

#include <SoundTouch.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/monitor.h"

namespace voice_doubles {
namespace {

constexpr std::size_t kMonitorCapacity = std::size_t{1} << 21;
constexpr std::size_t kMonitorCallCapacity = 1 << 16;
int16_t monitorSamples[kMonitorCapacity];
std::size_t monitorSampleCount = 0;
MonitorCall monitorCalls[kMonitorCallCapacity];
std::size_t monitorCallCount = 0;

constexpr std::size_t kPitchCapacity = 1 << 17;
PitchCall pitchCalls[kPitchCapacity];
std::size_t pitchCallCount = 0;
std::atomic<bool> recordPitch{true};
std::atomic<std::size_t> clearCount{0};
unsigned long processorUses = 0;  // plain on purpose: see ClearCount

void RecordPitch(bool integer, double semitones) {
    if (!recordPitch.load(std::memory_order_relaxed)) return;
    if (pitchCallCount < kPitchCapacity) pitchCalls[pitchCallCount] = PitchCall{integer, semitones};
    ++pitchCallCount;
}

template <typename F>
F Next(const char* mangled) {
    void* next = dlsym(RTLD_NEXT, mangled);
    if (next == nullptr) {
        std::fprintf(stderr, "voice_doubles: SoundTouch has no %s\n", mangled);
        std::abort();
    }
    return reinterpret_cast<F>(next);
}

}  // namespace

void ResetMonitor() {
    monitorSampleCount = 0;
    monitorCallCount = 0;
}
std::size_t MonitorCallCount() { return monitorCallCount; }
MonitorCall MonitorCallAt(std::size_t index) { return monitorCalls[index]; }
std::vector<int16_t> MonitorSamples() {
    const std::size_t kept = monitorSampleCount < kMonitorCapacity ? monitorSampleCount : kMonitorCapacity;
    return std::vector<int16_t>(monitorSamples, monitorSamples + kept);
}

void ResetPitchCalls() { pitchCallCount = 0; }
std::size_t PitchCallCount() { return pitchCallCount; }
PitchCall PitchCallAt(std::size_t index) { return pitchCalls[index]; }
std::vector<PitchCall> PitchCalls() {
    const std::size_t kept = pitchCallCount < kPitchCapacity ? pitchCallCount : kPitchCapacity;
    return std::vector<PitchCall>(pitchCalls, pitchCalls + kept);
}
void RecordPitchCalls(bool on) { recordPitch.store(on, std::memory_order_relaxed); }
std::size_t ClearCount() { return clearCount.load(); }

}  // namespace voice_doubles

// The monitor as the processing sees it.
int WAVE_Set_WIN_Params(unsigned int, int, int) { return 0; }
void WAVE_WIN_Audio_close() {}
int WAVE_WIN_Play_Samples(const void* data, int byteCount) {
    using namespace voice_doubles;
    const std::size_t samples = byteCount > 0 ? static_cast<std::size_t>(byteCount) / 2 : 0;
    if (monitorCallCount < kMonitorCallCapacity) monitorCalls[monitorCallCount] = MonitorCall{monitorSampleCount, byteCount};
    ++monitorCallCount;
    const std::size_t room = monitorSampleCount < kMonitorCapacity ? kMonitorCapacity - monitorSampleCount : 0;
    const std::size_t copied = samples < room ? samples : room;
    if (copied > 0) std::memcpy(monitorSamples + monitorSampleCount, data, copied * 2);
    monitorSampleCount += samples;
    return 0;
}

// The executable's definitions come first in symbol lookup, and the code under
// test calls these members on an object, not through the vtable: every pitch
// it sets, every clear, put and receive passes here, is recorded, and goes on
// to the library's own function.
namespace soundtouch {
void SoundTouch::setPitchSemiTones(int newPitch) {
    using Real = void (*)(SoundTouch*, int);
    static const Real real = voice_doubles::Next<Real>("_ZN10soundtouch10SoundTouch17setPitchSemiTonesEi");
    voice_doubles::RecordPitch(true, newPitch);
    real(this, newPitch);
}
void SoundTouch::setPitchSemiTones(double newPitch) {
    using Real = void (*)(SoundTouch*, double);
    static const Real real = voice_doubles::Next<Real>("_ZN10soundtouch10SoundTouch17setPitchSemiTonesEd");
    voice_doubles::RecordPitch(false, newPitch);
    real(this, newPitch);
}
void SoundTouch::clear() {
    using Real = void (*)(SoundTouch*);
    static const Real real = voice_doubles::Next<Real>("_ZN10soundtouch10SoundTouch5clearEv");
    ++voice_doubles::processorUses;
    voice_doubles::clearCount.fetch_add(1);
    real(this);
}
bool SoundTouch::setSetting(int settingId, int value) {
    using Real = bool (*)(SoundTouch*, int, int);
    static const Real real = voice_doubles::Next<Real>("_ZN10soundtouch10SoundTouch10setSettingEii");
    ++voice_doubles::processorUses;
    return real(this, settingId, value);
}
void SoundTouch::putSamples(const SAMPLETYPE* samples, uint count) {
    using Real = void (*)(SoundTouch*, const SAMPLETYPE*, uint);
    static const Real real = voice_doubles::Next<Real>("_ZN10soundtouch10SoundTouch10putSamplesEPKfj");
    ++voice_doubles::processorUses;
    real(this, samples, count);
}
uint SoundTouch::receiveSamples(SAMPLETYPE* out, uint count) {
    using Real = uint (*)(SoundTouch*, SAMPLETYPE*, uint);
    static const Real real = voice_doubles::Next<Real>("_ZN10soundtouch10SoundTouch14receiveSamplesEPfj");
    ++voice_doubles::processorUses;
    return real(this, out, count);
}
}  // namespace soundtouch
