// The wake-up with which shutdown ends every wait of the update checks at
// once. Sleeps and socket waits poll its descriptor together with their own,
// so a raised signal cuts a 2 s delay, a connect or a read short without
// waiting for the network.
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
    bool IsOpen() const { return readFd_ >= 0; }

    // Wakes every present and future wait. Safe from any thread.
    void Raise();
    bool Raised() const { return raised_.load(std::memory_order_acquire); }

    // Readable once raised; -1 while closed (poll then ignores it).
    int fd() const { return readFd_; }

    // Sleeps for `milliseconds`; false when the signal was or became raised.
    bool Sleep(long milliseconds) const;

private:
    int readFd_ = -1;
    int writeFd_ = -1;
    std::atomic<bool> raised_{false};
};
