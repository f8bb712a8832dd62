// Whether text is one of the files a save can produce: the six KEY=value
// lines in their order, each value a decimal number. Header-only, so the fuzz
// targets (built without the test support library) share it.
#pragma once

#include <cstddef>
#include <string>

namespace morindale_test {

inline bool IsWholeSettingsFile(const std::string& text) {
    const char* const keys[] = {"ENABLED", "EFFECT", "HEAR_VOICE", "HEAR_MUSIC", "USE_DIRECTSOUND", "CUSTOM_PITCH"};
    std::size_t at = 0;
    for (const char* key : keys) {
        const std::string prefix = std::string(key) + "=";
        if (text.compare(at, prefix.size(), prefix) != 0) return false;
        at += prefix.size();
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos || end == at) return false;
        for (std::size_t i = at; i < end; ++i)
            if ((text[i] < '0' || text[i] > '9') && !(i == at && text[i] == '-')) return false;
        at = end + 1;
    }
    return at == text.size();
}

}  // namespace morindale_test
