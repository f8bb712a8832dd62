#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "plugin_library.h"

namespace fs = std::filesystem;

namespace morindale_host {

namespace {

std::string Utf8(const std::wstring& text) { return fs::path(text).u8string(); }

}  // namespace

std::string MakeWorkFolder() {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) throw std::runtime_error("cannot find the temporary folder");
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::wstring folder = std::wstring(temp) + L"morindale-client-" + std::to_wstring(GetCurrentProcessId()) +
                                    L"-" + std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(attempt);
        if (CreateDirectoryW(folder.c_str(), nullptr)) return Utf8(folder);
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    throw std::runtime_error("cannot create a work folder");
}

std::string PreparePrivateHome(const std::string& /*workDir*/) {
    PWSTR profile = nullptr;
    if (FAILED(SHGetKnownFolderPath(FOLDERID_Profile, KF_FLAG_DEFAULT, nullptr, &profile)))
        throw std::runtime_error("no profile folder");
    const std::string home = Utf8(profile);
    CoTaskMemFree(profile);
    std::error_code ignored;
    fs::remove(fs::u8path(home) / "MorindaleForTeamspeak.ini", ignored);
    return home;
}

void ReleasePrivateHome() {}

void* OpenLibrary(const std::string& path, std::string* error) {
    const std::wstring wide = fs::u8path(path).make_preferred().wstring();
    HMODULE module = LoadLibraryExW(wide.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr && error != nullptr) *error = "LoadLibrary error " + std::to_string(GetLastError());
    return reinterpret_cast<void*>(module);
}

void* LibrarySymbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}

void CloseLibrary(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }

}  // namespace morindale_host
