// Small helpers for the diagnostics' calls into the client: its log, the
// release of what it hands out, and texts that may arrive as null.
#pragma once

#include <cstddef>

#include "plugin_state.h"
#include "ts3_types.h"

// Writes one line to the client's log under the plug-in's channel, with the
// connection handler as log ID. severity: LogLevel_ERROR or LogLevel_INFO.
inline void LogToClient(const char* text, LogLevel severity, uint64 serverConnectionHandlerID) {
    ts3Functions.logMessage(text, severity, "Plugin", serverConnectionHandlerID);
}

// Gives a string or ID list that a client function handed out back to the
// client. Null (nothing received) is not passed on.
inline void ReleaseClientMemory(void* block) {
    if (block != nullptr) ts3Functions.freeMemory(block);
}

// A text for %s: the client's string, or "" when it passed none.
inline const char* OrEmpty(const char* text) { return text != nullptr ? text : ""; }

// Ends a buffer that the client filled, in case it wrote size bytes without a
// terminating zero.
template <std::size_t N>
inline void Terminate(char (&buffer)[N]) {
    buffer[N - 1] = '\0';
}
