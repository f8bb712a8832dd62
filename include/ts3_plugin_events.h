/* The client's event hooks, with the parameter lists of plug-in API 20
 * (what API 23 and later pass differently is marked). The client looks each one up by name and
 * calls it on its event threads, except where a group says otherwise.
 *
 * Memory: every string and array the client passes belongs to the client and
 * is valid only during the call; the plug-in neither frees nor keeps it.
 * Hooks with an int result: 0 lets the client go on as usual, 1 tells it the
 * plug-in has handled the event. */
#ifndef MORINDALE_TS3_PLUGIN_EVENTS_H
#define MORINDALE_TS3_PLUGIN_EVENTS_H

#include "ts3_plugin.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Connection and server. newStatus is a ConnectStatus; 4 runs the connection
 * diagnostics, which call the client and write to its log. */
MORINDALE_EXPORT void ts3plugin_onConnectStatusChangeEvent(uint64 serverConnectionHandlerID, int newStatus,
                                                           unsigned int errorNumber);
MORINDALE_EXPORT void ts3plugin_onServerEditedEvent(uint64 serverConnectionHandlerID, anyID editerID,
                                                    const char* editerName, const char* editerUniqueIdentifier);
MORINDALE_EXPORT void ts3plugin_onServerUpdatedEvent(uint64 serverConnectionHandlerID);
/* returnCode is null (or empty) unless the failed request was tagged with one. */
MORINDALE_EXPORT int ts3plugin_onServerErrorEvent(uint64 serverConnectionHandlerID, const char* errorMessage,
                                                  unsigned int error, const char* returnCode,
                                                  const char* extraMessage);
MORINDALE_EXPORT void ts3plugin_onServerStopEvent(uint64 serverConnectionHandlerID, const char* shutdownMessage);
MORINDALE_EXPORT void ts3plugin_onConnectionInfoEvent(uint64 serverConnectionHandlerID, anyID clientID);
MORINDALE_EXPORT void ts3plugin_onServerConnectionInfoEvent(uint64 serverConnectionHandlerID);
MORINDALE_EXPORT void ts3plugin_onServerLogEvent(uint64 serverConnectionHandlerID, const char* logMsg);
MORINDALE_EXPORT void ts3plugin_onServerLogFinishedEvent(uint64 serverConnectionHandlerID, uint64 lastPos,
                                                         uint64 fileSize);
MORINDALE_EXPORT void ts3plugin_onServerTemporaryPasswordListEvent(
    uint64 serverConnectionHandlerID, const char* clientNickname, const char* uniqueClientIdentifier,
    const char* description, const char* password, uint64 timestampStart, uint64 timestampEnd, uint64 channelID,
    const char* channelPW);
MORINDALE_EXPORT void ts3plugin_onIncomingClientQueryEvent(uint64 serverConnectionHandlerID,
                                                           const char* commandText);
/* Every line the client writes to its own log, on whichever thread wrote it. */
MORINDALE_EXPORT void ts3plugin_onUserLoggingMessageEvent(const char* logMessage, int logLevel,
                                                          const char* logChannel, uint64 logID,
                                                          const char* logTime, const char* completeLogString);

/* Channels. */
MORINDALE_EXPORT void ts3plugin_onNewChannelEvent(uint64 serverConnectionHandlerID, uint64 channelID,
                                                  uint64 channelParentID);
MORINDALE_EXPORT void ts3plugin_onNewChannelCreatedEvent(uint64 serverConnectionHandlerID, uint64 channelID,
                                                         uint64 channelParentID, anyID invokerID,
                                                         const char* invokerName,
                                                         const char* invokerUniqueIdentifier);
MORINDALE_EXPORT void ts3plugin_onDelChannelEvent(uint64 serverConnectionHandlerID, uint64 channelID,
                                                  anyID invokerID, const char* invokerName,
                                                  const char* invokerUniqueIdentifier);
MORINDALE_EXPORT void ts3plugin_onChannelMoveEvent(uint64 serverConnectionHandlerID, uint64 channelID,
                                                   uint64 newChannelParentID, anyID invokerID,
                                                   const char* invokerName, const char* invokerUniqueIdentifier);
MORINDALE_EXPORT void ts3plugin_onUpdateChannelEvent(uint64 serverConnectionHandlerID, uint64 channelID);
MORINDALE_EXPORT void ts3plugin_onUpdateChannelEditedEvent(uint64 serverConnectionHandlerID, uint64 channelID,
                                                           anyID invokerID, const char* invokerName,
                                                           const char* invokerUniqueIdentifier);
