// What the built library needs at run time is exactly the list the README
// documents, so that users know what to install.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>

#include "client_emulator.h"
#include "test_support.h"

namespace {

using morindale_test::RunCommand;

// The sonames listed in the README between the two marker lines, by kind
// ("needs" for the library's own entries, "through" for what they pull in).
std::set<std::string> Documented(const std::string& kind) {
    const std::string readme = morindale_test::ReadFile(std::string(MORINDALE_SOURCE_DIR) + "/README.md");
    const auto begin = readme.find("<!-- runtime-dependencies -->");
    const auto end = readme.find("<!-- /runtime-dependencies -->");
    std::set<std::string> names;
    if (begin == std::string::npos || end == std::string::npos) return names;
    std::istringstream lines(readme.substr(begin, end - begin));
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find("- " + kind + ": ") != 0) continue;
        for (std::size_t at = line.find('`'); at != std::string::npos; at = line.find('`', at)) {
            const auto close = line.find('`', at + 1);
            if (close == std::string::npos) break;
            names.insert(line.substr(at + 1, close - at - 1));
            at = close + 1;
        }
    }
    return names;
}

TEST(RuntimeDependencies, DirectNeedsAreTheDocumentedOnes) {
    if (std::string(MORINDALE_SANITIZE_MODE) != "") GTEST_SKIP() << "sanitizer builds need their runtimes";
    const std::set<std::string> documented = Documented("needs");
    ASSERT_FALSE(documented.empty()) << "README lists no run-time dependencies";
    std::set<std::string> needed;
    std::istringstream lines(RunCommand("readelf -d '" + morindale_host::DefaultPluginFile() + "'"));
    std::string line;
    while (std::getline(lines, line)) {
        const auto open = line.find("Shared library: [");
        if (open == std::string::npos) continue;
        const auto start = open + 17;
        needed.insert(line.substr(start, line.find(']', start) - start));
    }
    EXPECT_EQ(needed, documented);
}

TEST(RuntimeDependencies, LddResolvesExactlyTheDocumentedLibraries) {
    if (std::string(MORINDALE_SANITIZE_MODE) != "") GTEST_SKIP() << "sanitizer builds need their runtimes";
    std::set<std::string> documented = Documented("needs");
    for (const std::string& name : Documented("through")) documented.insert(name);
    // ldd shows the dynamic loader by its path, on a line of its own.
    for (auto it = documented.begin(); it != documented.end();)
        it = it->rfind("ld-linux", 0) == 0 ? documented.erase(it) : std::next(it);
    const std::string output = RunCommand("ldd '" + morindale_host::DefaultPluginFile() + "'");
    EXPECT_EQ(output.find("not found"), std::string::npos) << output;
    std::set<std::string> resolved;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string name;
        words >> name;
        if (name.empty() || name.find("linux-vdso") == 0 || name.find("/ld-linux") != std::string::npos) continue;
        resolved.insert(name);
    }
    EXPECT_EQ(resolved, documented) << output;
}

// The newest glibc symbol version decides the oldest distribution the
// library loads on: 2.35 is Ubuntu 22.04's.
TEST(RuntimeDependencies, NoGlibcSymbolNewerThan235) {
    if (std::string(MORINDALE_SANITIZE_MODE) != "") GTEST_SKIP() << "sanitizer builds need their runtimes";
    const std::string symbols = RunCommand("objdump -T '" + morindale_host::DefaultPluginFile() + "'");
    ASSERT_NE(symbols.find("ts3plugin_init"), std::string::npos) << symbols;
    std::istringstream lines(symbols);
    std::string line;
    while (std::getline(lines, line)) {
        const auto at = line.find("GLIBC_2.");
        if (at == std::string::npos) continue;
        const int minor = std::atoi(line.c_str() + at + 8);
        EXPECT_LE(minor, 35) << line;
    }
}

}  // namespace
