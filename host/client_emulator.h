// A TeamSpeak client in miniature: loads a private copy of the built plug-in,
// hands it a function table whose named slots record every call and answer
// from ClientData, drives the lifecycle in the client's order and delivers
// events. Unnamed slots abort the process loudly if the plug-in calls them.
//
// Client memory that the table hands out (strings, ID lists) is tracked and
// must come back through freeMemory; blocks the plug-in hands over (menus,
// hotkeys, icon, info text) are returned through ts3plugin_freeMemory.
//
// One emulator is active per process at a time. The plug-in may call the
// table from its own threads; recording is thread-safe.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "plugin_definitions.h"
#include "sound_environment.h"
#include "ts3_types.h"

namespace morindale_host {

// One call the plug-in made into the client: function name and arguments,
// rendered as text (numbers in decimal, strings copied, null as "(null)",
// ID lists as "{1,2,0}").
struct Call {
    std::string function;
    std::vector<std::string> args;
};

// What the emulated client answers.
struct ClientData {
    std::string clientLibVersion = "3.0.19.4 [Build: 1468491418]";
    uint64 currentServerConnectionHandlerID = 1;
    anyID ownClientID = 7;
    std::string ownNickname = "Tester";
    std::map<std::size_t, std::string> serverVariables = {{VIRTUALSERVER_NAME, "Test Server"},
                                                          {VIRTUALSERVER_WELCOMEMESSAGE, "Welcome!"}};
    std::map<uint64, std::string> serverNamesByHandler;  // overrides the name for other tabs
    std::map<anyID, std::string> clientNicknames;
    std::map<anyID, std::string> displayNames;
    std::map<uint64, std::string> channelNames;
    std::vector<uint64> channelList;                          // without the ending 0
    std::vector<uint64> serverConnectionHandlers = {1};       // without the ending 0
    uint64 channelOfClient = 1;
    std::string serverHost = "voice.example.test";
    unsigned short serverPort = 9987;
    std::string channelPath = "Lobby";
    std::map<anyID, std::string> avatars;
    std::string returnCode = "morindale-rc-1";
    std::string appPath = "/opt/teamspeak3-client/";
    std::string resourcesPath = "/opt/teamspeak3-client/";
    std::string configPath = "/tmp/ts3client-config/";
    std::string pluginPath = "/tmp/ts3client-config/plugins/";
};

// Which of init and registration start() calls first. Clients of plug-in API
// 20 (3.0.x) initialise first; from API 21 (3.1) on they register first.
enum class StartOrder { kAsTheApi, kInitFirst, kRegisterFirst };

struct Options {
    std::string pluginFile;  // empty: $MORINDALE_PLUGIN_FILE, else the library of this build
    int apiVersion = 0;      // table layout; 0: as the plug-in reports
    StartOrder startOrder = StartOrder::kAsTheApi;
    bool privateHome = true; // give the plug-in a fresh, empty home directory
    // With a private home, the PulseAudio server the plug-in's monitor output
    // reaches ("unix:/path/native"); empty: none (see sound_environment.h).
    std::string soundServer;
};

class ClientEmulator {
public:
    explicit ClientEmulator(Options options = {});
    ~ClientEmulator();
    ClientEmulator(const ClientEmulator&) = delete;
    ClientEmulator& operator=(const ClientEmulator&) = delete;

    // --- Loading and the lifecycle, in the client's order -----------------
    void load();  // copies the library into a private folder and loads it (dlopen RTLD_NOW, LoadLibraryW)
    void identify();
    void setFunctionPointers();
    int init();
    void registerPluginID(const std::string& id = "morindale_test_plugin_id");
    void initMenus();
    void initHotkeys();
    // load, identify, setFunctionPointers, then init and registerPluginID in
    // the order of the API (Options::startOrder), then menus and hotkeys
    void start();
    bool registersBeforeInit() const;
    void shutdown();
    void unload();  // dlclose; shuts down first when needed

    bool loaded() const { return handle_ != nullptr; }
    void* symbol(const char* name) const;  // null when not exported
    template <typename F>
    F entry(const char* name) const {
        return reinterpret_cast<F>(symbol(name));
    }

    // Identity as the plug-in reported it in identify().
    std::string name, version, author, description;
    int apiVersion = 0;

    // --- Events ------------------------------------------------------------
    void serverTabChanged(uint64 serverConnectionHandlerID);
    void menuItem(int menuItemID, PluginMenuType type = PLUGIN_MENU_TYPE_GLOBAL,
                  uint64 serverConnectionHandlerID = 1, uint64 selectedItemID = 0);
    void hotkey(const char* keyword);
    // Hands one captured block to the plug-in; returns the edited flags.
    int voiceBlock(short* samples, int sampleCount, int channels = 1, int flags = EDIT_FLAG_SENDING,
                   uint64 serverConnectionHandlerID = 1);
    int command(const char* text, uint64 serverConnectionHandlerID = 1);
    // The info-panel text, or nothing when the plug-in wrote none.
    std::optional<std::string> infoData(uint64 serverConnectionHandlerID, uint64 id, PluginItemType type);

    // --- What the plug-in handed over --------------------------------------
    std::vector<PluginMenuItem> menuItems;  // byte copies, in list order
    std::vector<char> menuIcon;             // the 128-byte icon block
    std::vector<PluginHotkey> hotkeys;      // byte copies, in list order

    // --- Recorded calls ----------------------------------------------------
    std::vector<Call> calls() const;
    std::vector<Call> calls(const std::string& function) const;
    std::vector<std::string> chatMessages() const;  // printMessageToCurrentTab texts
    void clearCalls();
    // Waits until `function` has been called at least `count` times.
    bool waitForCalls(const std::string& function, std::size_t count, std::chrono::milliseconds timeout) const;

    // --- The client's answers ----------------------------------------------
    ClientData& data() { return data_; }
    // Result of every call of `function` (0 unless set).
    void setResult(const std::string& function, unsigned int result);
    // Result chosen per call.
    void setResultFunction(const std::string& function, std::function<unsigned int(const Call&)> chooser);

    // --- Memory and problems -----------------------------------------------
    std::size_t outstandingClientBlocks() const;  // handed out, not yet freed
    std::vector<std::string> problems() const;    // bad frees, bad arguments

    // --- Paths ---------------------------------------------------------------
    const std::string& workDir() const { return workDir_; }
    const std::string& home() const { return home_; }
    std::string settingsFile() const { return home_ + "/MorindaleForTeamspeak.ini"; }
    const std::string& pluginCopy() const { return pluginCopy_; }

    std::vector<void*>& table() { return table_; }  // the client's own table

    // Internal: used by the table's trampolines.
    static ClientEmulator* active();
    unsigned int record(Call call);
    void* allocateClientBlock(std::size_t size);
    unsigned int freeClientBlock(void* block);
    void addProblem(std::string problem);
    std::string registeredID() const;

private:
    void buildTable();

    Options options_;
    ClientData data_;
    std::string workDir_, home_, pluginCopy_;
    void* handle_ = nullptr;
    bool initialised_ = false;
    bool shutDown_ = false;
    std::string registeredID_;
    std::vector<void*> table_;
    std::unique_ptr<SoundEnvironment> sound_;

    mutable std::mutex mutex_;
    std::vector<Call> calls_;
    std::map<std::string, unsigned int> results_;
    std::map<std::string, std::function<unsigned int(const Call&)>> choosers_;
    std::set<void*> clientBlocks_;
    std::vector<std::string> problems_;
};

// The plug-in library of this build.
std::string DefaultPluginFile();

}  // namespace morindale_host
