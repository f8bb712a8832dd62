// The settings file's replacement and reading on Windows. A new file beside
// it, flushed, then put in its place in one step: ReplaceFileW over an
// existing file (which keeps that file's security settings and attributes,
// as the POSIX side keeps owner and mode), MoveFileExW where there is none.
// Paths are UTF-8 and go to the wide-character API, so profile folders with
// any characters in their names work.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cwchar>

#include "atomic_file.h"
#include "plugin_state.h"
#include "wide_text_win.h"

namespace {

constexpr int kNameAttempts = 16;
constexpr std::size_t kWidePathCount = kConfigPathSize + 64;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr ULONGLONG kStrayAge = 60ULL * 10000000ULL;  // a minute, in the 100 ns units of FILETIME

ULONGLONG FileTimeValue(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

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

bool WriteAt(HANDLE file, const char* data, std::size_t size, std::size_t offset) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && WriteAll(file, data, size);
}

bool CutAt(HANDLE file, std::size_t length) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(length);
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

// A new file next to destination under a name no other writer uses: the
// process ID and a counter, as on POSIX; CREATE_NEW never reuses a file
// planted there.
HANDLE CreateTemporary(const wchar_t* destination, wchar_t* name, std::size_t nameCount) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const int length = std::swprintf(name, nameCount, L"%ls.%lu.%u.tmp", destination,
                                         static_cast<unsigned long>(GetCurrentProcessId()), counter.fetch_add(1));
        if (length < 0 || static_cast<std::size_t>(length) >= nameCount) return INVALID_HANDLE_VALUE;
        const HANDLE file = CreateFileW(name, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                        nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
    }
    return INVALID_HANDLE_VALUE;
}

// The process ID in a temporary file's name for file `base` (base, ".", the
// ID, ".", the counter, ".tmp"); 0 for any other name.
unsigned long TemporaryOwner(const wchar_t* name, const wchar_t* base) {
    const std::size_t baseLength = std::wcslen(base);
    if (_wcsnicmp(name, base, baseLength) != 0 || name[baseLength] != L'.') return 0;
    const wchar_t* p = name + baseLength + 1;
    unsigned long pid = 0;
    const wchar_t* digits = p;
    for (; *p >= L'0' && *p <= L'9' && p - digits < 10; ++p) pid = pid * 10 + static_cast<unsigned long>(*p - L'0');
    if (p == digits || *p != L'.') return 0;
    const wchar_t* count = ++p;
    while (*p >= L'0' && *p <= L'9') ++p;
    if (p == count || _wcsicmp(p, L".tmp") != 0) return 0;
    return pid;
}

