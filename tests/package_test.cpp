// The installable package: built with the build's own target, unpacked with
// a real zip tool, its layout, licence files and package.ini checked, and its
// library loaded.
#include <dlfcn.h>
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

// Each client line's package: its file name and the clients that
// package.ini names.
struct ClientLinePackage {
    int api;
    const char* file;
    const char* clients;
};
constexpr ClientLinePackage kPackages[] = {
    {20, "morindale-1.50-ts3-3.0.ts3_plugin", "For TeamSpeak 3.0.14 to 3.0.19 (plug-in API 20)."},
    {21, "morindale-1.50-ts3-3.1-3.2.ts3_plugin", "For TeamSpeak 3.1.0 to 3.2.x (plug-in API 21)."},
    {23, "morindale-1.50-ts3-3.3.ts3_plugin", "For TeamSpeak 3.3.x (plug-in API 23)."},
    {24, "morindale-1.50-ts3-3.5.ts3_plugin", "For TeamSpeak 3.5.x (plug-in API 24)."},
    {26, "morindale-1.50.ts3_plugin", "For TeamSpeak 3.6 and later (plug-in API 26)."},
};

const ClientLinePackage& ThisBuildsPackage() {
    for (const ClientLinePackage& package : kPackages)
        if (package.api == MORINDALE_PLUGIN_API) return package;
    std::abort();
}

TEST(Package, UnpacksIntoTheClientsLayout) {
    if (std::string(MORINDALE_SANITIZE_MODE) != "") GTEST_SKIP() << "packages are made from the plain build";
    int status = 0;
    std::string log = RunCommand(std::string("cmake --build '") + MORINDALE_BINARY_DIR + "' --target package-plugin", &status);
    ASSERT_EQ(status, 0) << log;
    // Named for its client line.
    const std::string package = std::string(MORINDALE_BINARY_DIR) + "/" + ThisBuildsPackage().file;
    ASSERT_TRUE(morindale_test::FileExists(package)) << "no " << package;

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
        "plugins/morindale/LICENSE.txt",
        "plugins/morindale/THIRD_PARTY_NOTICES.txt",
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
    const fs::path library = unpacked / "plugins/morindale_linux_amd64.so";
    EXPECT_EQ(morindale_test::ReadFile(library.string()),
              morindale_test::ReadFile(std::string(MORINDALE_BINARY_DIR) + "/morindale_linux_amd64.so"));
    // The packaged library is the API the package is named for.
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    auto apiVersion = reinterpret_cast<int (*)()>(dlsym(handle, "ts3plugin_apiVersion"));
    ASSERT_NE(apiVersion, nullptr);
    EXPECT_EQ(apiVersion(), ThisBuildsPackage().api);
    dlclose(handle);

    // The licences, byte for byte the project's, with what the notices must
    // name: SoundTouch's copyright, the Debian source package built, the
    // whole LGPL 2.1, the Windows runtime's parts and the GCC exception.
    const std::string license = morindale_test::ReadFile((unpacked / "plugins/morindale/LICENSE.txt").string());
    EXPECT_EQ(license, morindale_test::ReadFile(MORINDALE_SOURCE_DIR "/LICENSE"));
    EXPECT_EQ(license.rfind("MIT License\n\nCopyright (c) 2026 Morindale Audio\n", 0), 0u) << license.substr(0, 80);
    const std::string notices =
        morindale_test::ReadFile((unpacked / "plugins/morindale/THIRD_PARTY_NOTICES.txt").string());
    EXPECT_EQ(notices, morindale_test::ReadFile(MORINDALE_SOURCE_DIR "/THIRD_PARTY_NOTICES.txt"));
    for (const char* needed : {"Copyright (c) 2001-2020 Olli Parviainen", "soundtouch 2.3.2+ds1-1",
                               "soundtouch_2.3.2+ds1-1.dsc", "Relinking with your own SoundTouch",
                               "MORINDALE_SOUNDTOUCH_SOURCE_DIR", "winpthreads", "GCC Runtime Library Exception",
                               "GNU LESSER GENERAL PUBLIC LICENSE\n                       Version 2.1, February 1999",
                               "  10. Each time you redistribute the Library", "END OF TERMS AND CONDITIONS"}) {
        EXPECT_NE(notices.find(needed), std::string::npos) << needed;
    }

    const std::string ini = morindale_test::ReadFile((unpacked / "package.ini").string());
    fs::remove_all(unpacked);
    EXPECT_NE(ini.find("Name = Morindale\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Type = Plugin\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Author = Morindale Audio\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Version = 1.50\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Platforms = linux_amd64\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Description = Real-time voice changer: pitch, mutation, echo and robot voices. " +
                       std::string(ThisBuildsPackage().clients) + "\n"),
              std::string::npos)
        << ini;
    EXPECT_EQ(ini.find('\r'), std::string::npos);
}

}  // namespace
