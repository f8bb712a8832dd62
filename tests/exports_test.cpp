// The built library exports the client's entry points and nothing else, and
// loads with every symbol resolved.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "client_emulator.h"

namespace {

std::set<std::string> DefinedDynamicSymbols(const std::string& file) {
    std::set<std::string> names;
    std::string command = "nm -D --defined-only --format=posix '" + file + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return names;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string text(line);
        names.insert(text.substr(0, text.find(' ')));
    }
    pclose(pipe);
    return names;
}

TEST(Exports, OnlyEntryPointsLeaveTheLibrary) {
    const std::string file = morindale_host::DefaultPluginFile();
    std::set<std::string> names = DefinedDynamicSymbols(file);
    ASSERT_FALSE(names.empty()) << "nm found no symbols in " << file;
    for (const std::string& name : names) {
        EXPECT_EQ(name.rfind("ts3plugin_", 0), 0u) << "unexpected exported symbol: " << name;
    }
    for (const char* required : {"ts3plugin_name", "ts3plugin_version", "ts3plugin_apiVersion", "ts3plugin_author",
                                 "ts3plugin_description", "ts3plugin_setFunctionPointers", "ts3plugin_init",
                                 "ts3plugin_shutdown", "ts3plugin_registerPluginID", "ts3plugin_freeMemory"}) {
        EXPECT_EQ(names.count(required), 1u) << required;
    }
}

// The Windows DLL exports what src/plugin/exports.def lists: an entry point
// added here must be listed there too, or the Windows client never calls it.
TEST(Exports, WindowsExportListNamesTheSameEntryPoints) {
    std::set<std::string> listed;
    FILE* def = std::fopen(MORINDALE_SOURCE_DIR "/src/plugin/exports.def", "r");
    ASSERT_NE(def, nullptr);
    char line[512];
    while (std::fgets(line, sizeof line, def) != nullptr) {
        char name[256];
        if (std::sscanf(line, " %255[A-Za-z0-9_]", name) == 1 && std::string(name) != "EXPORTS") listed.insert(name);
    }
    std::fclose(def);
    EXPECT_EQ(listed, DefinedDynamicSymbols(morindale_host::DefaultPluginFile()));
}

TEST(Exports, LoadsWithEverySymbolResolved) {
    void* handle = dlopen(morindale_host::DefaultPluginFile().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    EXPECT_NE(dlsym(handle, "ts3plugin_init"), nullptr);
    EXPECT_EQ(dlsym(handle, "gl_Enabled"), nullptr);
    dlclose(handle);
}

}  // namespace
