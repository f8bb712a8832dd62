/* Entry points that the client looks up in the plug-in library, by these
 * plain names. Unless said otherwise the client calls them on its main or
 * event threads; the captured-voice hook runs on the client's capture thread
 * and must not block.
 *
 * Memory: strings returned by the identity functions are static. Every block
 * the plug-in hands to the client (menu and hotkey records and lists, the
 * menu icon name, the info-panel text) is malloc'ed and comes back through
 * ts3plugin_freeMemory. */
#ifndef MORINDALE_TS3_PLUGIN_H
#define MORINDALE_TS3_PLUGIN_H

#include "plugin_definitions.h"
#include "ts3_functions.h"
#include "ts3_types.h"

#if defined(_WIN32)
#define MORINDALE_EXPORT __declspec(dllexport)
#else
#define MORINDALE_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Identity and lifecycle, on the client's main thread. A client may shut the
 * plug-in down and initialise it again without unloading it, so init,
 * registration and shutdown can come more than once; registration comes
 * after init for plug-in API 20, before it for later APIs. */
MORINDALE_EXPORT const char* ts3plugin_name(void);
MORINDALE_EXPORT const char* ts3plugin_version(void);
MORINDALE_EXPORT int ts3plugin_apiVersion(void);
MORINDALE_EXPORT const char* ts3plugin_author(void);
MORINDALE_EXPORT const char* ts3plugin_description(void);
/* The table arrives by value; the plug-in keeps its own copy. */
MORINDALE_EXPORT void ts3plugin_setFunctionPointers(const struct TS3Functions funcs);
MORINDALE_EXPORT int ts3plugin_init(void);
/* Returns once nothing the plug-in started still runs: the client may unload
 * the library right after. */
MORINDALE_EXPORT void ts3plugin_shutdown(void);
/* The caller keeps ownership of id; the plug-in copies it. */
MORINDALE_EXPORT void ts3plugin_registerPluginID(const char* id);
MORINDALE_EXPORT void ts3plugin_currentServerConnectionChanged(uint64 serverConnectionHandlerID);
MORINDALE_EXPORT int ts3plugin_offersConfigure(void);
MORINDALE_EXPORT void ts3plugin_configure(void* handle, void* qParentWidget);
MORINDALE_EXPORT int ts3plugin_requestAutoload(void);
MORINDALE_EXPORT const char* ts3plugin_commandKeyword(void);
/* Releases a block that the plug-in handed to the client. */
MORINDALE_EXPORT void ts3plugin_freeMemory(void* data);

/* Capture thread, once per captured block. Takes no lock but the monitor
 * FIFO's, which the output side holds only to copy a buffer. Allocates
 * nothing itself; SoundTouch allocates (and frees at once) its anti-alias
 * filter when the pitch changes: every block under Mutation, one in eight
 * under Atari Game, the first block of a fixed shift. */
MORINDALE_EXPORT void ts3plugin_onEditCapturedVoiceDataEvent(uint64 serverConnectionHandlerID,
                                                             short* samples, int sampleCount,
                                                             int channels, int* edited);

/* Menus and hotkeys. The lists are handed to the client, which frees every
 * record, the list and the icon block through ts3plugin_freeMemory. */
MORINDALE_EXPORT void ts3plugin_initMenus(struct PluginMenuItem*** menuItems, char** menuIcon);
MORINDALE_EXPORT void ts3plugin_initHotkeys(struct PluginHotkey*** hotkeys);
MORINDALE_EXPORT void ts3plugin_onMenuItemEvent(uint64 serverConnectionHandlerID,
                                                enum PluginMenuType type, int menuItemID,
                                                uint64 selectedItemID);
MORINDALE_EXPORT void ts3plugin_onHotkeyEvent(const char* keyword);
MORINDALE_EXPORT void ts3plugin_onHotkeyRecordedEvent(const char* keyword, const char* key);

/* Chat command "/morindale ...": 0 when handled, 1 when not. */
MORINDALE_EXPORT int ts3plugin_processCommand(uint64 serverConnectionHandlerID, const char* command);

/* Info panel: the text block (malloc'ed) goes to the client through *data. */
MORINDALE_EXPORT const char* ts3plugin_infoTitle(void);
MORINDALE_EXPORT void ts3plugin_infoData(uint64 serverConnectionHandlerID, uint64 id,
                                         enum PluginItemType type, char** data);

#ifdef __cplusplus
}
#endif

#include "ts3_plugin_events.h" /* every other event hook */

#endif
