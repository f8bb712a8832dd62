// A value shared between the client's event threads (writers) and its audio
// thread (reader) without a lock. Each access is a relaxed atomic load or
// store: no torn values and no data race, and no ordering between two values
// is relied on anywhere.
#pragma once

#include <atomic>

template <typename T>
class RelaxedAtomic {
public:
    constexpr RelaxedAtomic(T initial) noexcept : value_(initial) {}
    RelaxedAtomic(const RelaxedAtomic&) = delete;
    RelaxedAtomic& operator=(const RelaxedAtomic&) = delete;

    operator T() const noexcept { return value_.load(std::memory_order_relaxed); }
    RelaxedAtomic& operator=(T v) noexcept {
        value_.store(v, std::memory_order_relaxed);
        return *this;
    }

private:
    std::atomic<T> value_;
};
