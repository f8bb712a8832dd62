#include "wave_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "test_support.h"

namespace morindale_test {
namespace {

void Put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}
void Put16(std::string& out, uint16_t v) {
    out.push_back(static_cast<char>(v & 0xff));
    out.push_back(static_cast<char>(v >> 8));
}
uint32_t Get32(const std::string& in, std::size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(in[at + i]);
    return v;
}
uint16_t Get16(const std::string& in, std::size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(in[at]) | (static_cast<unsigned char>(in[at + 1]) << 8));
}

}  // namespace

bool WriteWave(const std::string& path, const std::vector<int16_t>& samples, int rate, int channels) {
    std::string out = "RIFF";
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    Put32(out, 36 + dataBytes);
    out += "WAVEfmt ";
    Put32(out, 16);
    Put16(out, 1);
    Put16(out, static_cast<uint16_t>(channels));
    Put32(out, static_cast<uint32_t>(rate));
    Put32(out, static_cast<uint32_t>(rate) * static_cast<uint32_t>(channels) * 2u);  // 32 bits, unsigned: an absurd rate wraps
    Put16(out, static_cast<uint16_t>(channels * 2));
    Put16(out, 16);
    out += "data";
    Put32(out, dataBytes);
    for (int16_t s : samples) Put16(out, static_cast<uint16_t>(s));
    WriteFile(path, out);
    return ReadFile(path).size() == out.size();
}

bool ReadWave(const std::string& path, Wave* wave) {
    const std::string in = ReadFile(path);
    if (in.size() < 12 || in.compare(0, 4, "RIFF") != 0 || in.compare(8, 4, "WAVE") != 0) return false;
    bool haveFormat = false;
    for (std::size_t at = 12; at + 8 <= in.size();) {
        const std::string id = in.substr(at, 4);
        const std::size_t size = Get32(in, at + 4);
        const std::size_t body = at + 8;
        if (body + size > in.size()) return false;
        if (id == "fmt " && size >= 16) {
            if (Get16(in, body) != 1 || Get16(in, body + 14) != 16) return false;
            wave->channels = Get16(in, body + 2);
            wave->rate = static_cast<int>(Get32(in, body + 4));
            haveFormat = true;
        } else if (id == "data" && haveFormat) {
            wave->samples.resize(size / 2);
            for (std::size_t i = 0; i < wave->samples.size(); ++i)
                wave->samples[i] = static_cast<int16_t>(Get16(in, body + 2 * i));
            return true;
        }
        at = body + size + (size & 1);
    }
    return false;
}

ProgramRun RunProgram(const std::vector<std::string>& argv, int timeoutSeconds) {
    ProgramRun run;
    char outName[] = "/tmp/morindale-run-out-XXXXXX";
    char errName[] = "/tmp/morindale-run-err-XXXXXX";
    const int outFd = mkstemp(outName);
    const int errFd = mkstemp(errName);
    if (outFd < 0 || errFd < 0) return run;
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        dup2(outFd, 1);
        dup2(errFd, 2);
        execv(args[0], args.data());
        _exit(127);
    }
    close(outFd);
    close(errFd);
    int status = 0;
    if (child > 0) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
        while (waitpid(child, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    }
    run.out = ReadFile(outName);
    run.err = ReadFile(errName);
    unlink(outName);
    unlink(errName);
    return run;
}

}  // namespace morindale_test
