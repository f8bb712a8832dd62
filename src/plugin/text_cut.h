// Cutting client texts (UTF-8) to fit a fixed-size field without leaving half
// a character at the end.
#pragma once

#include <cstddef>

// The length, at most limit bytes, to which text of `length` bytes is cut: the
// whole text when it fits, otherwise limit moved back to the start of the
// character that the cut would split. Only a well-formed sequence (a lead
// byte followed by up to three continuation bytes) is kept whole; bytes that
// are not UTF-8 are cut where the limit falls.
inline std::size_t CutAtCharacter(const char* text, std::size_t length, std::size_t limit) {
    if (length <= limit) return length;
    std::size_t cut = limit;
    for (int back = 0; back < 3 && cut > 0; ++back) {
        if ((static_cast<unsigned char>(text[cut]) & 0xC0) != 0x80) break;  // text[cut] starts a character
        --cut;
    }
    // Moved back onto a lead byte: cut before it. Ran out of continuation
    // bytes without one: not UTF-8, cut at the limit.
    const unsigned char lead = static_cast<unsigned char>(text[cut]);
    if (cut < limit && (lead & 0xC0) != 0xC0) return limit;
    return cut;
}