MORINDALE_EXPORT void ts3plugin_onChannelSubscribeEvent(uint64 serverConnectionHandlerID, uint64 channelID);
MORINDALE_EXPORT void ts3plugin_onChannelSubscribeFinishedEvent(uint64 serverConnectionHandlerID);
MORINDALE_EXPORT void ts3plugin_onChannelUnsubscribeEvent(uint64 serverConnectionHandlerID, uint64 channelID);
MORINDALE_EXPORT void ts3plugin_onChannelUnsubscribeFinishedEvent(uint64 serverConnectionHandlerID);
MORINDALE_EXPORT void ts3plugin_onChannelDescriptionUpdateEvent(uint64 serverConnectionHandlerID,
                                                                uint64 channelID);
MORINDALE_EXPORT void ts3plugin_onChannelPasswordChangedEvent(uint64 serverConnectionHandlerID, uint64 channelID);

/* Clients. */
MORINDALE_EXPORT void ts3plugin_onUpdateClientEvent(uint64 serverConnectionHandlerID, anyID clientID,
                                                    anyID invokerID, const char* invokerName,
                                                    const char* invokerUniqueIdentifier);
MORINDALE_EXPORT void ts3plugin_onClientMoveEvent(uint64 serverConnectionHandlerID, anyID clientID,
                                                  uint64 oldChannelID, uint64 newChannelID, int visibility,
                                                  const char* moveMessage);
MORINDALE_EXPORT void ts3plugin_onClientMoveSubscriptionEvent(uint64 serverConnectionHandlerID, anyID clientID,
                                                              uint64 oldChannelID, uint64 newChannelID,
                                                              int visibility);
MORINDALE_EXPORT void ts3plugin_onClientMoveTimeoutEvent(uint64 serverConnectionHandlerID, anyID clientID,
                                                         uint64 oldChannelID, uint64 newChannelID, int visibility,
                                                         const char* timeoutMessage);
MORINDALE_EXPORT void ts3plugin_onClientMoveMovedEvent(uint64 serverConnectionHandlerID, anyID clientID,
                                                       uint64 oldChannelID, uint64 newChannelID, int visibility,
                                                       anyID moverID, const char* moverName,
                                                       const char* moverUniqueIdentifier, const char* moveMessage);
MORINDALE_EXPORT void ts3plugin_onClientKickFromChannelEvent(uint64 serverConnectionHandlerID, anyID clientID,
                                                             uint64 oldChannelID, uint64 newChannelID,
                                                             int visibility, anyID kickerID, const char* kickerName,
                                                             const char* kickerUniqueIdentifier,
                                                             const char* kickMessage);
MORINDALE_EXPORT void ts3plugin_onClientKickFromServerEvent(uint64 serverConnectionHandlerID, anyID clientID,
                                                            uint64 oldChannelID, uint64 newChannelID,
                                                            int visibility, anyID kickerID, const char* kickerName,
                                                            const char* kickerUniqueIdentifier,
                                                            const char* kickMessage);
MORINDALE_EXPORT void ts3plugin_onClientIDsEvent(uint64 serverConnectionHandlerID,
                                                 const char* uniqueClientIdentifier, anyID clientID,
                                                 const char* clientName);
MORINDALE_EXPORT void ts3plugin_onClientIDsFinishedEvent(uint64 serverConnectionHandlerID);
MORINDALE_EXPORT void ts3plugin_onClientBanFromServerEvent(uint64 serverConnectionHandlerID, anyID clientID,
                                                           uint64 oldChannelID, uint64 newChannelID,
                                                           int visibility, anyID kickerID, const char* kickerName,
                                                           const char* kickerUniqueIdentifier, uint64 time,
                                                           const char* kickMessage);
MORINDALE_EXPORT void ts3plugin_onClientSelfVariableUpdateEvent(uint64 serverConnectionHandlerID, int flag,
                                                                const char* oldValue, const char* newValue);
MORINDALE_EXPORT void ts3plugin_onClientChatClosedEvent(uint64 serverConnectionHandlerID, anyID clientID,
                                                        const char* clientUniqueIdentity);
