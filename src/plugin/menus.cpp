// Placeholder until the menus and hotkeys land.
#include "actions.h"
#include "ts3_plugin.h"

void HandleMenuAction(int) {}
void EnableDisableVoiceMenu(bool) {}

void ts3plugin_initMenus(PluginMenuItem***, char**) {}
void ts3plugin_initHotkeys(PluginHotkey***) {}
void ts3plugin_onMenuItemEvent(uint64, PluginMenuType, int, uint64) {}
void ts3plugin_onHotkeyEvent(const char*) {}
void ts3plugin_onHotkeyRecordedEvent(const char*, const char*) {}
