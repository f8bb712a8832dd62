// "/morindale pitch [semitones]": sets, or without a number shows, the pitch
// of Pitch (manual). A sub-command of the chat command (chat_command.cpp).
#pragma once

#include "ts3_types.h"

// Event thread. value: the first word after "pitch" or null; extra: the last
// word after it or null.
void PitchCommand(uint64 handler, const char* value, const char* extra);