MORINDALE_EXPORT void ts3plugin_onClientChatComposingEvent(uint64 serverConnectionHandlerID, anyID clientID,
                                                           const char* clientUniqueIdentity);
MORINDALE_EXPORT void ts3plugin_onClientDBIDfromUIDEvent(uint64 serverConnectionHandlerID,
                                                         const char* uniqueClientIdentifier,
                                                         uint64 clientDatabaseID);
MORINDALE_EXPORT void ts3plugin_onClientNamefromUIDEvent(uint64 serverConnectionHandlerID,
                                                         const char* uniqueClientIdentifier,
                                                         uint64 clientDatabaseID, const char* clientNickName);
MORINDALE_EXPORT void ts3plugin_onClientNamefromDBIDEvent(uint64 serverConnectionHandlerID,
                                                          const char* uniqueClientIdentifier,
                                                          uint64 clientDatabaseID, const char* clientNickName);
MORINDALE_EXPORT void ts3plugin_onClientServerQueryLoginPasswordEvent(uint64 serverConnectionHandlerID,
                                                                      const char* loginPassword);
MORINDALE_EXPORT void ts3plugin_onClientChannelGroupChangedEvent(uint64 serverConnectionHandlerID,
                                                                 uint64 channelGroupID, uint64 channelID,
                                                                 anyID clientID, anyID invokerClientID,
                                                                 const char* invokerName,
                                                                 const char* invokerUniqueIdentity);

/* Chat, pokes, talking, plug-in commands, avatars. */
MORINDALE_EXPORT int ts3plugin_onTextMessageEvent(uint64 serverConnectionHandlerID, anyID targetMode, anyID toID,
                                                  anyID fromID, const char* fromName,
                                                  const char* fromUniqueIdentifier, const char* message,
                                                  int ffIgnored);
MORINDALE_EXPORT int ts3plugin_onClientPokeEvent(uint64 serverConnectionHandlerID, anyID fromClientID,
                                                 const char* pokerName, const char* pokerUniqueIdentity,
                                                 const char* message, int ffIgnored);
/* status 1: the client starts talking; asks the client for its display name. */
MORINDALE_EXPORT void ts3plugin_onTalkStatusChangeEvent(uint64 serverConnectionHandlerID, int status,
                                                        int isReceivedWhisper, anyID clientID);
/* From API 23 the client also passes who sent the command. */
#if MORINDALE_PLUGIN_API >= 23
MORINDALE_EXPORT void ts3plugin_onPluginCommandEvent(uint64 serverConnectionHandlerID, const char* pluginName,
                                                     const char* pluginCommand, anyID invokerClientID,
                                                     const char* invokerName, const char* invokerUniqueIdentity);
#else
MORINDALE_EXPORT void ts3plugin_onPluginCommandEvent(uint64 serverConnectionHandlerID, const char* pluginName,
                                                     const char* pluginCommand);
#endif
/* avatarPath null: the avatar was deleted. */
MORINDALE_EXPORT void ts3plugin_onAvatarUpdated(uint64 serverConnectionHandlerID, anyID clientID,
                                                const char* avatarPath);

/* Sound. The voice-data hooks run on the client's audio threads and must not
 * block; this plug-in leaves their samples as they are. */
MORINDALE_EXPORT void ts3plugin_onPlaybackShutdownCompleteEvent(uint64 serverConnectionHandlerID);
MORINDALE_EXPORT void ts3plugin_onSoundDeviceListChangedEvent(const char* modeID, int playOrCap);
MORINDALE_EXPORT void ts3plugin_onEditPlaybackVoiceDataEvent(uint64 serverConnectionHandlerID, anyID clientID,
                                                             short* samples, int sampleCount, int channels);
MORINDALE_EXPORT void ts3plugin_onEditPostProcessVoiceDataEvent(uint64 serverConnectionHandlerID, anyID clientID,
                                                                short* samples, int sampleCount, int channels,
                                                                const unsigned int* channelSpeakerArray,
                                                                unsigned int* channelFillMask);
MORINDALE_EXPORT void ts3plugin_onEditMixedPlaybackVoiceDataEvent(uint64 serverConnectionHandlerID,
                                                                  short* samples, int sampleCount, int channels,
                                                                  const unsigned int* channelSpeakerArray,
                                                                  unsigned int* channelFillMask);
MORINDALE_EXPORT void ts3plugin_onCustom3dRolloffCalculationWaveEvent(uint64 serverConnectionHandlerID,
                                                                      uint64 waveHandle, float distance,
                                                                      float* volume);

