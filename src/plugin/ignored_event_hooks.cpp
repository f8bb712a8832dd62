// Event hooks the plug-in exports but ignores: the client looks each one up
// and calls it, and each returns at once without calling back, writing
// anything or touching its arguments. The voice-data hooks thereby leave the
// client's samples exactly as they were.
#include "ts3_plugin.h"

// Connection and server.
void ts3plugin_onServerEditedEvent(uint64, anyID, const char*, const char*) {}
void ts3plugin_onServerUpdatedEvent(uint64) {}
void ts3plugin_onServerStopEvent(uint64, const char*) {}
void ts3plugin_onConnectionInfoEvent(uint64, anyID) {}
void ts3plugin_onServerConnectionInfoEvent(uint64) {}
void ts3plugin_onServerLogEvent(uint64, const char*) {}
void ts3plugin_onServerLogFinishedEvent(uint64, uint64, uint64) {}
void ts3plugin_onServerTemporaryPasswordListEvent(uint64, const char*, const char*, const char*, const char*, uint64,
                                                  uint64, uint64, const char*) {}
void ts3plugin_onIncomingClientQueryEvent(uint64, const char*) {}
void ts3plugin_onUserLoggingMessageEvent(const char*, int, const char*, uint64, const char*, const char*) {}

// Channels.
void ts3plugin_onNewChannelEvent(uint64, uint64, uint64) {}
void ts3plugin_onNewChannelCreatedEvent(uint64, uint64, uint64, anyID, const char*, const char*) {}
void ts3plugin_onDelChannelEvent(uint64, uint64, anyID, const char*, const char*) {}
void ts3plugin_onChannelMoveEvent(uint64, uint64, uint64, anyID, const char*, const char*) {}
void ts3plugin_onUpdateChannelEvent(uint64, uint64) {}
void ts3plugin_onUpdateChannelEditedEvent(uint64, uint64, anyID, const char*, const char*) {}
void ts3plugin_onChannelSubscribeEvent(uint64, uint64) {}
void ts3plugin_onChannelSubscribeFinishedEvent(uint64) {}
void ts3plugin_onChannelUnsubscribeEvent(uint64, uint64) {}
void ts3plugin_onChannelUnsubscribeFinishedEvent(uint64) {}
void ts3plugin_onChannelDescriptionUpdateEvent(uint64, uint64) {}
void ts3plugin_onChannelPasswordChangedEvent(uint64, uint64) {}

// Clients.
void ts3plugin_onUpdateClientEvent(uint64, anyID, anyID, const char*, const char*) {}
void ts3plugin_onClientMoveEvent(uint64, anyID, uint64, uint64, int, const char*) {}
void ts3plugin_onClientMoveSubscriptionEvent(uint64, anyID, uint64, uint64, int) {}
void ts3plugin_onClientMoveTimeoutEvent(uint64, anyID, uint64, uint64, int, const char*) {}
void ts3plugin_onClientMoveMovedEvent(uint64, anyID, uint64, uint64, int, anyID, const char*, const char*,
                                      const char*) {}
void ts3plugin_onClientKickFromChannelEvent(uint64, anyID, uint64, uint64, int, anyID, const char*, const char*,
                                            const char*) {}
void ts3plugin_onClientKickFromServerEvent(uint64, anyID, uint64, uint64, int, anyID, const char*, const char*,
                                           const char*) {}
void ts3plugin_onClientIDsEvent(uint64, const char*, anyID, const char*) {}
void ts3plugin_onClientIDsFinishedEvent(uint64) {}
void ts3plugin_onClientBanFromServerEvent(uint64, anyID, uint64, uint64, int, anyID, const char*, const char*, uint64,
                                          const char*) {}
void ts3plugin_onClientSelfVariableUpdateEvent(uint64, int, const char*, const char*) {}
void ts3plugin_onClientChatClosedEvent(uint64, anyID, const char*) {}
void ts3plugin_onClientChatComposingEvent(uint64, anyID, const char*) {}
void ts3plugin_onClientDBIDfromUIDEvent(uint64, const char*, uint64) {}
void ts3plugin_onClientNamefromUIDEvent(uint64, const char*, uint64, const char*) {}
void ts3plugin_onClientNamefromDBIDEvent(uint64, const char*, uint64, const char*) {}
void ts3plugin_onClientServerQueryLoginPasswordEvent(uint64, const char*) {}
void ts3plugin_onClientChannelGroupChangedEvent(uint64, uint64, uint64, anyID, anyID, const char*, const char*) {}

