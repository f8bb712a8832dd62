/* The table of client functions that the client hands to the plug-in through
 * ts3plugin_setFunctionPointers, by value. Later plug-in APIs only append
 * members or change the arguments of one; none is removed or moved:
 *   API 20 and 21  209 slots (1672 bytes on 64 bit); 21 passes the plug-in's
 *                  ID to getPluginPath
 *   API 22 and 23  210 (1680): notifyKeyEvent appended; 23 changes banadd
 *                  and requestBanList
 *   API 24         226 (1808)
 *   API 26         230 (1840)
 * Slots the plug-in never calls are placeholders of pointer size, named
 * after the slots they cover.
 *
 * Strings and ID lists returned through out-pointers belong to the plug-in
 * once received and are released with freeMemory. Members with an unsigned
 * result return 0 on success; out-parameters count only then. */
#ifndef MORINDALE_TS3_FUNCTIONS_H
#define MORINDALE_TS3_FUNCTIONS_H

#include "ts3_types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*TS3ReservedSlot)(void);

struct TS3Functions {
    unsigned int (*getClientLibVersion)(char** result);                      /* 0 */
    TS3ReservedSlot reserved1_4[4];
    unsigned int (*freeMemory)(void* pointer);                               /* 5 */
    unsigned int (*logMessage)(const char* logMessage, enum LogLevel severity,
                               const char* channel, uint64 logID);          /* 6 */
    TS3ReservedSlot reserved7_47[41];
    unsigned int (*requestClientMove)(uint64 serverConnectionHandlerID, anyID clientID,
                                      uint64 newChannelID, const char* password,
                                      const char* returnCode);              /* 48 */
    TS3ReservedSlot reserved49_58[10];
    unsigned int (*requestChannelSubscribe)(uint64 serverConnectionHandlerID,
                                            const uint64* channelIDArray,
                                            const char* returnCode);        /* 59 */
    unsigned int (*requestChannelSubscribeAll)(uint64 serverConnectionHandlerID,
                                               const char* returnCode);     /* 60 */
    unsigned int (*requestChannelUnsubscribe)(uint64 serverConnectionHandlerID,
                                              const uint64* channelIDArray,
                                              const char* returnCode);      /* 61 */
    unsigned int (*requestChannelUnsubscribeAll)(uint64 serverConnectionHandlerID,
                                                 const char* returnCode);   /* 62 */
    TS3ReservedSlot reserved63_72[10];
    unsigned int (*getClientID)(uint64 serverConnectionHandlerID, anyID* result); /* 73 */
    TS3ReservedSlot reserved74[1];
    unsigned int (*getClientSelfVariableAsString)(uint64 serverConnectionHandlerID,
                                                  size_t flag, char** result); /* 75 */
    TS3ReservedSlot reserved76_80[5];
    unsigned int (*getClientVariableAsString)(uint64 serverConnectionHandlerID,
                                              anyID clientID, size_t flag,
                                              char** result);               /* 81 */
    TS3ReservedSlot reserved82[1];
    unsigned int (*getChannelOfClient)(uint64 serverConnectionHandlerID, anyID clientID,
                                       uint64* result);                     /* 83 */
    TS3ReservedSlot reserved84_85[2];
    unsigned int (*getChannelVariableAsString)(uint64 serverConnectionHandlerID,
                                               uint64 channelID, size_t flag,
                                               char** result);              /* 86 */
    TS3ReservedSlot reserved87_92[6];
    unsigned int (*getChannelList)(uint64 serverConnectionHandlerID, uint64** result); /* 93 */
    TS3ReservedSlot reserved94_95[2];
    unsigned int (*getServerConnectionHandlerList)(uint64** result);         /* 96 */
    TS3ReservedSlot reserved97_98[2];
    unsigned int (*getServerVariableAsString)(uint64 serverConnectionHandlerID,
                                              size_t flag, char** result);  /* 99 */
    TS3ReservedSlot reserved100_137[38];
#if MORINDALE_PLUGIN_API >= 23
    unsigned int (*banadd)(uint64 serverConnectionHandlerID, const char* ipRegExp, const char* nameRegexp,
                           const char* uniqueIdentity, const char* mytsID, uint64 timeInSeconds,
                           const char* banReason, const char* returnCode); /* 138 */
#else
    unsigned int (*banadd)(uint64 serverConnectionHandlerID, const char* ipRegExp, const char* nameRegexp,
                           const char* uniqueIdentity, uint64 timeInSeconds, const char* banReason,
                           const char* returnCode);                         /* 138 */
#endif
    TS3ReservedSlot reserved139_141[3];
#if MORINDALE_PLUGIN_API >= 23
    unsigned int (*requestBanList)(uint64 serverConnectionHandlerID, uint64 start, unsigned int duration,
                                   const char* returnCode);                 /* 142 */
#else
    unsigned int (*requestBanList)(uint64 serverConnectionHandlerID, const char* returnCode); /* 142 */
#endif
    TS3ReservedSlot reserved143_178[36];
    void (*getAppPath)(char* path, size_t maxLen);                           /* 179 */
    void (*getResourcesPath)(char* path, size_t maxLen);                     /* 180 */
    void (*getConfigPath)(char* path, size_t maxLen);                        /* 181 */
#if MORINDALE_PLUGIN_API >= 21
    void (*getPluginPath)(char* path, size_t maxLen, const char* pluginID);  /* 182 */
#else
    void (*getPluginPath)(char* path, size_t maxLen);                        /* 182 */
#endif
    uint64 (*getCurrentServerConnectionHandlerID)(void);                     /* 183 */
    TS3ReservedSlot reserved184[1];
    void (*printMessageToCurrentTab)(const char* message);                   /* 185 */
    TS3ReservedSlot reserved186[1];
    void (*sendPluginCommand)(uint64 serverConnectionHandlerID, const char* pluginID,
                              const char* command, int targetMode,
                              const anyID* targetIDs, const char* returnCode); /* 187 */
    TS3ReservedSlot reserved188[1];
    unsigned int (*getServerConnectInfo)(uint64 scHandlerID, char* host,
                                         unsigned short* port, char* password,
                                         size_t maxLen);                    /* 189 */
    unsigned int (*getChannelConnectInfo)(uint64 scHandlerID, uint64 channelID,
                                          char* path, char* password,
                                          size_t maxLen);                   /* 190 */
    void (*createReturnCode)(const char* pluginID, char* returnCode, size_t maxLen); /* 191 */
    TS3ReservedSlot reserved192_195[4];
    unsigned int (*getAvatar)(uint64 scHandlerID, anyID clientID, char* result,
                              size_t maxLen);                               /* 196 */
    void (*setPluginMenuEnabled)(const char* pluginID, int menuID, int enabled); /* 197 */
    TS3ReservedSlot reserved198_200[3];
    unsigned int (*getClientDisplayName)(uint64 scHandlerID, anyID clientID,
                                         char* result, size_t maxLen);      /* 201 */
    TS3ReservedSlot reserved202_208[7];
#if MORINDALE_PLUGIN_API >= 22
    void (*notifyKeyEvent)(const char* pluginID, const char* keyIdentifier, int up_down); /* 209 */
#endif
#if MORINDALE_PLUGIN_API >= 24
    TS3ReservedSlot reserved210_225[16];
#endif
#if MORINDALE_PLUGIN_API >= 26
    TS3ReservedSlot reserved226_229[4];
#endif
};

