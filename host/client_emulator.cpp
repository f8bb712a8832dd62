#include "client_emulator.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "client_table.h"
#include "plugin_library.h"
#include "ts3_functions.h"

#ifndef MORINDALE_PLUGIN_FILE
#error "MORINDALE_PLUGIN_FILE names the plug-in library of this build"
#endif

namespace fs = std::filesystem;

namespace morindale_host {

// The trampolines' slot numbers must agree with the declarations the
// plug-in is built against.
static_assert(offsetof(TS3Functions, printMessageToCurrentTab) == SLOT_printMessageToCurrentTab * sizeof(void*));
static_assert(offsetof(TS3Functions, getClientDisplayName) == SLOT_getClientDisplayName * sizeof(void*));
static_assert(offsetof(TS3Functions, getPluginPath) == SLOT_getPluginPath * sizeof(void*));
static_assert(offsetof(TS3Functions, freeMemory) == SLOT_freeMemory * sizeof(void*));

namespace {

ClientEmulator* g_active = nullptr;
std::mutex g_activeMutex;

template <std::size_t N>
struct RawTable {
    void* slot[N];
};

// Hands `table` to ts3plugin_setFunctionPointers as a block of N pointers.
template <std::size_t N>
void PassByValue(void* setFunctionPointers, const std::vector<void*>& table) {
    RawTable<N> raw;
    std::memcpy(raw.slot, table.data(), sizeof raw);
    reinterpret_cast<void (*)(RawTable<N>)>(setFunctionPointers)(raw);
}

// The caller reports the failure: the tools each in one line of their own,
// the tests through the exception.
[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

}  // namespace

std::string DefaultPluginFile() {
    const char* fromEnvironment = std::getenv("MORINDALE_PLUGIN_FILE");
    if (fromEnvironment != nullptr && fromEnvironment[0] != '\0') return fromEnvironment;
    return MORINDALE_PLUGIN_FILE;
}

ClientEmulator* ClientEmulator::active() {
    std::lock_guard<std::mutex> lock(g_activeMutex);
    return g_active;
}

ClientEmulator::ClientEmulator(Options options) : options_(std::move(options)) {
    if (options_.pluginFile.empty()) options_.pluginFile = DefaultPluginFile();
    try {
        workDir_ = MakeWorkFolder();
    } catch (const std::exception& error) {
        Fail(error.what());
    }
    if (options_.privateHome) {
        home_ = PreparePrivateHome(workDir_);
        sound_ = std::make_unique<SoundEnvironment>(workDir_, options_.soundServer);
    } else {
        home_ = workDir_ + "/home";
        fs::create_directories(fs::u8path(home_));
    }
    {
        std::lock_guard<std::mutex> lock(g_activeMutex);
        if (g_active != nullptr) Fail("only one client emulator may be active at a time");
        g_active = this;
    }
}

ClientEmulator::~ClientEmulator() {
    try {
        unload();
    } catch (...) {
    }
    {
        std::lock_guard<std::mutex> lock(g_activeMutex);
        if (g_active == this) g_active = nullptr;
    }
    if (options_.privateHome) ReleasePrivateHome();
    sound_.reset();
    std::error_code ignored;
    fs::remove_all(fs::u8path(workDir_), ignored);
    for (void* block : clientBlocks_) std::free(block);
}

void ClientEmulator::load() {
    if (handle_ != nullptr) return;
    // A private copy under its own path gives a fresh instance of the
    // plug-in's global state, even within one process.
    fs::create_directories(fs::u8path(workDir_ + "/plugins"));
    pluginCopy_ = workDir_ + "/plugins/" + fs::u8path(options_.pluginFile).filename().u8string();
    std::error_code error;
    fs::copy_file(fs::u8path(options_.pluginFile), fs::u8path(pluginCopy_), fs::copy_options::overwrite_existing,
                  error);
    if (error) Fail("cannot copy " + options_.pluginFile + ": " + error.message());
    std::string reason;
    handle_ = OpenLibrary(pluginCopy_, &reason);
    if (handle_ == nullptr) Fail("loading the plug-in failed: " + reason);
    initialised_ = false;
    shutDown_ = false;
}

void* ClientEmulator::symbol(const char* name) const {
    if (handle_ == nullptr) return nullptr;
    return LibrarySymbol(handle_, name);
}

namespace {
template <typename F>
F Required(const ClientEmulator& emulator, const char* name) {
    F function = emulator.entry<F>(name);
    if (function == nullptr) Fail(std::string("the plug-in does not export ") + name);
    return function;
}
}  // namespace

void ClientEmulator::identify() {
    name = Required<const char* (*)()>(*this, "ts3plugin_name")();
    version = Required<const char* (*)()>(*this, "ts3plugin_version")();
    apiVersion = Required<int (*)()>(*this, "ts3plugin_apiVersion")();
    author = Required<const char* (*)()>(*this, "ts3plugin_author")();
    description = Required<const char* (*)()>(*this, "ts3plugin_description")();
}

void ClientEmulator::buildTable() {
    int version = options_.apiVersion != 0 ? options_.apiVersion : apiVersion;
    if (version == 0) version = 20;
    table_ = BuildClientTable(SlotsOfApi(version), version);
}

void ClientEmulator::setFunctionPointers() {
    buildTable();
    void* function = symbol("ts3plugin_setFunctionPointers");
    if (function == nullptr) Fail("the plug-in does not export ts3plugin_setFunctionPointers");
    // The table goes over by value, as a block of its full size. When it has
    // the layout this build declares, it goes as that very type, so that
    // clang's function-type check (-fsanitize=function) sees a matching call.
    if (table_.size() * sizeof(void*) == sizeof(TS3Functions)) {
        TS3Functions funcs;
        std::memcpy(static_cast<void*>(&funcs), table_.data(), sizeof funcs);
        reinterpret_cast<void (*)(TS3Functions)>(function)(funcs);
    } else {
        switch (table_.size()) {
            case kSlotsApi26: PassByValue<kSlotsApi26>(function, table_); break;
            case kSlotsApi24: PassByValue<kSlotsApi24>(function, table_); break;
            case kSlotsApi22: PassByValue<kSlotsApi22>(function, table_); break;
            default: PassByValue<kSlotsApi20>(function, table_); break;
        }
    }
}

int ClientEmulator::init() {
    int result = Required<int (*)()>(*this, "ts3plugin_init")();
    initialised_ = true;
    shutDown_ = false;  // initialised again after a shutdown: live until the next one
    return result;
}

void ClientEmulator::registerPluginID(const std::string& id) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        registeredID_ = id;
    }
    // The client frees its buffer right after the call.
    std::vector<char> buffer(id.begin(), id.end());
    buffer.push_back('\0');
    Required<void (*)(const char*)>(*this, "ts3plugin_registerPluginID")(buffer.data());
    std::memset(buffer.data(), 'X', buffer.size() - 1);
}

