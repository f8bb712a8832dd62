#include "update_reply.h"

#include <cstdio>
#include <cstring>

#ifndef MORINDALE_VERSION_TEXT
#error "MORINDALE_VERSION_TEXT comes from the build"
#endif

const char* const kVersionKey = "MorindaleVersion:";
const char* const kOwnVersion = MORINDALE_VERSION_TEXT;
const char* const MORINDALE_USER_AGENT =
    "User-Agent: Mozilla/5.0 (Windows NT 6.1; WOW64; rv:36.0) Gecko/20100101 Firefox/36.0\r\n";

namespace {

constexpr const char* kVersionPath = "/teamspeak/mversion.txt";
constexpr const char* kHomepagePath = "/teamspeak/";
constexpr const char* kMessageHead = "A new Morindale version ( ";
constexpr const char* kMessageMiddle = " ) is available - [url]";
constexpr const char* kMessageTail = "[/url]";
constexpr const char* kEllipsis = "...";

// "host" or "host:port", as the request line, the Host header and the
// homepage name the server.
int FormatAuthority(const char* host, unsigned port, char* out, std::size_t size) {
    return port == 80 ? std::snprintf(out, size, "%s", host) : std::snprintf(out, size, "%s:%u", host, port);
}

bool Fits(int written, std::size_t size) { return written >= 0 && static_cast<std::size_t>(written) < size; }

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::size_t kReplacementLength = sizeof kReplacement - 1;

// Characters that would steer the chat's layout instead of being seen: C1
// controls, the line and paragraph separators, and the whole Bidi_Control
// set (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069).
bool IsHiddenControl(unsigned long codePoint) {
    return (codePoint >= 0x80 && codePoint <= 0x9F) || codePoint == 0x061C || codePoint == 0x200E ||
           codePoint == 0x200F || (codePoint >= 0x2028 && codePoint <= 0x202E) ||
           (codePoint >= 0x2066 && codePoint <= 0x2069);
}

// One character of a zero-terminated text as the chat is to show it: the
// character itself, or U+FFFD for a markup bracket, a control character or
// a byte that does not start a valid UTF-8 sequence (only that byte is
// consumed then). Returns where the bytes to show start and their count in
// `length` (1 to 4); `consumed` is the count of input bytes they stand for.
const char* DisplayUnit(const char* text, std::size_t* length, std::size_t* consumed) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    *consumed = 1;
    *length = kReplacementLength;
    const unsigned char lead = bytes[0];
    if (lead < 0x80) {
        if (lead < 0x20 || lead == 0x7F || lead == '[' || lead == ']') return kReplacement;
        *length = 1;
        return text;
    }
    // Sequence length, the lead byte's bits, and the smallest code point that
    // needs this length (anything below is an overlong form).
    std::size_t count = 4;
    unsigned long codePoint = lead & 0x07u;
    unsigned long smallest = 0x10000;
    if (lead >= 0xC2 && lead <= 0xDF) {
        count = 2;
        codePoint = lead & 0x1Fu;
        smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        count = 3;
        codePoint = lead & 0x0Fu;
        smallest = 0x800;
    } else if (lead < 0xF0 || lead > 0xF4) {
        return kReplacement;
    }
    // The zero byte that ends the text is no continuation byte, so this never
    // reads past it.
    for (std::size_t k = 1; k < count; ++k) {
        if ((bytes[k] & 0xC0) != 0x80) return kReplacement;
        codePoint = (codePoint << 6) | (bytes[k] & 0x3Fu);
    }
    if (codePoint < smallest || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return kReplacement;  // overlong, beyond Unicode, or a surrogate
    *consumed = count;
    if (IsHiddenControl(codePoint)) return kReplacement;
    *length = count;
    return text;
}

std::size_t DisplayLength(const char* text) {
    std::size_t total = 0;
    while (*text != '\0') {
        std::size_t length, consumed;
        DisplayUnit(text, &length, &consumed);
        total += length;
        text += consumed;
    }
    return total;
}

// Appends to a zero-terminated text in a buffer of `size` bytes (size > 0).
class TextBuffer {
public:
    TextBuffer(char* out, std::size_t size) : out_(out), size_(size) { out_[0] = '\0'; }
    bool Fits(std::size_t length) const { return length <= size_ - 1 - used_; }
    // Appends as much of the bytes as fits.
    void Append(const char* bytes, std::size_t length) {
        if (!Fits(length)) length = size_ - 1 - used_;
        std::memcpy(out_ + used_, bytes, length);
        used_ += length;
        out_[used_] = '\0';
    }
    void Append(const char* text) { Append(text, std::strlen(text)); }

private:
    char* out_;
    std::size_t size_;
    std::size_t used_ = 0;
};

}  // namespace

int BuildVersionRequest(const char* host, unsigned port, char* out, std::size_t size) {
    char authority[128];
    if (!Fits(FormatAuthority(host, port, authority, sizeof authority), sizeof authority)) return -1;
    const int length = std::snprintf(out, size, "GET http://%s%s HTTP/1.0\r\nHost: %s\r\n%s\r\n", authority,
                                     kVersionPath, authority, MORINDALE_USER_AGENT);
    return Fits(length, size) ? length : -1;
}

bool BuildHomepageUrl(const char* host, unsigned port, char* out, std::size_t size) {
    char authority[128];
    if (!Fits(FormatAuthority(host, port, authority, sizeof authority), sizeof authority)) return false;
    return Fits(std::snprintf(out, size, "http://%s%s", authority, kHomepagePath), size);
}

const char* FindVersionText(const char* reply) {
    const char* key = std::strstr(reply, kVersionKey);
    if (key == nullptr || key == reply) return nullptr;
    return key + std::strlen(kVersionKey);
}

bool IsOwnVersion(const char* version) { return std::strcmp(version, kOwnVersion) == 0; }

void FormatNewVersionMessage(const char* version, const char* homepage, char* out, std::size_t size) {
    if (size == 0) return;
    const std::size_t fixed =
        std::strlen(kMessageHead) + std::strlen(kMessageMiddle) + std::strlen(homepage) + std::strlen(kMessageTail);
    const std::size_t room = size - 1 > fixed ? size - 1 - fixed : 0;
    std::size_t limit = DisplayLength(version);
    bool cut = false;
    if (limit > room && room > std::strlen(kEllipsis)) {
        limit = room - std::strlen(kEllipsis);
        cut = true;
    }
    // With a buffer too small even for the fixed text, the end is cut off.
    TextBuffer message(out, size);
    message.Append(kMessageHead);
    std::size_t shown = 0;
    while (*version != '\0') {
        std::size_t length, consumed;
        const char* unit = DisplayUnit(version, &length, &consumed);
        if (shown + length > limit || !message.Fits(length)) break;
        message.Append(unit, length);
        shown += length;
        version += consumed;
    }
    if (cut) message.Append(kEllipsis);
    message.Append(kMessageMiddle);
    message.Append(homepage);
    message.Append(kMessageTail);
}
