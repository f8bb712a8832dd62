// The installable package: built with the build's own target, unpacked with
// a real zip tool, its layout and package.ini checked.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include "test_support.h"

namespace fs = std::filesystem;

namespace {

using morindale_test::RunCommand;

std::string PackageFile() {
    for (const auto& entry : fs::directory_iterator(MORINDALE_BINARY_DIR)) {
        if (entry.path().extension() == ".ts3_plugin") return entry.path().string();
    }
    return std::string();
}

TEST(Package, UnpacksIntoTheClientsLayout) {
    if (std::string(MORINDALE_SANITIZE_MODE) != "") GTEST_SKIP() << "packages are made from the plain build";
    int status = 0;
    std::string log = RunCommand(std::string("cmake --build '") + MORINDALE_BINARY_DIR + "' --target package-plugin", &status);
    ASSERT_EQ(status, 0) << log;
    const std::string package = PackageFile();
    ASSERT_FALSE(package.empty());
    const std::string expectedName = MORINDALE_PLUGIN_API >= 26 ? "morindale-1.50.ts3_plugin"
                                                                : "morindale-1.50-api20.ts3_plugin";
    EXPECT_EQ(fs::path(package).filename().string(), expectedName);

    // Every entry is deflated and has a plain ASCII name.
    std::string listing = RunCommand("unzip -v '" + package + "'", &status);
    ASSERT_EQ(status, 0) << listing;
    std::set<std::string> names;
    std::istringstream lines(listing);
    std::string line;
    // Entry lines: length, method, size, ratio, date, time, CRC-32 (8 hex
    // digits), name.
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string length, method, size, ratio, date, time, crc, name;
        if (!(fields >> length >> method >> size >> ratio >> date >> time >> crc)) continue;
        if (length.find_first_not_of("0123456789") != std::string::npos || crc.size() != 8 ||
            crc.find_first_not_of("0123456789abcdef") != std::string::npos)
            continue;
        std::getline(fields >> std::ws, name);
        EXPECT_EQ(method.rfind("Defl", 0), 0u) << "not deflated: " << line;
        for (unsigned char c : name) EXPECT_TRUE(c >= 0x20 && c < 0x7f) << line;
        names.insert(name);
    }
    const std::set<std::string> expected = {
        "package.ini",
        "plugins/morindale_linux_amd64.so",
        "plugins/morindale/vorn16.png",
        "plugins/morindale/stop.png",
        "plugins/morindale/voice.png",
        "plugins/morindale/head.png",
        "plugins/morindale/update.png",
        "plugins/morindale/home.png",
        "plugins/morindale/about.png",
    };
    EXPECT_EQ(names, expected);

    // Unpacked, the icons are 16x16 PNG images and the library is the one built here.
    const fs::path unpacked = fs::temp_directory_path() / ("morindale-package-" + std::to_string(getpid()));
    fs::remove_all(unpacked);
    log = RunCommand("unzip -q '" + package + "' -d '" + unpacked.string() + "'", &status);
    ASSERT_EQ(status, 0) << log;
    for (const char* icon : {"vorn16.png", "stop.png", "voice.png", "head.png", "update.png", "home.png", "about.png"}) {
        const std::string png = morindale_test::ReadFile((unpacked / "plugins/morindale" / icon).string());
        ASSERT_GE(png.size(), 24u) << icon;
        EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8)) << icon;
        // IHDR width and height, big-endian.
        EXPECT_EQ(png.substr(16, 8), std::string("\0\0\0\x10\0\0\0\x10", 8)) << icon;
    }
    EXPECT_EQ(morindale_test::ReadFile((unpacked / "plugins/morindale_linux_amd64.so").string()),
              morindale_test::ReadFile(std::string(MORINDALE_BINARY_DIR) + "/morindale_linux_amd64.so"));

    const std::string ini = morindale_test::ReadFile((unpacked / "package.ini").string());
    fs::remove_all(unpacked);
    EXPECT_NE(ini.find("Name = Morindale\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Type = Plugin\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Author = Morindale Audio\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Version = 1.50\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Platforms = linux_amd64\n"), std::string::npos) << ini;
    const std::string api = MORINDALE_PLUGIN_API >= 26 ? "plug-in API 26" : "plug-in API 20";
    EXPECT_NE(ini.find("Description = "), std::string::npos) << ini;
    EXPECT_NE(ini.find(api), std::string::npos) << ini;
    EXPECT_EQ(ini.find('\r'), std::string::npos);
}

}  // namespace