void ClientEmulator::initMenus() {
    auto freeMemory = Required<void (*)(void*)>(*this, "ts3plugin_freeMemory");
    auto initMenus = entry<void (*)(PluginMenuItem***, char**)>("ts3plugin_initMenus");
    menuItems.clear();
    menuIcon.clear();
    if (initMenus == nullptr) return;
    PluginMenuItem** list = nullptr;
    char* icon = nullptr;
    initMenus(&list, &icon);
    if (list != nullptr) {
        for (std::size_t i = 0; list[i] != nullptr; ++i) {
            menuItems.push_back(*list[i]);
            freeMemory(list[i]);
        }
        freeMemory(list);
    }
    if (icon != nullptr) {
        menuIcon.assign(icon, icon + PLUGIN_MENU_BUFSZ);
        freeMemory(icon);
    }
}

void ClientEmulator::initHotkeys() {
    auto freeMemory = Required<void (*)(void*)>(*this, "ts3plugin_freeMemory");
    auto initHotkeys = entry<void (*)(PluginHotkey***)>("ts3plugin_initHotkeys");
    hotkeys.clear();
    if (initHotkeys == nullptr) return;
    PluginHotkey** list = nullptr;
    initHotkeys(&list);
    if (list == nullptr) return;
    for (std::size_t i = 0; list[i] != nullptr; ++i) {
        hotkeys.push_back(*list[i]);
        freeMemory(list[i]);
    }
    freeMemory(list);
}

bool ClientEmulator::registersBeforeInit() const {
    switch (options_.startOrder) {
        case StartOrder::kInitFirst: return false;
        case StartOrder::kRegisterFirst: return true;
        case StartOrder::kAsTheApi: break;
    }
    const int version = options_.apiVersion != 0 ? options_.apiVersion : apiVersion;
    return version >= 21;
}

void ClientEmulator::start() {
    load();
    identify();
    setFunctionPointers();
    if (registersBeforeInit()) {
        registerPluginID();
        init();
    } else {
        init();
        registerPluginID();
    }
    initMenus();
    initHotkeys();
}

void ClientEmulator::shutdown() {
    if (handle_ == nullptr || !initialised_ || shutDown_) return;
    Required<void (*)()>(*this, "ts3plugin_shutdown")();
    shutDown_ = true;
}