/* Files. */
MORINDALE_EXPORT void ts3plugin_onFileListEvent(uint64 serverConnectionHandlerID, uint64 channelID,
                                                const char* path, const char* name, uint64 size, uint64 datetime,
                                                int type, uint64 incompletesize, const char* returnCode);
MORINDALE_EXPORT void ts3plugin_onFileListFinishedEvent(uint64 serverConnectionHandlerID, uint64 channelID,
                                                        const char* path);
MORINDALE_EXPORT void ts3plugin_onFileInfoEvent(uint64 serverConnectionHandlerID, uint64 channelID,
                                                const char* name, uint64 size, uint64 datetime);
MORINDALE_EXPORT void ts3plugin_onFileTransferStatusEvent(anyID transferID, unsigned int status,
                                                          const char* statusMessage, uint64 remotefileSize,
                                                          uint64 serverConnectionHandlerID);

/* Groups and permissions. */
MORINDALE_EXPORT void ts3plugin_onServerGroupListEvent(uint64 serverConnectionHandlerID, uint64 serverGroupID,
                                                       const char* name, int type, int iconID, int saveDB);
MORINDALE_EXPORT void ts3plugin_onServerGroupListFinishedEvent(uint64 serverConnectionHandlerID);
MORINDALE_EXPORT void ts3plugin_onServerGroupByClientIDEvent(uint64 serverConnectionHandlerID, const char* name,
                                                             uint64 serverGroupList, uint64 clientDatabaseID);
MORINDALE_EXPORT void ts3plugin_onServerGroupPermListEvent(uint64 serverConnectionHandlerID, uint64 serverGroupID,
                                                           unsigned int permissionID, int permissionValue,
                                                           int permissionNegated, int permissionSkip);
MORINDALE_EXPORT void ts3plugin_onServerGroupPermListFinishedEvent(uint64 serverConnectionHandlerID,
                                                                   uint64 serverGroupID);
MORINDALE_EXPORT void ts3plugin_onServerGroupClientListEvent(uint64 serverConnectionHandlerID,
                                                             uint64 serverGroupID, uint64 clientDatabaseID,
                                                             const char* clientNameIdentifier,
                                                             const char* clientUniqueID);
MORINDALE_EXPORT void ts3plugin_onChannelGroupListEvent(uint64 serverConnectionHandlerID, uint64 channelGroupID,
                                                        const char* name, int type, int iconID, int saveDB);
MORINDALE_EXPORT void ts3plugin_onChannelGroupListFinishedEvent(uint64 serverConnectionHandlerID);
MORINDALE_EXPORT void ts3plugin_onChannelGroupPermListEvent(uint64 serverConnectionHandlerID,
                                                            uint64 channelGroupID, unsigned int permissionID,
                                                            int permissionValue, int permissionNegated,
                                                            int permissionSkip);
MORINDALE_EXPORT void ts3plugin_onChannelGroupPermListFinishedEvent(uint64 serverConnectionHandlerID,
                                                                    uint64 channelGroupID);
MORINDALE_EXPORT void ts3plugin_onChannelPermListEvent(uint64 serverConnectionHandlerID, uint64 channelID,
                                                       unsigned int permissionID, int permissionValue,
                                                       int permissionNegated, int permissionSkip);
MORINDALE_EXPORT void ts3plugin_onChannelPermListFinishedEvent(uint64 serverConnectionHandlerID, uint64 channelID);
MORINDALE_EXPORT void ts3plugin_onClientPermListEvent(uint64 serverConnectionHandlerID, uint64 clientDatabaseID,
                                                      unsigned int permissionID, int permissionValue,
                                                      int permissionNegated, int permissionSkip);
MORINDALE_EXPORT void ts3plugin_onClientPermListFinishedEvent(uint64 serverConnectionHandlerID,
                                                              uint64 clientDatabaseID);
MORINDALE_EXPORT void ts3plugin_onChannelClientPermListEvent(uint64 serverConnectionHandlerID, uint64 channelID,
                                                             uint64 clientDatabaseID, unsigned int permissionID,
                                                             int permissionValue, int permissionNegated,
                                                             int permissionSkip);
MORINDALE_EXPORT void ts3plugin_onChannelClientPermListFinishedEvent(uint64 serverConnectionHandlerID,
                                                                     uint64 channelID, uint64 clientDatabaseID);
