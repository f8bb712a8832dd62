// Cutting client texts (UTF-8) to fit a fixed-size field without leaving half
// a character at the end, and showing other people's names in text that the
// client renders as markup.
#pragma once

#include <cstddef>
#include <cstring>

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

// U+2060 WORD JOINER: invisible, and it keeps a '[' from starting a tag.
inline constexpr char kWordJoiner[] = "\xE2\x81\xA0";
inline constexpr std::size_t kWordJoinerLength = sizeof kWordJoiner - 1;

// Copies a name that someone else chose (a nickname, a channel or server
// name, a host) for text that the client renders as BBCode: every '[' is
// followed by a word joiner, so clan tags like "[ABC] Bob" stay visible while
// no name can open or close a tag. At most limit bytes are written, then a
// zero byte (out holds limit + 1); the cut never splits a character (as
// CutAtCharacter keeps it) nor a '[' from its joiner. Returns the length.
inline std::size_t CopyNameForMarkup(const char* name, char* out, std::size_t limit) {
    std::size_t used = 0;
    while (*name != '\0') {
        const bool bracket = *name == '[';
        std::size_t length = 1;  // bytes of this character in name
        if ((static_cast<unsigned char>(*name) & 0xC0) == 0xC0)
            while (length < 4 && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80) ++length;
        const std::size_t shown = bracket ? 1 + kWordJoinerLength : length;
        if (shown > limit - used) break;
        std::memcpy(out + used, name, length);
        if (bracket) std::memcpy(out + used + 1, kWordJoiner, kWordJoinerLength);
        used += shown;
        name += length;
    }
    out[used] = '\0';
    return used;
}
