#include "pulse_daemon.h"

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

#include "test_support.h"

namespace fs = std::filesystem;

namespace morindale_test {
namespace {

std::string MakeTempFolder(const char* name) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/" + name + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) return std::string();
    return buffer.data();
}

bool SocketAccepts(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

std::size_t FileSize(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? static_cast<std::size_t>(info.st_size) : 0;
}

}  // namespace

PulseDaemon::PulseDaemon(bool microphone) : microphone_(microphone), dir_(MakeTempFolder("morindale-pulse")) {}

PulseDaemon::~PulseDaemon() {
    process_.stop(SIGTERM);
    std::error_code ignored;
    if (!dir_.empty()) fs::remove_all(dir_, ignored);
}

std::vector<std::string> PulseDaemon::clientEnvironment() const {
    return {"PATH=/usr/bin:/bin",
            "HOME=" + dir_ + "/client",
            "XDG_CONFIG_HOME=" + dir_ + "/client/config",
            "XDG_RUNTIME_DIR=" + dir_ + "/client/runtime",
            "PULSE_SERVER=" + server(),
            "PULSE_COOKIE=" + dir_ + "/client/cookie",
            "LANG=C"};
}

bool PulseDaemon::start() {
    if (dir_.empty()) {
        error_ = "no temp folder";
        return false;
    }
    const std::string binary = FindProgram("pulseaudio");
    if (binary.empty()) {
        error_ = "pulseaudio is not installed (scripts/setup.sh)";
        return false;
    }
    for (const char* sub : {"/home", "/runtime", "/client/config", "/client/runtime"})
        fs::create_directories(dir_ + sub);
    const std::vector<std::string> argv = {
        binary,
        "-n",  // no default script: only the modules below
        "--daemonize=no",
        "--system=false",
        "--exit-idle-time=-1",
        "--realtime=false",
        "--high-priority=false",
        "--use-pid-file=false",
        "--log-target=stderr",
        "--log-level=info",
        "-L",
        "module-null-sink sink_name=morindale_null rate=48000 channels=1 format=s16le",
        "-L",
        "module-native-protocol-unix auth-anonymous=1 socket=" + dir_ + "/native"};
    std::vector<std::string> args = argv;
    if (microphone_) {
        WriteFile(dir_ + "/microphone.pa",
                  "load-module module-null-sink sink_name=morindale_mic rate=48000 channels=1 format=s16le\n"
                  "set-default-sink morindale_null\n"
                  "set-default-source morindale_mic.monitor\n");
        args.push_back("-F");
        args.push_back(dir_ + "/microphone.pa");
    }
    const std::vector<std::string> environment = {"PATH=/usr/bin:/bin", "HOME=" + dir_ + "/home",
                                                  "XDG_CONFIG_HOME=" + dir_ + "/home/config",
                                                  "XDG_RUNTIME_DIR=" + dir_ + "/runtime", "LANG=C"};
    if (!process_.start(args, environment, dir_ + "/daemon.out", dir_ + "/daemon.log")) {
        error_ = "cannot start pulseaudio";
        return false;
    }
    for (int attempt = 0; attempt < 500; ++attempt) {
        if (SocketAccepts(dir_ + "/native")) return true;
        if (!process_.running()) {
            error_ = "pulseaudio ended: " + log();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    error_ = "pulseaudio did not open its socket: " + log();
    process_.stop(SIGKILL);
    return false;
}

std::string PulseDaemon::log() const { return ReadFile(dir_ + "/daemon.log"); }

void PulseDaemon::kill() { process_.stop(SIGKILL); }

void PulseDaemon::pause() {
    if (process_.pid() > 0) ::kill(process_.pid(), SIGSTOP);
}

void PulseDaemon::resume() {
    if (process_.pid() > 0) ::kill(process_.pid(), SIGCONT);
}

SinkRecorder::SinkRecorder(const PulseDaemon& daemon) : daemon_(daemon) {
    static int count = 0;
    file_ = daemon.dir() + "/recording-" + std::to_string(++count) + ".raw";
}

SinkRecorder::~SinkRecorder() {
    watching_.store(false);
    if (watcher_.joinable()) watcher_.join();
    process_.stop(SIGINT);
}

bool SinkRecorder::start() {
    const std::string binary = FindProgram("parec");
    if (binary.empty()) {
        error_ = "parec is not installed (scripts/setup.sh)";
        return false;
    }
    const std::vector<std::string> argv = {binary,      "--device=morindale_null.monitor",
                                           "--raw",     "--format=s16le",
                                           "--rate=48000", "--channels=1",
                                           "--latency-msec=20"};
    if (!process_.start(argv, daemon_.clientEnvironment(), file_, file_ + ".log")) {
        error_ = "cannot start parec";
        return false;
    }
    // The monitor source streams silence as soon as the recorder is connected.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        if (FileSize(file_) > 0) {
            watching_.store(true);
            watcher_ = std::thread(&SinkRecorder::watch, this);
            return true;
        }
        if (!process_.running()) {
            error_ = "parec ended: " + ReadFile(file_ + ".log");
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    error_ = "parec recorded nothing: " + ReadFile(file_ + ".log");
    return false;
}

std::size_t SinkRecorder::recorded() const { return FileSize(file_) / 2; }

void SinkRecorder::watch() {
    while (watching_.load()) {
        const std::size_t samples = FileSize(file_) / 2;
        const auto now = std::chrono::steady_clock::now();
        if (samples > 0) {
            const auto recorded = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                std::chrono::duration<double>(static_cast<double>(samples - 1) / 48000.0));
            std::lock_guard<std::mutex> lock(mutex_);
            looks_.emplace_back(now, now - recorded);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::chrono::steady_clock::time_point SinkRecorder::firstSampleBy() const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto by = std::chrono::steady_clock::time_point::max();
    if (looks_.empty()) return by;
    for (const auto& look : looks_)
        if (look.first + std::chrono::seconds(1) >= looks_.back().first) by = std::min(by, look.second);
    return by;
}

std::chrono::steady_clock::time_point SinkRecorder::realTimeSince() const {
    const auto by = firstSampleBy();
    std::lock_guard<std::mutex> lock(mutex_);
    auto since = std::chrono::steady_clock::time_point::max();
    for (auto look = looks_.rbegin(); look != looks_.rend(); ++look) {
        const auto off = look->second > by ? look->second - by : by - look->second;
        if (off > std::chrono::milliseconds(40)) break;
        since = look->first;
    }
    return since;
}

std::vector<int16_t> SinkRecorder::stop() {
    watching_.store(false);
    if (watcher_.joinable()) watcher_.join();
    process_.stop(SIGINT);
    const std::string bytes = ReadFile(file_);
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

struct BrokenSoundServer::State {
    int listener = -1;
    std::atomic<bool> stop{false};
    std::atomic<int> connections{0};
    std::vector<int> held;
    std::thread thread;
};

BrokenSoundServer::BrokenSoundServer(Kind kind) : state_(new State), dir_(MakeTempFolder("morindale-broken-pulse")) {
    path_ = dir_ + "/native";
    state_->listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
    if (state_->listener < 0 || bind(state_->listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(state_->listener, 8) != 0)
        return;
    State* state = state_;
    state_->thread = std::thread([state, kind] {
        while (!state->stop.load()) {
            pollfd entry{state->listener, POLLIN, 0};
            if (poll(&entry, 1, 20) <= 0) continue;
            const int client = accept4(state->listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) continue;
            ++state->connections;
            if (kind == Kind::Refusing) {
                close(client);
            } else {
                state->held.push_back(client);
            }
        }
    });
}

BrokenSoundServer::~BrokenSoundServer() {
    state_->stop.store(true);
    if (state_->thread.joinable()) state_->thread.join();
    for (int fd : state_->held) close(fd);
    if (state_->listener >= 0) close(state_->listener);
    delete state_;
    std::error_code ignored;
    if (!dir_.empty()) fs::remove_all(dir_, ignored);
}

int BrokenSoundServer::connections() const { return state_->connections.load(); }

}  // namespace morindale_test
