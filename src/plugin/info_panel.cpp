// The plug-in's section of the client's info panel: one sentence naming the
// selected server, channel or client. The client calls both entry points on
// its main thread.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "client_calls.h"
#include "debug_log.h"
#include "plugin_state.h"
#include "text_cut.h"
#include "ts3_plugin.h"

namespace {

constexpr std::size_t kInfoTextSize = 128;  // 127 bytes and a zero byte

// The sentence around the name. A long name is cut rather than the sentence,
// so that the closing tag is always there for the client to render, and the
// name's own brackets cannot open or close a tag.
const char* const kInfoBefore = "The nickname is [I]\"";
const char* const kInfoAfter = "\"[/I]";

// Asks the client for the name of the selected item; *name is the client's
// string on success. Failures and unknown types go to the debug log.
bool QueryItemName(uint64 handler, uint64 id, int type, char** name) {
    switch (type) {
        case PLUGIN_SERVER:
            if (ts3Functions.getServerVariableAsString(handler, VIRTUALSERVER_NAME, name) == ERROR_ok) return true;
            gl_MyLogging("Error getting virtual server name\n");
            return false;
        case PLUGIN_CHANNEL:
            if (ts3Functions.getChannelVariableAsString(handler, id, CHANNEL_NAME, name) == ERROR_ok) return true;
            gl_MyLogging("Error getting channel name\n");
            return false;
        case PLUGIN_CLIENT:
            if (ts3Functions.getClientVariableAsString(handler, static_cast<anyID>(id), CLIENT_NICKNAME, name) ==
                ERROR_ok)
                return true;
            gl_MyLogging("Error getting client nickname\n");
            return false;
        default:
            gl_MyLogging("Invalid item type: %d\n", type);
            return false;
    }
}

}  // namespace

const char* ts3plugin_infoTitle() { return "Test plugin info"; }

// The text block is malloc'ed and belongs to the client, which returns it
// through ts3plugin_freeMemory. Where no text is produced *data is left as
// the client set it.
void ts3plugin_infoData(uint64 serverConnectionHandlerID, uint64 id, PluginItemType type, char** data) {
    // Newer clients may send item types this build doesn't know: read the
    // raw value, so no out-of-range enum value is ever formed.
    int itemType = 0;
    static_assert(sizeof itemType == sizeof type, "item types travel as int");
    std::memcpy(&itemType, &type, sizeof itemType);

    char* name = nullptr;
    if (!QueryItemName(serverConnectionHandlerID, id, itemType, &name)) return;

    char* text = static_cast<char*>(std::malloc(kInfoTextSize));
    if (text != nullptr && data != nullptr) {
        const std::size_t room = kInfoTextSize - 1 - std::strlen(kInfoBefore) - std::strlen(kInfoAfter);
        char shown[kInfoTextSize];
        CopyNameForMarkup(OrEmpty(name), shown, room);
        std::snprintf(text, kInfoTextSize, "%s%s%s", kInfoBefore, shown, kInfoAfter);
        *data = text;
    } else {
        std::free(text);
    }
    ReleaseClientMemory(name);
}
