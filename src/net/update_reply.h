// The version request of the update check and the reading of its reply:
// pure text work, no network.
#pragma once

#include <cstddef>

// Key in the version file; the version text follows it directly.
extern const char* const kVersionKey;  // "MorindaleVersion:"
// The installed version, compared as a string with the published one.
extern const char* const kOwnVersion;  // "1.50"
// The User-Agent header line of the request, with its line end.
extern const char* const MORINDALE_USER_AGENT;

// The request bytes: absolute-URI request line, Host and User-Agent headers,
// empty line; no zero byte is counted. A port other than 80 is named after
// the host. Returns the length, or -1 when `size` bytes (with the zero) do
// not hold it.
int BuildVersionRequest(const char* host, unsigned port, char* out, std::size_t size);

// The product homepage on the update host: "http://<host>[:port]/teamspeak/".
// Returns false when it does not fit.
bool BuildHomepageUrl(const char* host, unsigned port, char* out, std::size_t size);

// The version text in a zero-terminated reply: everything after the first
// key up to the end of the text, untrimmed. Null when the key is missing or
// stands at offset 0: a real reply starts with its status line.
const char* FindVersionText(const char* reply);

bool IsOwnVersion(const char* version);

// "A new Morindale version ( <version> ) is available - [url]<homepage>[/url]"
// into out. Whoever answers the plain-HTTP request chooses the version text,
// so it is shown, never interpreted: the chat's markup brackets [ and ],
// control characters (C0, DEL, C1, line and paragraph separators, and the
// bidirectional controls: marks, embeddings, overrides and isolates) and bytes that are not valid UTF-8 each become U+FFFD.
// A version text too long for the buffer is cut after a whole character and
// marked with "..." so that the link markup stays whole.
void FormatNewVersionMessage(const char* version, const char* homepage, char* out, std::size_t size);
