// The "/morindale" chat command: ten diagnostic sub-commands, each a thin
// wrapper for one or a few client functions, and "pitch" (pitch_command.h),
// which sets the manual pitch. The client calls the processor on its event
// threads with the text after the keyword. Nothing is kept between calls:
// every buffer lives on the caller's stack, and the only shared value the
// diagnostics read is the plug-in ID, set once at registration.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "client_calls.h"
#include "debug_log.h"
#include "pitch_command.h"
#include "plugin_state.h"
#include "text_cut.h"
#include "ts3_plugin.h"

namespace {

constexpr std::size_t kCommandBufferSize = 128;  // 127 characters and a zero byte
constexpr std::size_t kReturnCodeSize = 128;
constexpr std::size_t kServerTextSize = 256;
constexpr std::size_t kChannelTextSize = 512;
constexpr std::size_t kAvatarPathSize = 512;

// The words of one command. Absent words are null; present ones never empty.
struct CommandWords {
    const char* word = nullptr;  // the sub-command word
    const char* p1 = nullptr;    // the first parameter
    const char* p2 = nullptr;    // the last word after the first parameter
};

// Splits buffer in place at spaces only: runs of spaces separate, tabs are
// ordinary characters. Reentrant, so that two event threads may each run a
// command at the same time.
CommandWords SplitCommand(char* buffer) {
    CommandWords words;
    char* rest = nullptr;
    int index = 0;
    for (char* token = strtok_r(buffer, " ", &rest); token != nullptr; token = strtok_r(nullptr, " ", &rest)) {
        if (index == 0) {
            words.word = token;
        } else if (index == 1) {
            words.p1 = token;
        } else {
            words.p2 = token;
        }
        if (index < 2) ++index;
    }
    return words;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// A number as atoi reads it: leading white space, an optional sign, decimal
// digits up to the first other character; no digits give 0. Values beyond
// the int range saturate at INT_MIN or INT_MAX, where atoi's result would be
// undefined.
int ParseNumber(const char* text) {
    while (IsBlank(*text)) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    long long magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        magnitude = magnitude * 10 + (*text - '0');
        if (magnitude > limit) magnitude = limit;
    }
    return static_cast<int>(negative ? -magnitude : magnitude);
}

// The 32-bit number sign-extended to the client's 64-bit channel ID.
uint64 ChannelIdFrom(const char* text) { return static_cast<uint64>(static_cast<long long>(ParseNumber(text))); }

// The 32-bit number cut to the client's 16-bit client ID.
anyID ClientIdFrom(const char* text) { return static_cast<anyID>(ParseNumber(text)); }

// Asks the client for a return code that tags a request as this plug-in's.
// Without a registered ID the code stays empty: the client has nothing to
// attribute it to.
void CreateReturnCode(char (&returnCode)[kReturnCodeSize]) {
    returnCode[0] = '\0';
    const char* id = PluginId();
    if (id == nullptr) return;
    ts3Functions.createReturnCode(id, returnCode, kReturnCodeSize);
    Terminate(returnCode);
}

// Prints a formatted message of `length` bytes (snprintf's result) cut to at
// most limit bytes, at a character boundary. message holds all of it: its
// buffer is twice the size of the client text that went into it. A cut
// between a '[' and its word joiner leaves the '[' last, where it opens
// nothing.
template <std::size_t N>
void PrintCut(char (&message)[N], int length, std::size_t limit) {
    if (length < 0) return;
    const std::size_t whole = std::min(static_cast<std::size_t>(length), N - 1);
    message[CutAtCharacter(message, whole, limit)] = '\0';
    PrintToCurrentTab(message);
}

// The own client ID on this connection; logs the failure.
bool QueryOwnClientId(uint64 handler, anyID* clientID) {
    if (ts3Functions.getClientID(handler, clientID) != ERROR_ok) {
        LogToClient("Error querying client ID", LogLevel_ERROR, handler);
        return false;
    }
    return true;
}

void Join(uint64 handler, const char* p1, const char* p2) {
    if (p1 == nullptr) {
        PrintToCurrentTab("Missing channel ID parameter.");
        return;
    }
    const uint64 channelID = ChannelIdFrom(p1);
    const char* password = p2 != nullptr ? p2 : "";
    anyID ownClientID = 0;
    if (!QueryOwnClientId(handler, &ownClientID)) return;
    char returnCode[kReturnCodeSize];
    CreateReturnCode(returnCode);
    if (ts3Functions.requestClientMove(handler, ownClientID, channelID, password, returnCode) != ERROR_ok)
        LogToClient("Error requesting client move", LogLevel_INFO, handler);
}

void Command(uint64 handler, const char* p1, const char* /*p2*/) {
    if (p1 == nullptr) {
        PrintToCurrentTab("Missing command parameter.");
        return;
    }
    const char* id = PluginId();
    if (id == nullptr) {
        gl_MyLogging("PLUGIN: Failed to send plugin command, was not registered.\n");
        return;
    }
    gl_MyLogging("PLUGIN: Sending plugin command to current channel: %s\n", p1);
    // Target mode 0: every client in the current channel.
    ts3Functions.sendPluginCommand(handler, id, p1, 0, nullptr, nullptr);
}

void ServerInfo(uint64 handler, const char* /*p1*/, const char* /*p2*/) {
    char host[kServerTextSize] = {};
    unsigned short port = 0;
    if (ts3Functions.getServerConnectInfo(handler, host, &port, nullptr, kServerTextSize) != ERROR_ok) {
        PrintToCurrentTab("No server connect info available.");
        return;
    }
    Terminate(host);
    char shown[kServerTextSize];
    CopyNameForMarkup(host, shown, sizeof shown - 1);
    char message[kServerTextSize * 2];
    const int length =
        std::snprintf(message, sizeof message, "Server Connect Info: %s:%d", shown, static_cast<int>(port));
    PrintCut(message, length, kServerTextSize - 1);
}

void ChannelInfo(uint64 handler, const char* /*p1*/, const char* /*p2*/) {
    anyID ownClientID = 0;
    if (!QueryOwnClientId(handler, &ownClientID)) return;
    uint64 channelID = 0;
    if (ts3Functions.getChannelOfClient(handler, ownClientID, &channelID) != ERROR_ok) {
        LogToClient("Error querying channel ID", LogLevel_ERROR, handler);
        return;
    }
    char path[kChannelTextSize] = {};
    if (ts3Functions.getChannelConnectInfo(handler, channelID, path, nullptr, kChannelTextSize) != ERROR_ok) {
        PrintToCurrentTab("No channel connect info available.");
        return;
    }
    Terminate(path);
    char shown[kChannelTextSize];
    CopyNameForMarkup(path, shown, sizeof shown - 1);
    char message[kChannelTextSize * 2];
    const int length = std::snprintf(message, sizeof message, "Channel Connect Info: %s", shown);
    PrintCut(message, length, kChannelTextSize - 1);
}

void Avatar(uint64 handler, const char* p1, const char* /*p2*/) {
    // Like "join", a missing client ID is answered with a hint rather than
    // a lookup of client 0.
    if (p1 == nullptr) {
        PrintToCurrentTab("Missing client ID parameter.");
        return;
    }
    const anyID clientID = ClientIdFrom(p1);
    char path[kAvatarPathSize] = {};
    const unsigned int error = ts3Functions.getAvatar(handler, clientID, path, kAvatarPathSize);
    Terminate(path);
    if (error == ERROR_ok) {
        if (path[0] != '\0') {
            gl_MyLogging("Avatar path: %s\n", path);
        } else {
            gl_MyLogging("Avatar not yet downloaded, waiting for onAvatarUpdated...\n");
        }
    } else if (error == ERROR_database_empty_result) {
        gl_MyLogging("Client has no avatar\n");
    } else {
        gl_MyLogging("Error getting avatar: %d\n", static_cast<int>(error));
    }
}

void EnableMenu(uint64 /*handler*/, const char* p1, const char* p2) {
    if (p1 == nullptr) {
        PrintToCurrentTab("Usage is: /test enablemenu <menuID> <0|1>");
        return;
    }
    const int menuID = ParseNumber(p1);
    const int enabled = p2 != nullptr ? ParseNumber(p2) : 0;
    // The client finds the menu by the plug-in's ID; without one there is
    // no menu of ours to change.
    const char* id = PluginId();
    if (id == nullptr) return;
    ts3Functions.setPluginMenuEnabled(id, menuID, enabled);
}

void Subscribe(uint64 handler, const char* p1, const char* /*p2*/) {
    if (p1 == nullptr) return;
    const uint64 channels[2] = {ChannelIdFrom(p1), 0};
    char returnCode[kReturnCodeSize];
    CreateReturnCode(returnCode);
    if (ts3Functions.requestChannelSubscribe(handler, channels, returnCode) != ERROR_ok)
        LogToClient("Error subscribing channel", LogLevel_INFO, handler);
}

void Unsubscribe(uint64 handler, const char* p1, const char* /*p2*/) {
    if (p1 == nullptr) return;
    const uint64 channels[2] = {ChannelIdFrom(p1), 0};
    char returnCode[kReturnCodeSize];
    CreateReturnCode(returnCode);
    if (ts3Functions.requestChannelUnsubscribe(handler, channels, returnCode) != ERROR_ok)
        LogToClient("Error unsubscribing channel", LogLevel_INFO, handler);
}

void SubscribeAll(uint64 handler, const char* /*p1*/, const char* /*p2*/) {
    char returnCode[kReturnCodeSize];
    CreateReturnCode(returnCode);
    if (ts3Functions.requestChannelSubscribeAll(handler, returnCode) != ERROR_ok)
        LogToClient("Error subscribing channel", LogLevel_INFO, handler);
}

void UnsubscribeAll(uint64 handler, const char* /*p1*/, const char* /*p2*/) {
    char returnCode[kReturnCodeSize];
    CreateReturnCode(returnCode);
    if (ts3Functions.requestChannelUnsubscribeAll(handler, returnCode) != ERROR_ok)
        LogToClient("Error unsubscribing channel", LogLevel_INFO, handler);
}

struct SubCommand {
    const char* word;  // compared exactly, case-sensitively
    void (*run)(uint64 handler, const char* p1, const char* p2);
};

constexpr SubCommand kSubCommands[] = {
    {"join", Join},
    {"command", Command},
    {"serverinfo", ServerInfo},
    {"channelinfo", ChannelInfo},
    {"avatar", Avatar},
    {"enablemenu", EnableMenu},
    {"subscribe", Subscribe},
    {"unsubscribe", Unsubscribe},
    {"subscribeall", SubscribeAll},
    {"unsubscribeall", UnsubscribeAll},
    {"pitch", PitchCommand},
};

const SubCommand* FindSubCommand(const char* word) {
    if (word == nullptr) return nullptr;
    for (const SubCommand& sub : kSubCommands)
        if (std::strcmp(sub.word, word) == 0) return &sub;
    return nullptr;
}

}  // namespace

int ts3plugin_processCommand(uint64 serverConnectionHandlerID, const char* command) {
    if (command == nullptr) command = "";
    gl_MyLogging("PLUGIN: process command: '%s'\n", command);

    // Longer text is cut to 127 bytes before it is split, never inside a
    // character: the words go to other clients and into passwords.
    char buffer[kCommandBufferSize];
    const std::size_t length =
        CutAtCharacter(command, strnlen(command, kCommandBufferSize), kCommandBufferSize - 1);
    std::memcpy(buffer, command, length);
    buffer[length] = '\0';

    const CommandWords words = SplitCommand(buffer);
    const SubCommand* sub = FindSubCommand(words.word);
    if (sub == nullptr) return 1;
    sub->run(serverConnectionHandlerID, words.p1, words.p2);
    return 0;
}