#ifdef __cplusplus
}
#endif

#if MORINDALE_PLUGIN_API >= 26
#define TS3_FUNCTION_SLOTS 230
#elif MORINDALE_PLUGIN_API >= 24
#define TS3_FUNCTION_SLOTS 226
#elif MORINDALE_PLUGIN_API >= 22
#define TS3_FUNCTION_SLOTS 210
#else
#define TS3_FUNCTION_SLOTS 209
#endif

#if defined(__cplusplus) && !defined(MORINDALE_NO_LAYOUT_CHECKS)
#include <cstddef>
#define TS3_SLOT_CHECK(member, slot) \
    static_assert(offsetof(TS3Functions, member) == (slot) * sizeof(void*), #member " must sit in slot " #slot)
static_assert(sizeof(TS3Functions) == TS3_FUNCTION_SLOTS * sizeof(void*),
              "the client function table has a fixed size");
#if MORINDALE_PLUGIN_API >= 26
static_assert(sizeof(void*) != 8 || sizeof(TS3Functions) == 1840, "API 26 table is 1840 bytes");
#elif MORINDALE_PLUGIN_API >= 24
static_assert(sizeof(void*) != 8 || sizeof(TS3Functions) == 1808, "API 24 table is 1808 bytes");
#elif MORINDALE_PLUGIN_API >= 22
static_assert(sizeof(void*) != 8 || sizeof(TS3Functions) == 1680, "API 22 and 23 table is 1680 bytes");
#else
static_assert(sizeof(void*) != 8 || sizeof(TS3Functions) == 1672, "API 20 and 21 table is 1672 bytes");
#endif
TS3_SLOT_CHECK(getClientLibVersion, 0);
TS3_SLOT_CHECK(freeMemory, 5);
TS3_SLOT_CHECK(logMessage, 6);
TS3_SLOT_CHECK(requestClientMove, 48);
TS3_SLOT_CHECK(requestChannelSubscribe, 59);
TS3_SLOT_CHECK(requestChannelSubscribeAll, 60);
TS3_SLOT_CHECK(requestChannelUnsubscribe, 61);
TS3_SLOT_CHECK(requestChannelUnsubscribeAll, 62);
TS3_SLOT_CHECK(getClientID, 73);
TS3_SLOT_CHECK(getClientSelfVariableAsString, 75);
TS3_SLOT_CHECK(getClientVariableAsString, 81);
TS3_SLOT_CHECK(getChannelOfClient, 83);
TS3_SLOT_CHECK(getChannelVariableAsString, 86);
TS3_SLOT_CHECK(getChannelList, 93);
TS3_SLOT_CHECK(getServerConnectionHandlerList, 96);
TS3_SLOT_CHECK(getServerVariableAsString, 99);
TS3_SLOT_CHECK(banadd, 138);
TS3_SLOT_CHECK(requestBanList, 142);
TS3_SLOT_CHECK(getAppPath, 179);
TS3_SLOT_CHECK(getResourcesPath, 180);
TS3_SLOT_CHECK(getConfigPath, 181);
TS3_SLOT_CHECK(getPluginPath, 182);
TS3_SLOT_CHECK(getCurrentServerConnectionHandlerID, 183);
TS3_SLOT_CHECK(printMessageToCurrentTab, 185);
TS3_SLOT_CHECK(sendPluginCommand, 187);
TS3_SLOT_CHECK(getServerConnectInfo, 189);
TS3_SLOT_CHECK(getChannelConnectInfo, 190);
TS3_SLOT_CHECK(createReturnCode, 191);
TS3_SLOT_CHECK(getAvatar, 196);
TS3_SLOT_CHECK(setPluginMenuEnabled, 197);
TS3_SLOT_CHECK(getClientDisplayName, 201);
#if MORINDALE_PLUGIN_API >= 22
TS3_SLOT_CHECK(notifyKeyEvent, 209);
#endif
#undef TS3_SLOT_CHECK
#endif

#endif
