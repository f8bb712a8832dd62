// What the emulator needs from the system to load a plug-in: a private work
// folder, the plug-in's home, and the library calls. One file per platform:
// plugin_library_posix.cpp (dlopen), plugin_library_win.cpp (LoadLibraryW).
// Paths are UTF-8 on every platform.
#pragma once

#include <string>

namespace morindale_host {

// A fresh, empty folder of this process's own; throws when none can be made.
std::string MakeWorkFolder();

// The home folder the plug-in finds for its settings file, with no settings
// file in it. POSIX: workDir/home, which the emulator's getpwuid hands out.
// Windows: the process's profile folder, which the test run makes private
// (the Wine stage gives each test program its own). Windows has no user
// record or resolver to interpose, so fake_user.h and fake_network.h exist
// on POSIX only.
std::string PreparePrivateHome(const std::string& workDir);
// Undoes PreparePrivateHome once the plug-in is gone.
void ReleasePrivateHome();

// Loads the library with every symbol resolved; null with the reason in
// `error` on failure.
void* OpenLibrary(const std::string& path, std::string* error);
void* LibrarySymbol(void* handle, const char* name);
void CloseLibrary(void* handle);

}  // namespace morindale_host