// Sound.
void ts3plugin_onPlaybackShutdownCompleteEvent(uint64) {}
void ts3plugin_onSoundDeviceListChangedEvent(const char*, int) {}
void ts3plugin_onEditPlaybackVoiceDataEvent(uint64, anyID, short*, int, int) {}
void ts3plugin_onEditPostProcessVoiceDataEvent(uint64, anyID, short*, int, int, const unsigned int*, unsigned int*) {}
void ts3plugin_onEditMixedPlaybackVoiceDataEvent(uint64, short*, int, int, const unsigned int*, unsigned int*) {}
void ts3plugin_onCustom3dRolloffCalculationWaveEvent(uint64, uint64, float, float*) {}

// Files.
void ts3plugin_onFileListEvent(uint64, uint64, const char*, const char*, uint64, uint64, int, uint64, const char*) {}
void ts3plugin_onFileListFinishedEvent(uint64, uint64, const char*) {}
void ts3plugin_onFileInfoEvent(uint64, uint64, const char*, uint64, uint64) {}
void ts3plugin_onFileTransferStatusEvent(anyID, unsigned int, const char*, uint64, uint64) {}

// Groups and permissions.
void ts3plugin_onServerGroupListEvent(uint64, uint64, const char*, int, int, int) {}
void ts3plugin_onServerGroupListFinishedEvent(uint64) {}
void ts3plugin_onServerGroupByClientIDEvent(uint64, const char*, uint64, uint64) {}
void ts3plugin_onServerGroupPermListEvent(uint64, uint64, unsigned int, int, int, int) {}
void ts3plugin_onServerGroupPermListFinishedEvent(uint64, uint64) {}
void ts3plugin_onServerGroupClientListEvent(uint64, uint64, uint64, const char*, const char*) {}
void ts3plugin_onChannelGroupListEvent(uint64, uint64, const char*, int, int, int) {}
void ts3plugin_onChannelGroupListFinishedEvent(uint64) {}
void ts3plugin_onChannelGroupPermListEvent(uint64, uint64, unsigned int, int, int, int) {}
void ts3plugin_onChannelGroupPermListFinishedEvent(uint64, uint64) {}
void ts3plugin_onChannelPermListEvent(uint64, uint64, unsigned int, int, int, int) {}
void ts3plugin_onChannelPermListFinishedEvent(uint64, uint64) {}
void ts3plugin_onClientPermListEvent(uint64, uint64, unsigned int, int, int, int) {}
void ts3plugin_onClientPermListFinishedEvent(uint64, uint64) {}
void ts3plugin_onChannelClientPermListEvent(uint64, uint64, uint64, unsigned int, int, int, int) {}
void ts3plugin_onChannelClientPermListFinishedEvent(uint64, uint64, uint64) {}
void ts3plugin_onPermissionListGroupEndIDEvent(uint64, unsigned int) {}
void ts3plugin_onPermissionListEvent(uint64, unsigned int, const char*, const char*) {}
void ts3plugin_onPermissionListFinishedEvent(uint64) {}
void ts3plugin_onPermissionOverviewEvent(uint64, uint64, uint64, int, uint64, uint64, unsigned int, int, int, int) {}
void ts3plugin_onPermissionOverviewFinishedEvent(uint64) {}
void ts3plugin_onServerGroupClientAddedEvent(uint64, anyID, const char*, const char*, uint64, anyID, const char*,
                                             const char*) {}
void ts3plugin_onServerGroupClientDeletedEvent(uint64, anyID, const char*, const char*, uint64, anyID, const char*,
                                               const char*) {}
void ts3plugin_onClientNeededPermissionsEvent(uint64, unsigned int, int) {}
void ts3plugin_onClientNeededPermissionsFinishedEvent(uint64) {}

// Offline messages, complaints and bans.
void ts3plugin_onMessageListEvent(uint64, uint64, const char*, const char*, uint64, int) {}
void ts3plugin_onMessageGetEvent(uint64, uint64, const char*, const char*, const char*, uint64) {}
void ts3plugin_onComplainListEvent(uint64, uint64, const char*, uint64, const char*, const char*, uint64) {}
#if MORINDALE_PLUGIN_API >= 23
void ts3plugin_onBanListEvent(uint64, uint64, const char*, const char*, const char*, const char*, uint64, uint64,
                              const char*, uint64, const char*, const char*, int, const char*) {}
#else
void ts3plugin_onBanListEvent(uint64, uint64, const char*, const char*, const char*, uint64, uint64, const char*,
                              uint64, const char*, const char*, int, const char*) {}
#endif
