// The plug-in menu and the hotkeys as handed to the client at start-up, built
// from the catalogue. The client calls both once, on its main thread, after
// registration; it owns the lists afterwards and frees every record, the list
// and the icon block through ts3plugin_freeMemory.
#include <cstdio>
#include <cstdlib>

#include "catalogue.h"
#include "menu_records.h"
#include "ts3_plugin.h"

namespace {

// Entries in each list, the ending null included.
constexpr std::size_t kMenuListSize = kMenuItemCount + 1;
constexpr std::size_t kHotkeyListSize = kHotkeyCount + 1;

// A list without its end marker would run the client off the end of the
// block, so the count is checked in every build, not only with assertions on.
[[noreturn]] void ListCountFailed(const char* expression, const char* function, int line) {
    std::fprintf(stderr, "Assertion failed: (%s), function %s, file %s, line %d.\n", expression, function,
                 __FILE__, line);
    std::abort();
}
#define CHECK_LIST_COUNT(expression) \
    ((expression) ? static_cast<void>(0) : ListCountFailed(#expression, __func__, __LINE__))

// Frees the first `count` records of a list and the list itself.
template <typename Record>
void FreeList(Record** list, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) std::free(list[i]);
    std::free(list);
}

// Both builders return the list and the number of entries written, the ending
// null included, or null when out of memory.
PluginMenuItem** BuildMenuList(std::size_t& n) {
    auto** list = static_cast<PluginMenuItem**>(std::malloc(kMenuListSize * sizeof(PluginMenuItem*)));
    if (list == nullptr) return nullptr;
    for (std::size_t i = 0; i < kMenuItemCount; ++i) {
        const int id = MenuItemAt(i);
        const Voice* voice = FindVoice(id);
        const Action* action = FindAction(id);
        PluginMenuItem* item = voice != nullptr
                                   ? createMenuItem(PLUGIN_MENU_TYPE_GLOBAL, id, voice->menuText, voice->icon)
                                   : createMenuItem(PLUGIN_MENU_TYPE_GLOBAL, id, action->menuText, action->menuIcon);
        if (item == nullptr) {
            FreeList(list, n);
            return nullptr;
        }
        list[n++] = item;
    }
    list[n++] = nullptr;
    return list;
}

PluginHotkey** BuildHotkeyList(std::size_t& n) {
    auto** list = static_cast<PluginHotkey**>(std::malloc(kHotkeyListSize * sizeof(PluginHotkey*)));
    if (list == nullptr) return nullptr;
    for (std::size_t i = 0; i < kHotkeyCount; ++i) {
        const HotkeyEntry entry = HotkeyAt(i);
        PluginHotkey* hotkey = createHotkey(entry.keyword, entry.description);
        if (hotkey == nullptr) {
            FreeList(list, n);
            return nullptr;
        }
        list[n++] = hotkey;
    }
    list[n++] = nullptr;
    return list;
}

}  // namespace

// Out of memory, the client gets null for the list or the icon, meaning no
// menu or no icon, rather than a partial list.
void ts3plugin_initMenus(PluginMenuItem*** menuItems, char** menuIcon) {
    if (menuItems != nullptr) {
        const std::size_t sz = kMenuListSize;
        std::size_t n = 0;
        *menuItems = BuildMenuList(n);
        if (*menuItems != nullptr) CHECK_LIST_COUNT(n == sz);
    }
    if (menuIcon != nullptr) {
        *menuIcon = static_cast<char*>(std::malloc(PLUGIN_MENU_BUFSZ));
        if (*menuIcon != nullptr) CopyField(*menuIcon, PLUGIN_MENU_BUFSZ, kMenuIconBlock);
    }
}

void ts3plugin_initHotkeys(PluginHotkey*** hotkeys) {
    if (hotkeys == nullptr) return;
    const std::size_t sz = kHotkeyListSize;
    std::size_t n = 0;
    *hotkeys = BuildHotkeyList(n);
    if (*hotkeys != nullptr) CHECK_LIST_COUNT(n == sz);
}
