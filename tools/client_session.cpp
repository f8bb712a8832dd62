// Plays one short client session against the built plug-in and prints what
// the client sees: identity, menu, hotkeys, chat lines and client-log lines.
// Usage: morindale-session [plugin-file]
#include <cstdio>
#include <cstring>
#include <exception>
#include <vector>

#include "client_emulator.h"

using morindale_host::ClientEmulator;
using morindale_host::Options;

int main(int argc, char** argv) {
    try {
        Options options;
        if (argc > 1) options.pluginFile = argv[1];
        ClientEmulator client(options);
        client.start();
        std::printf("plug-in   %s %s (API %d) by %s\n", client.name.c_str(), client.version.c_str(),
                    client.apiVersion, client.author.c_str());
        std::printf("about     %s\n", client.description.c_str());
        std::printf("menu      (icon %s)\n", client.menuIcon.empty() ? "-" : client.menuIcon.data());
        for (const auto& item : client.menuItems) std::printf("  %2d  %-22s %s\n", item.id, item.text, item.icon);
        std::printf("hotkeys\n");
        for (const auto& hotkey : client.hotkeys) std::printf("  %-20s %s\n", hotkey.keyword, hotkey.description);

        std::printf("session   pressing effect_phelium, talking one second\n");
        client.hotkey("effect_phelium");
        std::vector<short> block(960);
        int edited = 0;
        for (int i = 0; i < 50; ++i) {
            for (std::size_t k = 0; k < block.size(); ++k) block[k] = static_cast<short>((k % 64) * 200 - 6400);
            edited |= client.voiceBlock(block.data(), static_cast<int>(block.size()));
        }
        std::printf("          blocks marked as edited: %s\n", (edited & 1) ? "yes" : "no");
        client.shutdown();
        for (const auto& call : client.calls()) {
            if (call.function == "printMessageToCurrentTab")
                std::printf("chat      %s\n", call.args[0].c_str());
            else if (call.function == "logMessage")
                std::printf("log       %s (severity %s)\n", call.args[0].c_str(), call.args[1].c_str());
        }
        client.unload();
        std::printf("unloaded  client memory still held by the plug-in: %zu block(s)\n",
                    client.outstandingClientBlocks());
        return client.outstandingClientBlocks() == 0 && client.problems().empty() ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "morindale-session: %s\n", error.what());
        return 1;
    }
}
