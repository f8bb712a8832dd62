// The client API's menu and hotkey records, built for handing to the client.
// Every record is malloc'ed: the client releases it through
// ts3plugin_freeMemory.
#pragma once

#include <cstddef>

#include "plugin_definitions.h"

// A new menu item, or null when out of memory. text and icon are copied with
// at most 127 characters each; the rest of each field is zero bytes.
PluginMenuItem* createMenuItem(PluginMenuType type, int id, const char* text, const char* icon);

// A new hotkey, or null when out of memory; fields copied as for menu items.
PluginHotkey* createHotkey(const char* keyword, const char* description);

// Copies at most size - 1 characters of text into field, fills the rest with
// zero bytes; the last byte is always zero. A null text gives an empty field.
void CopyField(char* field, std::size_t size, const char* text);
