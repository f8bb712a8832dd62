// A PulseAudio daemon of the test's own, and a recorder of what it plays.
//
// The daemon runs in the foreground as the test's child with its home,
// runtime folder, cookie and socket in a fresh temp folder. It loads no
// configuration script (-n) and only two modules: a null sink (48 kHz, mono,
// 16 bits, "morindale_null") and the native protocol on its private socket, so
// nothing can reach a sound card. The destructor stops it and removes the
// folder whatever the outcome; the kernel kills it if the test process dies.
//
// With a microphone, a second null sink ("morindale_mic") is loaded and its
// monitor made the default source: what a test plays into that sink is what
// a client recording the default input hears. "morindale_null" stays the
// default sink.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "child_process.h"

namespace morindale_test {

class PulseDaemon {
public:
    explicit PulseDaemon(bool microphone = false);
    ~PulseDaemon();
    PulseDaemon(const PulseDaemon&) = delete;
    PulseDaemon& operator=(const PulseDaemon&) = delete;

    // Starts it and waits (at most 10 s) until its socket accepts clients.
    bool start();
    const std::string& error() const { return error_; }  // why start() failed
    std::string server() const { return "unix:" + dir_ + "/native"; }
    std::string log() const;
    void kill();  // goes away at once, as a crashing server does
    // SIGSTOP and SIGCONT: a server that hangs, keeping its connections open.
    void pause();
    void resume();
    bool running() { return process_.running(); }

    // The environment for a client of this daemon ("NAME=value").
    std::vector<std::string> clientEnvironment() const;
    const std::string& dir() const { return dir_; }

private:
    bool microphone_;
    std::string dir_;
    std::string error_;
    ChildProcess process_;
};

// Records the null sink's monitor source (parec) as 48 kHz mono samples.
class SinkRecorder {
public:
    explicit SinkRecorder(const PulseDaemon& daemon);
    ~SinkRecorder();
    SinkRecorder(const SinkRecorder&) = delete;
    SinkRecorder& operator=(const SinkRecorder&) = delete;

    // Starts recording; returns once samples arrive (at most 10 s).
    bool start();
    // How many samples have reached the file so far.
    std::size_t recorded() const;
    // Stops and returns everything recorded.
    std::vector<int16_t> stop();
    const std::string& error() const { return error_; }
    // Dating the recording, once stopped. While recording, the file is
    // watched: a sample cannot have been played after it was written, so
    // the latest time at which the first sample can have been played follows
    // from every look. A delay measured against it is an upper bound, late by
    // parec's own latency. Only looks from the last second count: a null
    // sink that nobody listened to renders far ahead before it settles.
    std::chrono::steady_clock::time_point firstSampleBy() const;
    // From when on the sink played in real time: the first look after which
    // every look agrees with firstSampleBy to within 40 ms.
    std::chrono::steady_clock::time_point realTimeSince() const;

private:
    void watch();

    const PulseDaemon& daemon_;
    std::string file_;
    std::string error_;
    ChildProcess process_;
    std::thread watcher_;
    std::atomic<bool> watching_{false};
    mutable std::mutex mutex_;
    // Each look: when, and the first sample's latest playing time it gives.
    std::vector<std::pair<std::chrono::steady_clock::time_point, std::chrono::steady_clock::time_point>> looks_;
};

// A socket where a sound server would listen, whose "server" accepts each
// connection and closes it at once (refuse) or never answers (silent).
class BrokenSoundServer {
public:
    enum class Kind { Refusing, Silent };
    explicit BrokenSoundServer(Kind kind);
    ~BrokenSoundServer();
    BrokenSoundServer(const BrokenSoundServer&) = delete;
    BrokenSoundServer& operator=(const BrokenSoundServer&) = delete;

    std::string server() const { return "unix:" + path_; }
    int connections() const;

private:
    struct State;
    State* state_;
    std::string dir_;
    std::string path_;
};

}  // namespace morindale_test
