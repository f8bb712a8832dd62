// Identity and lifecycle entry points: the client identifies the plug-in,
// hands over its function table, initialises, registers, informs it of
// server-tab changes and shuts it down.
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "actions.h"
#include "audio/monitor.h"
#include "catalogue.h"
#include "debug_log.h"
#include "home_dir.h"
#include "net/update_check.h"
#include "plugin_state.h"
#include "settings.h"
#include "ts3_plugin.h"
#include "voice_processing.h"

namespace {

constexpr std::size_t kClientPathSize = 512;

void LogClientPaths() {
    char appPath[kClientPathSize] = "";
    char resourcesPath[kClientPathSize] = "";
    char configPath[kClientPathSize] = "";
    char pluginPath[kClientPathSize] = "";
    ts3Functions.getAppPath(appPath, kClientPathSize);
    ts3Functions.getResourcesPath(resourcesPath, kClientPathSize);
    ts3Functions.getConfigPath(configPath, kClientPathSize);
#if MORINDALE_PLUGIN_API >= 21
    // These clients want the plug-in's ID with the query; they register it
    // before init. Without an ID the path is left out.
    const char* id = PluginId();
    if (id != nullptr) ts3Functions.getPluginPath(pluginPath, kClientPathSize, id);
#else
    ts3Functions.getPluginPath(pluginPath, kClientPathSize);
#endif
    gl_MyLogging("PLUGIN: App path: %s\nResources path: %s\nConfig path: %s\nPlugin path: %s\n",
                 appPath, resourcesPath, configPath, pluginPath);
}

// The settings are loaded once the plug-in ID is registered and init has
// built the settings path, whichever of the two comes last: clients of plug-in
// API 20 initialise first, later clients register first. Shutdown starts the
// pair afresh. The client may call the two on different threads.
std::mutex startMutex;  // guards initialisedSinceShutdown and the pair's ordering
bool initialisedSinceShutdown = false;

// Marks init done; true when the ID is already registered.
bool InitDone() {
    std::lock_guard<std::mutex> lock(startMutex);
    initialisedSinceShutdown = true;
    return PluginId() != nullptr;
}

// Registers id; true when init has already run since the last shutdown.
// False, with nothing to load, when the ID could not be kept.
bool RegistrationDone(const char* id) {
    std::lock_guard<std::mutex> lock(startMutex);
    return SetPluginId(id) && initialisedSinceShutdown;
}

void ShutdownDone() {
    std::lock_guard<std::mutex> lock(startMutex);
    initialisedSinceShutdown = false;
    ClearPluginId();
}

}  // namespace

const char* ts3plugin_name() { return kPluginName; }
const char* ts3plugin_version() { return kPluginVersion; }
int ts3plugin_apiVersion() { return MORINDALE_PLUGIN_API; }
const char* ts3plugin_author() { return kPluginAuthor; }
const char* ts3plugin_description() { return kPluginDescription; }

void ts3plugin_setFunctionPointers(const TS3Functions funcs) { ts3Functions = funcs; }

int ts3plugin_init() {
    // Built in a buffer of its own and published in one step: an event
    // thread may be saving while the client initialises the plug-in again.
    char settingsPath[kConfigPathSize];
    BuildUserSettingsPath(settingsPath, sizeof settingsPath);
    SetSettingsPath(settingsPath);

    // The engine only the first time: on a later init the capture thread
    // may be inside a block that uses it.
    SetUpVoiceEngine();
    WAVE_Set_WIN_Params(48000, 16, 1);

    LogClientPaths();
    EnableUpdateChecks();
    CheckForUpdate(true);
    if (InitDone()) LoadSettings();
    return 0;
}

void ts3plugin_shutdown() {
    StopUpdateChecks();
    WAVE_WIN_Audio_close();
    ShutdownDone();
}

void ts3plugin_registerPluginID(const char* id) {
    if (id == nullptr) id = "";
    const bool load = RegistrationDone(id);
    if (load) LoadSettings();
}

void ts3plugin_currentServerConnectionChanged(uint64 serverConnectionHandlerID) {
    const uint64 current = ts3Functions.getCurrentServerConnectionHandlerID();
    gl_MyLogging("PLUGIN: currentServerConnectionChanged %llu (%llu)\n",
                 static_cast<unsigned long long>(serverConnectionHandlerID),
                 static_cast<unsigned long long>(current));
    LoadSettings();
}

int ts3plugin_offersConfigure() { return 0; }

void ts3plugin_configure(void* /*handle*/, void* /*qParentWidget*/) {}

int ts3plugin_requestAutoload() { return 0; }

const char* ts3plugin_commandKeyword() { return kCommandKeyword; }

void ts3plugin_freeMemory(void* data) { std::free(data); }
