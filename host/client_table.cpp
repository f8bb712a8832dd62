#include "client_table.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "client_emulator.h"

namespace morindale_host {
namespace {

int g_apiVersion = 20;

std::string Text(const char* s) { return s != nullptr ? std::string(s) : std::string("(null)"); }
template <typename T>
std::string Num(T value) { return std::to_string(value); }

std::string IdList(const uint64* list) {
    if (list == nullptr) return "(null)";
    std::string out = "{";
    for (std::size_t i = 0;; ++i) {
        out += std::to_string(list[i]);
        if (list[i] == 0 || i > 1000) break;
        out += ",";
    }
    return out + "}";
}

ClientEmulator& Emu() {
    ClientEmulator* emulator = ClientEmulator::active();
    if (emulator == nullptr) {
        std::fprintf(stderr, "client emulator: the plug-in called the client with no emulator active\n");
        std::abort();
    }
    return *emulator;
}

// Copies text into a client-owned block handed to the plug-in.
char* ClientString(const std::string& text) {
    char* block = static_cast<char*>(Emu().allocateClientBlock(text.size() + 1));
    std::memcpy(block, text.c_str(), text.size() + 1);
    return block;
}

uint64* ClientIdList(const std::vector<uint64>& ids) {
    auto* block = static_cast<uint64*>(Emu().allocateClientBlock((ids.size() + 1) * sizeof(uint64)));
    for (std::size_t i = 0; i < ids.size(); ++i) block[i] = ids[i];
    block[ids.size()] = 0;
    return block;
}

void CopyOut(const std::string& text, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) return;
    std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

template <typename T>
std::string Lookup(const std::map<T, std::string>& map, T key, const std::string& fallback) {
    auto it = map.find(key);
    return it != map.end() ? it->second : fallback;
}

// --- Named members ---------------------------------------------------------

unsigned int getClientLibVersion(char** result) {
    unsigned int rc = Emu().record({"getClientLibVersion", {}});
    if (rc == 0 && result != nullptr) *result = ClientString(Emu().data().clientLibVersion);
    return rc;
}

unsigned int freeMemory(void* pointer) {
    Emu().record({"freeMemory", {}});
    return Emu().freeClientBlock(pointer);
}

unsigned int logMessage(const char* message, LogLevel severity, const char* channel, uint64 logID) {
    return Emu().record({"logMessage", {Text(message), Num(static_cast<int>(severity)), Text(channel), Num(logID)}});
}

unsigned int requestClientMove(uint64 h, anyID clientID, uint64 channelID, const char* password,
                               const char* returnCode) {
    return Emu().record({"requestClientMove", {Num(h), Num(clientID), Num(channelID), Text(password), Text(returnCode)}});
}

unsigned int requestChannelSubscribe(uint64 h, const uint64* channels, const char* returnCode) {
    return Emu().record({"requestChannelSubscribe", {Num(h), IdList(channels), Text(returnCode)}});
}

unsigned int requestChannelSubscribeAll(uint64 h, const char* returnCode) {
    return Emu().record({"requestChannelSubscribeAll", {Num(h), Text(returnCode)}});
}

unsigned int requestChannelUnsubscribe(uint64 h, const uint64* channels, const char* returnCode) {
    return Emu().record({"requestChannelUnsubscribe", {Num(h), IdList(channels), Text(returnCode)}});
}

unsigned int requestChannelUnsubscribeAll(uint64 h, const char* returnCode) {
    return Emu().record({"requestChannelUnsubscribeAll", {Num(h), Text(returnCode)}});
}

unsigned int getClientID(uint64 h, anyID* result) {
    unsigned int rc = Emu().record({"getClientID", {Num(h)}});
    if (rc == 0 && result != nullptr) *result = Emu().data().ownClientID;
    return rc;
}

unsigned int getClientSelfVariableAsString(uint64 h, std::size_t flag, char** result) {
    unsigned int rc = Emu().record({"getClientSelfVariableAsString", {Num(h), Num(flag)}});
    if (rc == 0 && result != nullptr) *result = ClientString(Emu().data().ownNickname);
    return rc;
}

unsigned int getClientVariableAsString(uint64 h, anyID clientID, std::size_t flag, char** result) {
    unsigned int rc = Emu().record({"getClientVariableAsString", {Num(h), Num(clientID), Num(flag)}});
    if (rc == 0 && result != nullptr)
        *result = ClientString(Lookup(Emu().data().clientNicknames, clientID, "Client " + Num(clientID)));
    return rc;
}

unsigned int getChannelOfClient(uint64 h, anyID clientID, uint64* result) {
    unsigned int rc = Emu().record({"getChannelOfClient", {Num(h), Num(clientID)}});
    if (rc == 0 && result != nullptr) *result = Emu().data().channelOfClient;
    return rc;
}

unsigned int getChannelVariableAsString(uint64 h, uint64 channelID, std::size_t flag, char** result) {
    unsigned int rc = Emu().record({"getChannelVariableAsString", {Num(h), Num(channelID), Num(flag)}});
    if (rc == 0 && result != nullptr)
        *result = ClientString(Lookup(Emu().data().channelNames, channelID, "Channel " + Num(channelID)));
    return rc;
}

unsigned int getChannelList(uint64 h, uint64** result) {
    unsigned int rc = Emu().record({"getChannelList", {Num(h)}});
    if (rc == 0 && result != nullptr) *result = ClientIdList(Emu().data().channelList);
    return rc;
}

unsigned int getServerConnectionHandlerList(uint64** result) {
    unsigned int rc = Emu().record({"getServerConnectionHandlerList", {}});
    if (rc == 0 && result != nullptr) *result = ClientIdList(Emu().data().serverConnectionHandlers);
    return rc;
}

unsigned int getServerVariableAsString(uint64 h, std::size_t flag, char** result) {
    unsigned int rc = Emu().record({"getServerVariableAsString", {Num(h), Num(flag)}});
    if (rc == 0 && result != nullptr) {
        const ClientData& data = Emu().data();
        std::string value = Lookup(data.serverVariables, flag, std::string());
        if (flag == VIRTUALSERVER_NAME) value = Lookup(data.serverNamesByHandler, h, value);
        *result = ClientString(value);
    }
    return rc;
}

void getAppPath(char* path, std::size_t maxLen) {
    Emu().record({"getAppPath", {Num(maxLen)}});
    CopyOut(Emu().data().appPath, path, maxLen);
}

void getResourcesPath(char* path, std::size_t maxLen) {
    Emu().record({"getResourcesPath", {Num(maxLen)}});
    CopyOut(Emu().data().resourcesPath, path, maxLen);
}

void getConfigPath(char* path, std::size_t maxLen) {
    Emu().record({"getConfigPath", {Num(maxLen)}});
    CopyOut(Emu().data().configPath, path, maxLen);
}

// From API 21 the plug-in passes its ID as a third argument; API 20 passes
// none, and the register holding it is then not looked at.
void getPluginPath(char* path, std::size_t maxLen, const char* pluginID) {
    if (g_apiVersion >= 21) {
        Emu().record({"getPluginPath", {Num(maxLen), Text(pluginID)}});
        if (pluginID == nullptr || Emu().registeredID().empty() || Emu().registeredID() != pluginID)
            Emu().addProblem("getPluginPath called without the registered plug-in ID");
    } else {
        Emu().record({"getPluginPath", {Num(maxLen)}});
    }
    CopyOut(Emu().data().pluginPath, path, maxLen);
}

// API 20's two-argument form, so that the plug-in calls a function of the
// type it declares (clang's -fsanitize=function checks this).
void getPluginPathApi20(char* path, std::size_t maxLen) { getPluginPath(path, maxLen, nullptr); }

uint64 getCurrentServerConnectionHandlerID() {
    Emu().record({"getCurrentServerConnectionHandlerID", {}});
    return Emu().data().currentServerConnectionHandlerID;
}

void printMessageToCurrentTab(const char* message) { Emu().record({"printMessageToCurrentTab", {Text(message)}}); }

void sendPluginCommand(uint64 h, const char* pluginID, const char* command, int targetMode, const anyID* targetIDs,
                       const char* returnCode) {
    Emu().record({"sendPluginCommand", {Num(h), Text(pluginID), Text(command), Num(targetMode),
                                        targetIDs == nullptr ? "(null)" : "(list)", Text(returnCode)}});
}

unsigned int getServerConnectInfo(uint64 h, char* host, unsigned short* port, char* password, std::size_t maxLen) {
    unsigned int rc = Emu().record({"getServerConnectInfo", {Num(h), password == nullptr ? "(null)" : "(buffer)", Num(maxLen)}});
    if (rc == 0) {
        CopyOut(Emu().data().serverHost, host, maxLen);
        if (port != nullptr) *port = Emu().data().serverPort;
    }
    return rc;
}

unsigned int getChannelConnectInfo(uint64 h, uint64 channelID, char* path, char* password, std::size_t maxLen) {
    unsigned int rc = Emu().record({"getChannelConnectInfo", {Num(h), Num(channelID), password == nullptr ? "(null)" : "(buffer)", Num(maxLen)}});
    if (rc == 0) CopyOut(Emu().data().channelPath, path, maxLen);
    return rc;
}

void createReturnCode(const char* pluginID, char* returnCode, std::size_t maxLen) {
    Emu().record({"createReturnCode", {Text(pluginID), Num(maxLen)}});
    CopyOut(Emu().data().returnCode, returnCode, maxLen);
}

unsigned int getAvatar(uint64 h, anyID clientID, char* result, std::size_t maxLen) {
    unsigned int rc = Emu().record({"getAvatar", {Num(h), Num(clientID), Num(maxLen)}});
    if (rc == 0) CopyOut(Lookup(Emu().data().avatars, clientID, std::string()), result, maxLen);
    return rc;
}

void setPluginMenuEnabled(const char* pluginID, int menuID, int enabled) {
    Emu().record({"setPluginMenuEnabled", {Text(pluginID), Num(menuID), Num(enabled)}});
}

unsigned int getClientDisplayName(uint64 h, anyID clientID, char* result, std::size_t maxLen) {
    unsigned int rc = Emu().record({"getClientDisplayName", {Num(h), Num(clientID), Num(maxLen)}});
    if (rc == 0) {
        const ClientData& data = Emu().data();
        CopyOut(Lookup(data.displayNames, clientID, Lookup(data.clientNicknames, clientID, "Client " + Num(clientID))),
                result, maxLen);
    }
    return rc;
}

// --- Unnamed slots -----------------------------------------------------------

template <std::size_t N>
void UnnamedSlot() {
    std::fprintf(stderr, "client emulator: the plug-in called unnamed slot %zu of the client function table\n", N);
    std::fflush(stderr);
    std::abort();
}

template <std::size_t... N>
void FillTraps(std::vector<void*>& table, std::index_sequence<N...>) {
    ((N < table.size() ? (table[N] = reinterpret_cast<void*>(&UnnamedSlot<N>)) : nullptr), ...);
}

template <typename F>
void* Ptr(F* function) {
    return reinterpret_cast<void*>(function);
}

}  // namespace

std::vector<void*> BuildClientTable(std::size_t slots, int apiVersion) {
    g_apiVersion = apiVersion;
    std::vector<void*> table(slots, nullptr);
    FillTraps(table, std::make_index_sequence<kSlotsApi26>());
    table[SLOT_getClientLibVersion] = Ptr(&getClientLibVersion);
    table[SLOT_freeMemory] = Ptr(&freeMemory);
    table[SLOT_logMessage] = Ptr(&logMessage);
    table[SLOT_requestClientMove] = Ptr(&requestClientMove);
    table[SLOT_requestChannelSubscribe] = Ptr(&requestChannelSubscribe);
    table[SLOT_requestChannelSubscribeAll] = Ptr(&requestChannelSubscribeAll);
    table[SLOT_requestChannelUnsubscribe] = Ptr(&requestChannelUnsubscribe);
    table[SLOT_requestChannelUnsubscribeAll] = Ptr(&requestChannelUnsubscribeAll);
    table[SLOT_getClientID] = Ptr(&getClientID);
    table[SLOT_getClientSelfVariableAsString] = Ptr(&getClientSelfVariableAsString);
    table[SLOT_getClientVariableAsString] = Ptr(&getClientVariableAsString);
    table[SLOT_getChannelOfClient] = Ptr(&getChannelOfClient);
    table[SLOT_getChannelVariableAsString] = Ptr(&getChannelVariableAsString);
    table[SLOT_getChannelList] = Ptr(&getChannelList);
    table[SLOT_getServerConnectionHandlerList] = Ptr(&getServerConnectionHandlerList);
    table[SLOT_getServerVariableAsString] = Ptr(&getServerVariableAsString);
    table[SLOT_getAppPath] = Ptr(&getAppPath);
    table[SLOT_getResourcesPath] = Ptr(&getResourcesPath);
    table[SLOT_getConfigPath] = Ptr(&getConfigPath);
    table[SLOT_getPluginPath] = apiVersion >= 21 ? Ptr(&getPluginPath) : Ptr(&getPluginPathApi20);
    table[SLOT_getCurrentServerConnectionHandlerID] = Ptr(&getCurrentServerConnectionHandlerID);
    table[SLOT_printMessageToCurrentTab] = Ptr(&printMessageToCurrentTab);
    table[SLOT_sendPluginCommand] = Ptr(&sendPluginCommand);
    table[SLOT_getServerConnectInfo] = Ptr(&getServerConnectInfo);
    table[SLOT_getChannelConnectInfo] = Ptr(&getChannelConnectInfo);
    table[SLOT_createReturnCode] = Ptr(&createReturnCode);
    table[SLOT_getAvatar] = Ptr(&getAvatar);
    table[SLOT_setPluginMenuEnabled] = Ptr(&setPluginMenuEnabled);
    table[SLOT_getClientDisplayName] = Ptr(&getClientDisplayName);
    return table;
}

}  // namespace morindale_host
