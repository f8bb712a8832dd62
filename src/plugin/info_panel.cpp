// Placeholder until the info panel lands.
#include "ts3_plugin.h"

const char* ts3plugin_infoTitle() { return "Test plugin info"; }
void ts3plugin_infoData(uint64, uint64, PluginItemType, char**) {}
