#include "menu_records.h"

#include <cstdlib>
#include <cstring>

void CopyField(char* field, std::size_t size, const char* text) {
    if (size == 0) return;
    std::memset(field, 0, size);
    if (text == nullptr) return;
    // strnlen: the text may be longer than the field and need not be read
    // beyond what fits.
    std::memcpy(field, text, strnlen(text, size - 1));
}

PluginMenuItem* createMenuItem(PluginMenuType type, int id, const char* text, const char* icon) {
    auto* item = static_cast<PluginMenuItem*>(std::malloc(sizeof(PluginMenuItem)));
    if (item == nullptr) return nullptr;
    item->type = type;
    item->id = id;
    CopyField(item->text, sizeof item->text, text);
    CopyField(item->icon, sizeof item->icon, icon);
    return item;
}

PluginHotkey* createHotkey(const char* keyword, const char* description) {
    auto* hotkey = static_cast<PluginHotkey*>(std::malloc(sizeof(PluginHotkey)));
    if (hotkey == nullptr) return nullptr;
    CopyField(hotkey->keyword, sizeof hotkey->keyword, keyword);
    CopyField(hotkey->description, sizeof hotkey->description, description);
    return hotkey;
}
