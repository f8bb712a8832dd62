// The function table that the emulated client hands to the plug-in.
#pragma once

#include <cstddef>
#include <vector>

namespace morindale_host {

// Slot numbers of the members the plug-in may call; the same in every API.
enum ClientSlot : std::size_t {
    SLOT_getClientLibVersion = 0,
    SLOT_freeMemory = 5,
    SLOT_logMessage = 6,
    SLOT_requestClientMove = 48,
    SLOT_requestChannelSubscribe = 59,
    SLOT_requestChannelSubscribeAll = 60,
    SLOT_requestChannelUnsubscribe = 61,
    SLOT_requestChannelUnsubscribeAll = 62,
    SLOT_getClientID = 73,
    SLOT_getClientSelfVariableAsString = 75,
    SLOT_getClientVariableAsString = 81,
    SLOT_getChannelOfClient = 83,
    SLOT_getChannelVariableAsString = 86,
    SLOT_getChannelList = 93,
    SLOT_getServerConnectionHandlerList = 96,
    SLOT_getServerVariableAsString = 99,
    SLOT_getAppPath = 179,
    SLOT_getResourcesPath = 180,
    SLOT_getConfigPath = 181,
    SLOT_getPluginPath = 182,
    SLOT_getCurrentServerConnectionHandlerID = 183,
    SLOT_printMessageToCurrentTab = 185,
    SLOT_sendPluginCommand = 187,
    SLOT_getServerConnectInfo = 189,
    SLOT_getChannelConnectInfo = 190,
    SLOT_createReturnCode = 191,
    SLOT_getAvatar = 196,
    SLOT_setPluginMenuEnabled = 197,
    SLOT_getClientDisplayName = 201,
};

// The table's length in each plug-in API: members are only ever appended.
constexpr std::size_t kSlotsApi20 = 209;  // API 20 and 21
constexpr std::size_t kSlotsApi22 = 210;  // API 22 and 23: notifyKeyEvent
constexpr std::size_t kSlotsApi24 = 226;
constexpr std::size_t kSlotsApi26 = 230;
constexpr std::size_t SlotsOfApi(int apiVersion) {
    return apiVersion >= 26 ? kSlotsApi26 : apiVersion >= 24 ? kSlotsApi24 : apiVersion >= 22 ? kSlotsApi22 : kSlotsApi20;
}

// A table of `slots` pointers: named slots record and answer through the
// active emulator, every other slot aborts with its number.
std::vector<void*> BuildClientTable(std::size_t slots, int apiVersion);

}  // namespace morindale_host
