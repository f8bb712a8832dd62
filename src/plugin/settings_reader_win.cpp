#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include "plugin_state.h"
#include "settings_reader.h"
#include "wide_text_win.h"

FILE* OpenSettingsForReading(const char* path) {
    wchar_t widePath[kConfigPathSize];
    if (!Utf8ToWide(path, widePath, kConfigPathSize)) return nullptr;
    // Sharing everything: a save that replaces the file meanwhile must not
    // fail because we hold it open.
    const HANDLE handle = CreateFileW(widePath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(handle);
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    FILE* file = _fdopen(fd, "rb");
    if (file == nullptr) _close(fd);  // closes the handle too
    return file;
}