void ClientEmulator::unload() {
    if (handle_ == nullptr) return;
    shutdown();
    CloseLibrary(handle_);
    handle_ = nullptr;
    std::error_code ignored;
    fs::remove(fs::u8path(pluginCopy_), ignored);
}

void ClientEmulator::serverTabChanged(uint64 serverConnectionHandlerID) {
    data_.currentServerConnectionHandlerID = serverConnectionHandlerID;
    Required<void (*)(uint64)>(*this, "ts3plugin_currentServerConnectionChanged")(serverConnectionHandlerID);
}

void ClientEmulator::menuItem(int menuItemID, PluginMenuType type, uint64 serverConnectionHandlerID,
                              uint64 selectedItemID) {
    Required<void (*)(uint64, PluginMenuType, int, uint64)>(*this, "ts3plugin_onMenuItemEvent")(
        serverConnectionHandlerID, type, menuItemID, selectedItemID);
}

void ClientEmulator::hotkey(const char* keyword) {
    Required<void (*)(const char*)>(*this, "ts3plugin_onHotkeyEvent")(keyword);
}

int ClientEmulator::voiceBlock(short* samples, int sampleCount, int channels, int flags,
                               uint64 serverConnectionHandlerID) {
    int edited = flags;
    Required<void (*)(uint64, short*, int, int, int*)>(*this, "ts3plugin_onEditCapturedVoiceDataEvent")(
        serverConnectionHandlerID, samples, sampleCount, channels, &edited);
    return edited;
}

int ClientEmulator::command(const char* text, uint64 serverConnectionHandlerID) {
    return Required<int (*)(uint64, const char*)>(*this, "ts3plugin_processCommand")(serverConnectionHandlerID, text);
}

std::optional<std::string> ClientEmulator::infoData(uint64 serverConnectionHandlerID, uint64 id, PluginItemType type) {
    static char sentinel[] = "client's own value";
    char* data = sentinel;
    Required<void (*)(uint64, uint64, PluginItemType, char**)>(*this, "ts3plugin_infoData")(serverConnectionHandlerID,
                                                                                           id, type, &data);
    if (data == sentinel) return std::nullopt;
    if (data == nullptr) return std::string();
    std::string text(data);
    Required<void (*)(void*)>(*this, "ts3plugin_freeMemory")(data);
    return text;
}

std::vector<Call> ClientEmulator::calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

std::vector<Call> ClientEmulator::calls(const std::string& function) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Call> out;
    for (const Call& call : calls_)
        if (call.function == function) out.push_back(call);
    return out;
}

std::vector<std::string> ClientEmulator::chatMessages() const {
    std::vector<std::string> out;
    for (const Call& call : calls("printMessageToCurrentTab")) out.push_back(call.args.at(0));
    return out;
}

void ClientEmulator::clearCalls() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
}

bool ClientEmulator::waitForCalls(const std::string& function, std::size_t count,
                                  std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (calls(function).size() < count) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void ClientEmulator::setResult(const std::string& function, unsigned int result) {
    std::lock_guard<std::mutex> lock(mutex_);
    results_[function] = result;
}

void ClientEmulator::setResultFunction(const std::string& function, std::function<unsigned int(const Call&)> chooser) {
    std::lock_guard<std::mutex> lock(mutex_);
    choosers_[function] = std::move(chooser);
}

unsigned int ClientEmulator::record(Call call) {
    std::function<unsigned int(const Call&)> chooser;
    unsigned int result = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = choosers_.find(call.function);
        if (it != choosers_.end()) chooser = it->second;
        auto fixed = results_.find(call.function);
        if (fixed != results_.end()) result = fixed->second;
    }
    if (chooser) result = chooser(call);
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(std::move(call));
    return result;
}

void* ClientEmulator::allocateClientBlock(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    std::lock_guard<std::mutex> lock(mutex_);
    clientBlocks_.insert(block);
    return block;
}

unsigned int ClientEmulator::freeClientBlock(void* block) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = clientBlocks_.find(block);
        if (it == clientBlocks_.end()) {
            problems_.push_back("freeMemory of a block the client did not hand out");
            return 1;
        }
        clientBlocks_.erase(it);
    }
    std::free(block);
    return 0;
}

void ClientEmulator::addProblem(std::string problem) {
    std::lock_guard<std::mutex> lock(mutex_);
    problems_.push_back(std::move(problem));
}

std::size_t ClientEmulator::outstandingClientBlocks() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return clientBlocks_.size();
}

std::vector<std::string> ClientEmulator::problems() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return problems_;
}

std::string ClientEmulator::registeredID() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return registeredID_;
}

}  // namespace morindale_host
