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
    std::size_t keep = std::strlen(version);
    const char* mark = "";
    if (keep > room && room > std::strlen(kEllipsis)) {
        keep = room - std::strlen(kEllipsis);
        // Never end inside a UTF-8 sequence: back up to the byte that starts it.
        while (keep > 0 && (static_cast<unsigned char>(version[keep]) & 0xC0) == 0x80) --keep;
        mark = kEllipsis;
    }
    // With a buffer too small even for the fixed text, snprintf cuts the end.
    std::snprintf(out, size, "%s%.*s%s%s%s%s", kMessageHead, static_cast<int>(keep), version, mark, kMessageMiddle,
                  homepage, kMessageTail);
}
