// The settings file's replacement on Windows: a new file beside it, flushed,
// then moved over it in one step (MoveFileExW replaces the old file whole).
// Paths are UTF-8 and go to the wide-character API, so profile folders with
// any characters in their names work.
#include <windows.h>

#include <atomic>
#include <cwchar>

#include "atomic_file.h"
#include "plugin_state.h"
#include "wide_text_win.h"

namespace {

constexpr int kNameAttempts = 16;
constexpr std::size_t kWidePathCount = kConfigPathSize + 64;

bool WriteAll(HANDLE file, const char* data, std::size_t size) {
    while (size > 0) {
        const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

bool WriteAndFlush(HANDLE file, const char* data, std::size_t size) {
    bool ok = WriteAll(file, data, size) && FlushFileBuffers(file);
    if (!CloseHandle(file)) ok = false;
    return ok;
}

// A new file next to destination under a name no other writer uses (process
// ID and a counter); CREATE_NEW never reuses a file planted there.
HANDLE CreateTemporary(const wchar_t* destination, wchar_t* name, std::size_t nameCount) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const int length = std::swprintf(name, nameCount, L"%ls.%lu.%u.tmp", destination,
                                         static_cast<unsigned long>(GetCurrentProcessId()), counter.fetch_add(1));
        if (length < 0 || static_cast<std::size_t>(length) >= nameCount) return INVALID_HANDLE_VALUE;
        const HANDLE file = CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
    }
    return INVALID_HANDLE_VALUE;
}

// Cuts the file to length 0 and writes data into it. Not atomic: a write
// that stops half-way leaves a shorter file.
bool RewriteInPlace(const wchar_t* path, const char* data, std::size_t size) {
    const HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, TRUNCATE_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    return WriteAndFlush(file, data, size);
}

}  // namespace

bool ReplaceFileContents(const char* path, const char* data, std::size_t size) {
    wchar_t destination[kWidePathCount];
    if (!Utf8ToWide(path, destination, kWidePathCount)) return false;

    const DWORD attributes = GetFileAttributesW(destination);
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    // A read-only file stays as it is; a folder or device is no settings file.
    if (exists && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
        return false;

    wchar_t temporary[kWidePathCount + 64];
    const HANDLE file = CreateTemporary(destination, temporary, sizeof temporary / sizeof temporary[0]);
    if (file == INVALID_HANDLE_VALUE) {
        // No new file may be made beside it, but the file itself may be
        // written: rewriting it in place is the only way left to keep the
        // change.
        return GetLastError() == ERROR_ACCESS_DENIED && exists && RewriteInPlace(destination, data, size);
    }
    if (WriteAndFlush(file, data, size) &&
        MoveFileExW(temporary, destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileW(temporary);
    return false;
}
