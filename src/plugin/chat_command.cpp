// Placeholder until the chat command lands.
#include "ts3_plugin.h"

int ts3plugin_processCommand(uint64, const char*) { return 1; }
