#include <dlfcn.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "fake_user.h"
#include "plugin_library.h"

namespace morindale_host {

std::string MakeWorkFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/morindale-client-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("cannot create a work folder");
    return buffer.data();
}

std::string PreparePrivateHome(const std::string& workDir) {
    const std::string home = workDir + "/home";
    std::filesystem::create_directories(home);
    SetFakeHome(home.c_str());
    return home;
}

void ReleasePrivateHome() { SetFakeHome(nullptr); }

void* OpenLibrary(const std::string& path, std::string* error) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr && error != nullptr) *error = dlerror();
    return handle;
}

void* LibrarySymbol(void* handle, const char* name) { return dlsym(handle, name); }

void CloseLibrary(void* handle) { dlclose(handle); }

}  // namespace morindale_host
