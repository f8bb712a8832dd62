// libFuzzer target for the settings loader: the input becomes the settings
// file in the emulated client's home and is loaded through a server-tab
// change. Whatever it holds, the load ends with one status line and the next
// save writes six whole lines again.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "client_emulator.h"
#include "settings_shape.h"

namespace {

morindale_host::ClientEmulator* g_client = nullptr;

// Registered after the plug-in is loaded, so it runs before the plug-in's
// own static objects are destroyed at exit.
void ShutDown() {
    delete g_client;
    g_client = nullptr;
}

// Started once for the whole run; the voice state carries over from input to
// input, as it does from one server-tab change to the next.
morindale_host::ClientEmulator& Client() {
    if (g_client == nullptr) {
        g_client = new morindale_host::ClientEmulator();
        g_client->start();
        std::atexit(ShutDown);
    }
    return *g_client;
}

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "settings_loader_fuzz: %s\n", what);
    std::abort();
}

std::string Read(const std::string& path) {
    std::string text;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
        std::fclose(file);
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    morindale_host::ClientEmulator& client = Client();
    const std::string path = client.settingsFile();
    FILE* file = std::fopen(path.c_str(), "wb");
    Require(file != nullptr, "cannot write the settings file");
    if (size > 0) std::fwrite(data, 1, size, file);
    std::fclose(file);

    client.clearCalls();
    client.serverTabChanged(2);
    const auto messages = client.chatMessages();
    Require(messages.size() == 1, "a load prints exactly one status line");
    Require(client.calls("setPluginMenuEnabled").size() == 14, "a load sets the 14 voice items");

    // A save of whatever was loaded (through the out-of-range conversions of
    // CUSTOM_PITCH too) gives six whole lines.
    client.menuItem(18);
    Require(morindale_test::IsWholeSettingsFile(Read(path)), "a save writes six whole lines");
    return 0;
}
