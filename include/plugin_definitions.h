/* Records that the plug-in hands to the client for its menu and hotkeys. */
#ifndef MORINDALE_PLUGIN_DEFINITIONS_H
#define MORINDALE_PLUGIN_DEFINITIONS_H

#define PLUGIN_MENU_BUFSZ 128
#define PLUGIN_HOTKEY_BUFSZ 128

enum PluginMenuType {
    PLUGIN_MENU_TYPE_GLOBAL = 0,
    PLUGIN_MENU_TYPE_CHANNEL = 1,
    PLUGIN_MENU_TYPE_CLIENT = 2
};

struct PluginMenuItem {
    enum PluginMenuType type;
    int id;
    char text[PLUGIN_MENU_BUFSZ];
    char icon[PLUGIN_MENU_BUFSZ];
};

struct PluginHotkey {
    char keyword[PLUGIN_HOTKEY_BUFSZ];
    char description[PLUGIN_HOTKEY_BUFSZ];
};

/* Info panel item types. */
enum PluginItemType {
    PLUGIN_SERVER = 0,
    PLUGIN_CHANNEL = 1,
    PLUGIN_CLIENT = 2
};

#endif
