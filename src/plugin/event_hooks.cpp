// Event hooks that do something: each writes a debug line (discarded, see
// debug_log.h) and answers the client where the hook has a result. They keep
// no state and take no lock; the client calls them on its event threads.
#include "client_calls.h"
#include "debug_log.h"
#include "plugin_state.h"
#include "ts3_plugin.h"

namespace {

constexpr std::size_t kDisplayNameSize = 512;

unsigned long long AsULL(uint64 id) { return static_cast<unsigned long long>(id); }

}  // namespace

// 1 claims the error for the plug-in, so the client does not report it. Only
// a request tagged with a return code can be the plug-in's; an empty code
// tags nothing, and claiming it would hide the client's own errors.
int ts3plugin_onServerErrorEvent(uint64 serverConnectionHandlerID, const char* errorMessage, unsigned int error,
                                 const char* returnCode, const char* /*extraMessage*/) {
    gl_MyLogging("PLUGIN: onServerErrorEvent %llu %s %d %s\n", AsULL(serverConnectionHandlerID),
                 OrEmpty(errorMessage), static_cast<int>(error), OrEmpty(returnCode));
    return returnCode != nullptr && returnCode[0] != '\0' ? 1 : 0;
}

// 0: the client shows the message as usual, also an ignored one.
int ts3plugin_onTextMessageEvent(uint64 serverConnectionHandlerID, anyID targetMode, anyID /*toID*/, anyID fromID,
                                 const char* fromName, const char* /*fromUniqueIdentifier*/, const char* message,
                                 int ffIgnored) {
    gl_MyLogging("PLUGIN: onTextMessageEvent %llu %d %d %s %s %d\n", AsULL(serverConnectionHandlerID),
                 static_cast<int>(targetMode), static_cast<int>(fromID), OrEmpty(fromName), OrEmpty(message),
                 ffIgnored);
    return 0;
}

void ts3plugin_onTalkStatusChangeEvent(uint64 serverConnectionHandlerID, int status, int /*isReceivedWhisper*/,
                                       anyID clientID) {
    char name[kDisplayNameSize] = {};
    if (ts3Functions.getClientDisplayName(serverConnectionHandlerID, clientID, name, kDisplayNameSize) != ERROR_ok)
        return;
    Terminate(name);
    if (status == 1) {
        gl_MyLogging("--> %s starts talking\n", name);
    } else {
        gl_MyLogging("--> %s stops talking\n", name);
    }
}

// The receiving end of the "command" sub-command of the chat command.
#if MORINDALE_PLUGIN_API >= 23
void ts3plugin_onPluginCommandEvent(uint64 /*serverConnectionHandlerID*/, const char* pluginName,
                                    const char* pluginCommand, anyID /*invokerClientID*/,
                                    const char* /*invokerName*/, const char* /*invokerUniqueIdentity*/) {
#else
void ts3plugin_onPluginCommandEvent(uint64 /*serverConnectionHandlerID*/, const char* pluginName,
                                    const char* pluginCommand) {
#endif
    gl_MyLogging("ON PLUGIN COMMAND: %s %s\n", OrEmpty(pluginName), OrEmpty(pluginCommand));
}

void ts3plugin_onAvatarUpdated(uint64 serverConnectionHandlerID, anyID clientID, const char* avatarPath) {
    if (avatarPath != nullptr) {
        gl_MyLogging("onAvatarUpdated: %llu %d %s\n", AsULL(serverConnectionHandlerID), static_cast<int>(clientID),
                     avatarPath);
    } else {
        gl_MyLogging("onAvatarUpdated: %llu %d - deleted\n", AsULL(serverConnectionHandlerID),
                     static_cast<int>(clientID));
    }
}

// 0: the client handles the poke as usual.
int ts3plugin_onClientPokeEvent(uint64 /*serverConnectionHandlerID*/, anyID /*fromClientID*/,
                                const char* /*pokerName*/, const char* /*pokerUniqueIdentity*/,
                                const char* /*message*/, int /*ffIgnored*/) {
    return 0;
}

// 0: the client reports the missing permission as usual.
int ts3plugin_onServerPermissionErrorEvent(uint64 /*serverConnectionHandlerID*/, const char* /*errorMessage*/,
                                           unsigned int /*error*/, const char* /*returnCode*/,
                                           unsigned int /*failedPermissionID*/) {
    return 0;
}
