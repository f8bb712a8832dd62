// Fuzzes the chat command processor through the loaded plug-in. The first
// input byte chooses which client functions fail (one bit each); the rest is
// the command text, up to the first zero byte, as the client passes a C
// string. Beyond the sanitizers, each run checks the result against the
// sub-command word found independently here, and that nothing the client
// handed out is left unreleased.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "client_emulator.h"

namespace {

using morindale_host::ClientEmulator;

const char* const kSubCommandWords[] = {"join",       "command",   "serverinfo", "channelinfo",  "avatar",
                                        "enablemenu", "subscribe", "unsubscribe", "subscribeall", "unsubscribeall",
                                        "pitch"};

// Client functions that can fail, by bit of the first input byte; an
// avatar bit set answers with the empty-result code.
struct Fallible {
    const char* function;
    unsigned int error;
};
const Fallible kFallible[] = {
    {"getClientID", 1794},
    {"requestClientMove", 768},
    {"getServerConnectInfo", 1794},
    {"getChannelOfClient", 512},
    {"getChannelConnectInfo", 768},
    {"getAvatar", 1281},
    {"requestChannelSubscribe", 2568},
    {"requestChannelUnsubscribe", 2568},
};

ClientEmulator* g_client = nullptr;

[[noreturn]] void Fail(const char* what, const std::string& text) {
    std::fprintf(stderr, "command_fuzz: %s (command '%s')\n", what, text.c_str());
    std::abort();
}

void ShutDown() {
    if (g_client == nullptr) return;
    if (auto shutdown = g_client->entry<void (*)()>("ts3plugin_shutdown")) shutdown();
    delete g_client;
    g_client = nullptr;
}

// Loaded, given the table and registered once for the whole run.
ClientEmulator& Client() {
    if (g_client == nullptr) {
        g_client = new ClientEmulator();
        g_client->load();
        g_client->identify();
        g_client->setFunctionPointers();
        g_client->registerPluginID();
        std::atexit(ShutDown);
    }
    return *g_client;
}

// Whether the first space-separated word of the first 127 characters is a
// sub-command word.
bool StartsWithSubCommand(const std::string& text) {
    const std::string kept = text.substr(0, 127);
    const std::size_t start = kept.find_first_not_of(' ');
    if (start == std::string::npos) return false;
    const std::size_t end = kept.find(' ', start);
    const std::string word = kept.substr(start, end == std::string::npos ? std::string::npos : end - start);
    for (const char* known : kSubCommandWords)
        if (word == known) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ClientEmulator& client = Client();
    const unsigned failures = size > 0 ? data[0] : 0;
    for (std::size_t bit = 0; bit < sizeof kFallible / sizeof kFallible[0]; ++bit)
        client.setResult(kFallible[bit].function, (failures >> bit) & 1u ? kFallible[bit].error : 0);
    client.setResult("requestChannelSubscribeAll", (failures >> 6) & 1u ? 2568 : 0);
    client.setResult("requestChannelUnsubscribeAll", (failures >> 7) & 1u ? 2568 : 0);

    const std::string raw = size > 1 ? std::string(reinterpret_cast<const char*>(data) + 1, size - 1) : std::string();
    const std::string text(raw.c_str());

    client.clearCalls();
    const int result = client.command(text.c_str(), 1);
    if (result != (StartsWithSubCommand(text) ? 0 : 1)) Fail("result does not match the sub-command word", text);
    const auto calls = client.calls();
    if (result == 1 && !calls.empty()) Fail("an unrecognised command called the client", text);
    for (const auto& call : calls)
        for (const std::string& arg : call.args)
            if (arg.size() > 511) Fail("an argument longer than any buffer", text);
    if (client.outstandingClientBlocks() != 0 || !client.problems().empty()) Fail("client memory mishandled", text);
    return 0;
}
