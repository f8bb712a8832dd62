// Plays one short client session against the built plug-in and prints what
// the client sees: identity, menu, hotkeys, chat lines and client-log lines.
// Usage: morindale-session [PLUGIN-FILE]
#include <cstdio>
#include <cstring>
#include <string>
#include <exception>
#include <vector>

#include "client_emulator.h"

using morindale_host::ClientEmulator;
using morindale_host::Options;

namespace {

constexpr const char* kUsage = "usage: morindale-session [PLUGIN-FILE]";

void PrintHelp() {
    std::printf(
        "%s\n"
        "\n"
        "Loads the plug-in (default: the one of this build) through the client\n"
        "emulator in the client's order, presses the helium hotkey, talks for one\n"
        "second and unloads it. Prints what the client sees: identity, menu,\n"
        "hotkeys, chat and client-log lines, and the client memory still held at\n"
        "the end. Exits 0 when the plug-in gave everything back and misused nothing.\n"
        "\n"
        "  -h, --help   this text\n",
        kUsage);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            PrintHelp();
            return 0;
        }
        if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "morindale-session: unknown option %s (--help lists them)\n", arg.c_str());
            return 2;
        }
        if (!options.pluginFile.empty()) {
            std::fprintf(stderr, "morindale-session: %s\n", kUsage);
            return 2;
        }
        options.pluginFile = arg;
    }
    try {
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
