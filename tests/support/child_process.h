// Child processes for the tests' own servers and tools. A child is killed by
// the kernel should the test process die first, so no server of a crashed
// test is left running.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace morindale_test {

// The full path of `program` on $PATH; empty when it is not there.
std::string FindProgram(const std::string& program);

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();  // stop()
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Runs argv[0] (a full path) with exactly `environment` ("NAME=value"),
    // standard input from `inFile` (a FIFO gives it keys), standard output to
    // `outFile` and standard error to `errFile`.
    bool start(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
               const std::string& outFile, const std::string& errFile, const std::string& inFile = "/dev/null");
    bool running();  // reaps it when it has ended
    // Waits up to `timeout` for the end; true when it ended (reaped).
    bool wait(std::chrono::milliseconds timeout);
    // The exit code once reaped; -1 when it was killed or has not ended.
    int exitCode() const { return exitCode_; }
    // Sends `signal`, waits up to `grace` for the end, then kills; reaped.
    void stop(int signal, std::chrono::milliseconds grace = std::chrono::seconds(5));
    pid_t pid() const { return pid_; }

private:
    void reaped(int status);
    pid_t pid_ = -1;
    int exitCode_ = -1;
};

}  // namespace morindale_test