MORINDALE_EXPORT void ts3plugin_onPermissionListGroupEndIDEvent(uint64 serverConnectionHandlerID,
                                                                unsigned int groupEndID);
MORINDALE_EXPORT void ts3plugin_onPermissionListEvent(uint64 serverConnectionHandlerID, unsigned int permissionID,
                                                      const char* permissionName,
                                                      const char* permissionDescription);
MORINDALE_EXPORT void ts3plugin_onPermissionListFinishedEvent(uint64 serverConnectionHandlerID);
MORINDALE_EXPORT void ts3plugin_onPermissionOverviewEvent(uint64 serverConnectionHandlerID,
                                                          uint64 clientDatabaseID, uint64 channelID,
                                                          int overviewType, uint64 overviewID1,
                                                          uint64 overviewID2, unsigned int permissionID,
                                                          int permissionValue, int permissionNegated,
                                                          int permissionSkip);
MORINDALE_EXPORT void ts3plugin_onPermissionOverviewFinishedEvent(uint64 serverConnectionHandlerID);
MORINDALE_EXPORT void ts3plugin_onServerGroupClientAddedEvent(uint64 serverConnectionHandlerID, anyID clientID,
                                                              const char* clientName,
                                                              const char* clientUniqueIdentity,
                                                              uint64 serverGroupID, anyID invokerClientID,
                                                              const char* invokerName,
                                                              const char* invokerUniqueIdentity);
MORINDALE_EXPORT void ts3plugin_onServerGroupClientDeletedEvent(uint64 serverConnectionHandlerID, anyID clientID,
                                                                const char* clientName,
                                                                const char* clientUniqueIdentity,
                                                                uint64 serverGroupID, anyID invokerClientID,
                                                                const char* invokerName,
                                                                const char* invokerUniqueIdentity);
MORINDALE_EXPORT void ts3plugin_onClientNeededPermissionsEvent(uint64 serverConnectionHandlerID,
                                                               unsigned int permissionID, int permissionValue);
MORINDALE_EXPORT void ts3plugin_onClientNeededPermissionsFinishedEvent(uint64 serverConnectionHandlerID);
MORINDALE_EXPORT int ts3plugin_onServerPermissionErrorEvent(uint64 serverConnectionHandlerID,
                                                            const char* errorMessage, unsigned int error,
                                                            const char* returnCode,
                                                            unsigned int failedPermissionID);

/* Offline messages, complaints and bans. */
MORINDALE_EXPORT void ts3plugin_onMessageListEvent(uint64 serverConnectionHandlerID, uint64 messageID,
                                                   const char* fromClientUniqueIdentity, const char* subject,
                                                   uint64 timestamp, int flagRead);
MORINDALE_EXPORT void ts3plugin_onMessageGetEvent(uint64 serverConnectionHandlerID, uint64 messageID,
                                                  const char* fromClientUniqueIdentity, const char* subject,
                                                  const char* message, uint64 timestamp);
MORINDALE_EXPORT void ts3plugin_onComplainListEvent(uint64 serverConnectionHandlerID,
                                                    uint64 targetClientDatabaseID,
                                                    const char* targetClientNickName,
                                                    uint64 fromClientDatabaseID, const char* fromClientNickName,
                                                    const char* complainReason, uint64 timestamp);
#if MORINDALE_PLUGIN_API >= 23
/* From API 23 the client also passes the banned client's myTeamSpeak ID, after uid. */
MORINDALE_EXPORT void ts3plugin_onBanListEvent(uint64 serverConnectionHandlerID, uint64 banid, const char* ip,
                                               const char* name, const char* uid, const char* mytsid,
                                               uint64 creationTime, uint64 durationTime, const char* invokerName,
                                               uint64 invokercldbid, const char* invokeruid, const char* reason,
                                               int numberOfEnforcements, const char* lastNickName);
#else
MORINDALE_EXPORT void ts3plugin_onBanListEvent(uint64 serverConnectionHandlerID, uint64 banid, const char* ip,
                                               const char* name, const char* uid, uint64 creationTime,
                                               uint64 durationTime, const char* invokerName, uint64 invokercldbid,
                                               const char* invokeruid, const char* reason,
                                               int numberOfEnforcements, const char* lastNickName);
#endif

#ifdef __cplusplus
}
#endif

#endif
