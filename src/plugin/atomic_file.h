// Replacing a small file so that readers, and the disk after a crash, see
// either the old or the new contents, never a mixture or a shortened file.
#pragma once

#include <cstddef>

// Writes data to a new file in the same directory as path, flushes it to the
// disk and renames it over path. A symbolic link at path is followed, so the
// file it points to is replaced, or created where it does not exist yet; a
// loop of links is a failure. Returns false, leaving path untouched and no
// temporary file behind, when any step fails, and also when path exists but
// may not be written (a read-only file stays as it is). Where no new file may
// be made in the directory, an existing file that may be written is instead
// rewritten in place, without the guarantee above.
bool ReplaceFileContents(const char* path, const char* data, std::size_t size);
