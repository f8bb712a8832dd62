// The update check. Each request starts a thread that asks the update host
// for the version file (two attempts 250 ms apart when nothing arrives),
// compares the published version with its own as strings and prints the
// outcome. Every wait of a check ends as soon as StopUpdateChecks raises the
// stop signal, and StopUpdateChecks joins every thread ever started, so
// shutdown never waits for the network and no check outlives the plug-in.
#include "update_check.h"

#include <pthread.h>

#include <memory>
#include <mutex>
#include <vector>

#include "http_socket.h"
#include "plugin/plugin_state.h"
#include "stop_signal.h"
#include "update_reply.h"

#if !defined(MORINDALE_UPDATE_HOST) || !defined(MORINDALE_UPDATE_PORT)
#error "MORINDALE_UPDATE_HOST and MORINDALE_UPDATE_PORT come from the build"
#endif
static_assert(sizeof(MORINDALE_UPDATE_HOST) <= sizeof(CHTTPSocket::hostName),
              "the update host name must fit the socket's 99 characters");
static_assert(MORINDALE_UPDATE_PORT > 0 && MORINDALE_UPDATE_PORT <= 65535, "the update port is a TCP port");

std::atomic<bool> gl_UpdateCheckActive{false};
RelaxedAtomic<bool> gl_UpdateCheckAutomatic{false};

namespace {

constexpr long kStartupDelayMs = 2000;
constexpr long kRetryDelayMs = 250;
constexpr int kReadTimeoutMs = 5000;
constexpr std::size_t kReplySize = 1024;  // bytes of the reply searched for the key
constexpr std::size_t kMessageSize = 1024;
const char* const kLatestVersionMessage = "Morindale: You are using the latest version!";
const char* const kCannotCheckMessage = "Morindale: Cannot check for updates!";

struct CheckThread {
    pthread_t thread;
    std::atomic<bool> finished{false};  // set as the thread's last act
};

// Guards the thread list, the stop signal's opening and closing, and
// g_accepting (no new checks while clear: before init, and from the start of
// shutdown until the next init).
std::mutex g_mutex;
std::vector<std::unique_ptr<CheckThread>> g_threads;
StopSignal g_stop;
bool g_accepting = false;

// A check prints under g_printMutex, so once StopUpdateChecks has set
// g_silenced no check prints any more. A lock of its own, so that a client
// that calls back into the plug-in while printing cannot deadlock on g_mutex.
std::mutex g_printMutex;
bool g_silenced = false;

void SetSilenced(bool silenced) {
    std::lock_guard<std::mutex> lock(g_printMutex);
    g_silenced = silenced;
}

void PrintUnlessStopping(const char* text) {
    std::lock_guard<std::mutex> lock(g_printMutex);
    if (!g_silenced) PrintToCurrentTab(text);
}

void ReportReply(const char* reply) {
    const char* version = FindVersionText(reply);
    if (version == nullptr) return;
    if (!IsOwnVersion(version)) {
        char homepage[256];
        if (!BuildHomepageUrl(MORINDALE_UPDATE_HOST, MORINDALE_UPDATE_PORT, homepage, sizeof homepage)) return;
        char message[kMessageSize];
        FormatNewVersionMessage(version, homepage, message, sizeof message);
        PrintUnlessStopping(message);
    } else if (!gl_UpdateCheckAutomatic) {
        PrintUnlessStopping(kLatestVersionMessage);
    }
}

void RunCheck() {
    if (gl_UpdateCheckActive.exchange(true)) return;  // another check works
    struct ClearActive {
        ~ClearActive() { gl_UpdateCheckActive = false; }
    } clearActive;

    if (gl_UpdateCheckAutomatic && !g_stop.Sleep(kStartupDelayMs)) return;

    CHTTPSocket socket;
    // An unresolved name leaves no address: both commands then fail.
    socket.initNetCom(MORINDALE_UPDATE_PORT, MORINDALE_UPDATE_HOST);
    socket.SetReadTimeout(kReadTimeoutMs, false);
    socket.SetStopSignal(&g_stop);

    char request[512];
    const int requestLength =
        BuildVersionRequest(MORINDALE_UPDATE_HOST, MORINDALE_UPDATE_PORT, request, sizeof request);
    if (requestLength < 0) return;
    // The socket keeps one byte of the buffer for the terminating zero.
    char reply[kReplySize + 1];
    int received = socket.HTTPCommand(request, requestLength, reply, sizeof reply);
    if (received <= 0) {
        if (!g_stop.Sleep(kRetryDelayMs)) return;
        received = socket.HTTPCommand(request, requestLength, reply, sizeof reply);
    }
    if (g_stop.Raised()) return;

    if (received > 0) {
        ReportReply(reply);
    } else if (!gl_UpdateCheckAutomatic) {
        PrintUnlessStopping(kCannotCheckMessage);
    }
}

void* CheckForUpdateThread(void* argument) {
    CheckThread* self = static_cast<CheckThread*>(argument);
    try {
        RunCheck();
    } catch (...) {
    }
    self->finished.store(true, std::memory_order_release);
    return nullptr;
}

// Joins the threads whose checks are over; called under g_mutex.
void ReapFinishedThreads() {
    for (auto it = g_threads.begin(); it != g_threads.end();) {
        if ((*it)->finished.load(std::memory_order_acquire)) {
            pthread_join((*it)->thread, nullptr);
            it = g_threads.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace

void CheckForUpdate(bool automatic) {
    try {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!g_accepting) return;
        gl_UpdateCheckAutomatic = automatic;
        ReapFinishedThreads();
        if (!g_stop.IsOpen() && !g_stop.Open()) return;
        auto record = std::make_unique<CheckThread>();
        g_threads.reserve(g_threads.size() + 1);  // the push_back below must not throw
        // A thread that cannot be started means no check, and nothing is said.
        if (pthread_create(&record->thread, nullptr, CheckForUpdateThread, record.get()) != 0) return;
        g_threads.push_back(std::move(record));
    } catch (...) {
    }
}

void EnableUpdateChecks() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_accepting = true;
}

void StopUpdateChecks() {
    try {
        SetSilenced(true);
        std::vector<std::unique_ptr<CheckThread>> threads;
        {
            std::lock_guard<std::mutex> lock(g_mutex);
            g_accepting = false;
            g_stop.Raise();
            threads.swap(g_threads);
        }
        for (const auto& check : threads) pthread_join(check->thread, nullptr);
        {
            std::lock_guard<std::mutex> lock(g_mutex);
            g_stop.Close();
        }
        SetSilenced(false);
    } catch (...) {
    }
}
