// Replacing a small file so that readers, and the disk after a crash, see
// either the old or the new contents, never a mixture or a shortened file;
// and reading one only when it is a regular file. All of the file system
// calls of the settings file are here, so that a port replaces one file.
#pragma once

#include <cstddef>
#include <cstdio>

enum class ReplaceResult {
    kReplaced,
    kFailed,            // path untouched: it holds the old contents
    kNotARegularFile,   // a FIFO, a device, a directory, a socket: left alone
};

// Writes data to a new file in the same directory as path, flushes it to the
// disk and renames it over path, with the owner and mode of the file it
// replaces. A symbolic link at path is followed, so the file it points to is
// replaced, or created where it does not exist yet; a loop of links is a
// failure. Only a regular file is ever replaced. Fails, leaving path
// untouched and no temporary file behind, when any step fails, and also when
// path exists but may not be written (a read-only file stays as it is).
//
// Where no new file may be made in the directory, or the owner of the file
// could not be kept, an existing writable file of up to kInPlaceLimit bytes
// is instead rewritten in place, laid out so that a write cut short (a full
// disk, a file-size limit, a kill) leaves the old or the new contents.
//
// Temporary files that a killed save left beside path are removed. Callers
// serialise the saves of one path within the process.
ReplaceResult ReplaceFileContents(const char* path, const char* data, std::size_t size);

constexpr std::size_t kInPlaceLimit = 4096;  // bytes: one page, written by one call

// Opens path for reading when it is a regular file; null otherwise (missing,
// unreadable, a FIFO that would block the caller, a device that could feed
// it forever).
std::FILE* OpenRegularFileForReading(const char* path);
