// UTF-8 (the plug-in's text) to and from UTF-16 (the Windows wide API), for
// the Windows platform files. Both fail rather than cut a text short.
#pragma once

#include <windows.h>

#include <cstddef>

// Converts the zero-terminated UTF-8 text into out (outCount wide
// characters, the zero included). False for text that is not UTF-8 or that
// does not fit.
inline bool Utf8ToWide(const char* text, wchar_t* out, std::size_t outCount) {
    if (text == nullptr || out == nullptr || outCount == 0 || outCount > 0x7fffffff) return false;
    const int written = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, out, static_cast<int>(outCount));
    return written > 0;
}

// Converts the zero-terminated wide text into out (outSize bytes, the zero
// included). False for unpaired surrogates or text that does not fit.
inline bool WideToUtf8(const wchar_t* text, char* out, std::size_t outSize) {
    if (text == nullptr || out == nullptr || outSize == 0 || outSize > 0x7fffffff) return false;
    const int written =
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, out, static_cast<int>(outSize), nullptr, nullptr);
    return written > 0;
}
