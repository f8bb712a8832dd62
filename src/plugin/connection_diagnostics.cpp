// Connection diagnostics: when a connection is established, the plug-in
// writes its identity line to the client's log and walks what the client
// knows about the connection (server, own client, channels, other tabs).
// Details go to the debug log; failures to the client's log. Every string
// and ID list the client hands out is given back on every way out.
#include <cstdio>

#include "client_calls.h"
#include "debug_log.h"
#include "plugin_state.h"
#include "ts3_plugin.h"

namespace {

constexpr std::size_t kIdentityLineSize = 1024;

unsigned long long AsULL(uint64 id) { return static_cast<unsigned long long>(id); }

void LogError(const char* text, uint64 handler) { LogToClient(text, LogLevel_ERROR, handler); }

bool LogClientLibVersion(uint64 handler) {
    char* version = nullptr;
    if (ts3Functions.getClientLibVersion(&version) != ERROR_ok) {
        LogError("Error querying client lib version", handler);
        return false;
    }
    gl_MyLogging("PLUGIN: Client lib version: %s\n", OrEmpty(version));
    ReleaseClientMemory(version);
    return true;
}

// Written on every established connection, whatever follows.
void LogIdentity(uint64 handler) {
    char line[kIdentityLineSize];
    std::snprintf(line, sizeof line, "Plugin %s, Version %s, Author: %s", ts3plugin_name(), ts3plugin_version(),
                  ts3plugin_author());
    LogToClient(line, LogLevel_INFO, handler);
}

// A tab that is not connected (any more) ends the diagnostics without a word.
bool LogServerName(uint64 handler) {
    char* name = nullptr;
    const unsigned int error = ts3Functions.getServerVariableAsString(handler, VIRTUALSERVER_NAME, &name);
    if (error == ERROR_not_connected) return false;
    if (error != ERROR_ok) {
        LogError("Error querying server name", handler);
        return false;
    }
    gl_MyLogging("PLUGIN: Server name: %s\n", OrEmpty(name));
    ReleaseClientMemory(name);
    return true;
}

bool LogWelcomeMessage(uint64 handler) {
    char* message = nullptr;
    if (ts3Functions.getServerVariableAsString(handler, VIRTUALSERVER_WELCOMEMESSAGE, &message) != ERROR_ok) {
        LogError("Error querying server welcome message", handler);
        return false;
    }
    gl_MyLogging("PLUGIN: Server welcome message: %s\n", OrEmpty(message));
    ReleaseClientMemory(message);
    return true;
}

bool LogOwnClient(uint64 handler) {
    anyID ownClientID = 0;
    if (ts3Functions.getClientID(handler, &ownClientID) != ERROR_ok) {
        LogError("Error querying client ID", handler);
        return false;
    }
    char* nickname = nullptr;
    if (ts3Functions.getClientSelfVariableAsString(handler, CLIENT_NICKNAME, &nickname) != ERROR_ok) {
        LogError("Error querying client nickname", handler);
        return false;
    }
    gl_MyLogging("PLUGIN: My client ID = %d, nickname = %s\n", static_cast<int>(ownClientID), OrEmpty(nickname));
    ReleaseClientMemory(nickname);
    return true;
}

bool LogChannels(uint64 handler) {
    uint64* channels = nullptr;
    if (ts3Functions.getChannelList(handler, &channels) != ERROR_ok) {
        LogError("Error getting channel list", handler);
        return false;
    }
    gl_MyLogging("PLUGIN: Available channels:\n");
    bool complete = true;
    for (const uint64* channel = channels; channel != nullptr && *channel != 0; ++channel) {
        char* name = nullptr;
        if (ts3Functions.getChannelVariableAsString(handler, *channel, CHANNEL_NAME, &name) != ERROR_ok) {
            LogError("Error querying channel name", handler);
            complete = false;
            break;
        }
        gl_MyLogging("PLUGIN: Channel ID = %llu, name = %s\n", AsULL(*channel), OrEmpty(name));
        ReleaseClientMemory(name);
    }
    ReleaseClientMemory(channels);
    return complete;
}

// A failure here skips only the tab concerned; errors are logged under the
// event's own handler.
void LogConnectionHandlers(uint64 handler) {
    gl_MyLogging("PLUGIN: Existing server connection handlers:\n");
    uint64* handlers = nullptr;
    if (ts3Functions.getServerConnectionHandlerList(&handlers) != ERROR_ok) {
        LogError("Error getting server list", handler);
        return;
    }
    for (const uint64* walked = handlers; walked != nullptr && *walked != 0; ++walked) {
        char* name = nullptr;
        const unsigned int error = ts3Functions.getServerVariableAsString(*walked, VIRTUALSERVER_NAME, &name);
        if (error == ERROR_ok) {
            gl_MyLogging("- %llu - %s\n", AsULL(*walked), OrEmpty(name));
            ReleaseClientMemory(name);
        } else if (error != ERROR_not_connected) {
            LogError("Error querying server name", handler);
        }
    }
    ReleaseClientMemory(handlers);
}

}  // namespace

void ts3plugin_onConnectStatusChangeEvent(uint64 serverConnectionHandlerID, int newStatus,
                                          unsigned int /*errorNumber*/) {
    if (newStatus != STATUS_CONNECTION_ESTABLISHED) return;
    const uint64 handler = serverConnectionHandlerID;
    // The identity line goes out on every established connection, also when
    // the version query fails; that failure still ends the diagnostics.
    const bool haveVersion = LogClientLibVersion(handler);
    LogIdentity(handler);
    if (!haveVersion) return;
    if (!LogServerName(handler)) return;
    if (!LogWelcomeMessage(handler)) return;
    if (!LogOwnClient(handler)) return;
    if (!LogChannels(handler)) return;
    LogConnectionHandlers(handler);
}
