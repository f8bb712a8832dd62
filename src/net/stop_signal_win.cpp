// The stop signal on Windows: a manual-reset event. Once set it stays set,
// so every present and future wait on it ends at once.
#include <windows.h>

#include <chrono>

#include "stop_signal.h"

StopSignal::~StopSignal() { Close(); }

bool StopSignal::Open() {
    Close();
    event_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event_ == nullptr) return false;
    raised_.store(false, std::memory_order_release);
    return true;
}

void StopSignal::Close() {
    if (event_ != nullptr) CloseHandle(static_cast<HANDLE>(event_));
    event_ = nullptr;
}

void StopSignal::Raise() {
    raised_.store(true, std::memory_order_release);
    if (event_ != nullptr) SetEvent(static_cast<HANDLE>(event_));
}

bool StopSignal::Sleep(long milliseconds) const {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        if (Raised()) return false;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return true;
        if (event_ != nullptr) {
            WaitForSingleObject(static_cast<HANDLE>(event_), static_cast<DWORD>(left));
        } else {
            ::Sleep(static_cast<DWORD>(left));  // no event to wait with: sleep without the wake-up
        }
    }
}
