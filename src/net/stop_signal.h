// The wake-up with which shutdown ends every wait of the update checks at
// once. Sleeps and socket waits wait on it together with their own object
// (a pipe's descriptor on POSIX, an event on Windows), so a raised signal
// cuts a 2 s delay, a connect or a read short without waiting for the
// network. stop_signal_posix.cpp, stop_signal_win.cpp.
#pragma once

#include <atomic>

class StopSignal {
public:
    StopSignal() = default;
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    // Makes a fresh, unraised signal (closing an old one). False when the
    // system gives no pipe.
    bool Open();
    // Only once no thread waits on the signal any more.
    void Close();
#if defined(_WIN32)
    bool IsOpen() const { return event_ != nullptr; }
#else
    bool IsOpen() const { return readFd_ >= 0; }
#endif

    // Wakes every present and future wait. Safe from any thread.
    void Raise();
    bool Raised() const { return raised_.load(std::memory_order_acquire); }

#if defined(_WIN32)
    // A manual-reset event (a HANDLE), set once raised; null while closed.
    void* event() const { return event_; }
#else
    // Readable once raised; -1 while closed (poll then ignores it).
    int fd() const { return readFd_; }
#endif

    // Sleeps for `milliseconds`; false when the signal was or became raised.
    bool Sleep(long milliseconds) const;

private:
#if defined(_WIN32)
    void* event_ = nullptr;
#else
    int readFd_ = -1;
    int writeFd_ = -1;
#endif
    std::atomic<bool> raised_{false};
};
