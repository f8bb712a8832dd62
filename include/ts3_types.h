/* Basic types of the TeamSpeak 3 client plug-in interface. */
#ifndef MORINDALE_TS3_TYPES_H
#define MORINDALE_TS3_TYPES_H

#include <stddef.h>
#include <stdint.h>

/* Plug-in API version the library is built against: 26 (TeamSpeak 3.6) by
 * default; 20, 21, 23 and 24 for the older client lines. */
#ifndef MORINDALE_PLUGIN_API
#define MORINDALE_PLUGIN_API 26
#endif
#if MORINDALE_PLUGIN_API < 20 || MORINDALE_PLUGIN_API > 26
#error "MORINDALE_PLUGIN_API must lie between 20 and 26"
#endif

typedef uint64_t uint64; /* connection handler and channel IDs */
typedef uint16_t anyID;  /* client IDs */

/* Error codes the plug-in tests for; 0 is success. */
enum {
    ERROR_ok = 0x0000,
    ERROR_database_empty_result = 0x0501, /* 1281: the query has no result */
    ERROR_not_connected = 0x0702          /* 1794: the tab is not connected */
};

enum LogLevel {
    LogLevel_CRITICAL = 0,
    LogLevel_ERROR = 1,
    LogLevel_WARNING = 2,
    LogLevel_DEBUG = 3,
    LogLevel_INFO = 4,
    LogLevel_DEVEL = 5
};

/* Connection states reported by onConnectStatusChangeEvent. */
enum ConnectStatus {
    STATUS_DISCONNECTED = 0,
    STATUS_CONNECTING = 1,
    STATUS_CONNECTED = 2,
    STATUS_CONNECTION_ESTABLISHING = 3,
    STATUS_CONNECTION_ESTABLISHED = 4
};

/* Flags of the captured-voice hook's edited word. */
enum {
    EDIT_FLAG_EDITED = 1,  /* set by the plug-in: the block was changed */
    EDIT_FLAG_SENDING = 2  /* set by the client: the block will be sent */
};

/* Property flags the plug-in queries. */
enum {
    CHANNEL_NAME = 0,
    VIRTUALSERVER_NAME = 1,
    VIRTUALSERVER_WELCOMEMESSAGE = 2,
    CLIENT_NICKNAME = 1
};

#endif