bool ProcessRuns(unsigned long pid) {
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;  // no such process
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

// Removes the temporary files of destination whose saving process is gone and
// that were last written over a minute ago: a process ID unknown here may be
// a client's on another machine that shares the profile, mid-save.
void RemoveStrayTemporaries(const wchar_t* destination) {
    const wchar_t* slash = std::max(std::wcsrchr(destination, L'\\'), std::wcsrchr(destination, L'/'));
    const wchar_t* base = slash != nullptr ? slash + 1 : destination;
    const std::size_t directoryLength = static_cast<std::size_t>(base - destination);
    wchar_t pattern[kWidePathCount + 8];
    if (std::swprintf(pattern, sizeof pattern / sizeof pattern[0], L"%ls.*.tmp", destination) < 0) return;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    const unsigned long self = GetCurrentProcessId();
    FILETIME nowTime;
    GetSystemTimeAsFileTime(&nowTime);
    const ULONGLONG now = FileTimeValue(nowTime);
    do {
        const unsigned long pid = TemporaryOwner(found.cFileName, base);
        if (pid == 0 || pid == self || ProcessRuns(pid)) continue;
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
        const ULONGLONG written = FileTimeValue(found.ftLastWriteTime);
        if (written > now || now - written <= kStrayAge) continue;
        wchar_t stray[kWidePathCount + 64];
        if (std::swprintf(stray, sizeof stray / sizeof stray[0], L"%.*ls%ls", static_cast<int>(directoryLength),
                          destination, found.cFileName) > 0)
            DeleteFileW(stray);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// Rewrites the file in place, never holding anything but the old or the new
// settings, in the steps of the POSIX side: grow with line ends, write the
// new text padded with line ends over the whole length, cut the padding.
bool RewriteInPlace(const wchar_t* path, const char* data, std::size_t size) {
    if (size > kInPlaceLimit) return false;
    const HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER fileSize;
    bool ok = GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &fileSize) && fileSize.QuadPart >= 0 &&
              static_cast<unsigned long long>(fileSize.QuadPart) <= kInPlaceLimit;
    const std::size_t oldSize = ok ? static_cast<std::size_t>(fileSize.QuadPart) : 0;
    const std::size_t length = std::max(oldSize, size);
    char before[kInPlaceLimit];
    char after[kInPlaceLimit];
    std::memset(before, '\n', sizeof before);
    std::memset(after, '\n', sizeof after);
    DWORD got = 0;
    ok = ok && ReadFile(file, before, static_cast<DWORD>(oldSize), &got, nullptr) && got == oldSize;
    std::memcpy(after, data, size);
    if (ok && length > oldSize && !WriteAt(file, before + oldSize, length - oldSize, oldSize)) {
        ok = false;
        CutAt(file, oldSize);
    }
    if (ok && !WriteAt(file, after, length, 0)) {
        ok = false;
        WriteAt(file, before, oldSize, 0);
        CutAt(file, oldSize);
    }
    if (ok && length > size) CutAt(file, size);
    if (ok && !FlushFileBuffers(file)) ok = false;
    if (!CloseHandle(file)) ok = false;
    return ok;
}

}  // namespace

ReplaceResult ReplaceFileContents(const char* path, const char* data, std::size_t size) {
    wchar_t destination[kWidePathCount];
    if (!Utf8ToWide(path, destination, kWidePathCount)) return ReplaceResult::kFailed;

    const DWORD attributes = GetFileAttributesW(destination);
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    // A folder or a device is never replaced; a read-only file stays as it is.
    if (exists && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0)
        return ReplaceResult::kNotARegularFile;
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0) return ReplaceResult::kFailed;

    RemoveStrayTemporaries(destination);
    wchar_t temporary[kWidePathCount + 64];
    const HANDLE file = CreateTemporary(destination, temporary, sizeof temporary / sizeof temporary[0]);
    if (file == INVALID_HANDLE_VALUE) {
        // No new file may be made beside it, but the file itself may be
        // written: rewriting it in place is the only way left to keep it.
        const bool refused = GetLastError() == ERROR_ACCESS_DENIED;
        return refused && exists && RewriteInPlace(destination, data, size) ? ReplaceResult::kReplaced
                                                                           : ReplaceResult::kFailed;
    }
    bool ok = WriteAll(file, data, size) && FlushFileBuffers(file);
    if (!CloseHandle(file)) ok = false;
    if (ok && exists &&
        ReplaceFileW(destination, temporary, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
        return ReplaceResult::kReplaced;
    // No file to replace (or one that went meanwhile): put the new one there.
    if (ok && MoveFileExW(temporary, destination, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return ReplaceResult::kReplaced;
    DeleteFileW(temporary);
    return ReplaceResult::kFailed;
}

// Only a file on a disk counts: a named pipe or a console device would block
// the event thread or feed it forever. Shared for everything, so that a save
// that replaces the file meanwhile is not refused because we hold it.
std::FILE* OpenRegularFileForReading(const char* path) {
    wchar_t widePath[kWidePathCount];
    if (!Utf8ToWide(path, widePath, kWidePathCount)) return nullptr;
    const HANDLE handle =
        CreateFileW(widePath, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
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
    // Binary: line ends reach the parser as they are in the file, as on POSIX.
    std::FILE* file = _fdopen(fd, "rb");
    if (file == nullptr) _close(fd);  // closes the handle too
    return file;
}
