#include "catalogue.h"

#include <cstring>

#ifndef MORINDALE_VERSION_TEXT
#error "MORINDALE_VERSION_TEXT comes from the build"
#endif
#ifndef MORINDALE_AUTHOR
#error "MORINDALE_AUTHOR comes from the build"
#endif
#ifndef MORINDALE_UPDATE_HOST
#error "MORINDALE_UPDATE_HOST comes from the build"
#endif

namespace {

const Action kActions[] = {
    {ACTION_ENABLE_DISABLE, "Enable/Disable", "stop.png", "Morindale Voice Changer is ENABLED.",
     "Morindale Voice Changer is DISABLED."},
    {ACTION_HEAR_VOICE, "Hear Voice (On/Off)", "head.png", "Hear you own voice is On [Morindale]",
     "Hear you own voice is Off [Morindale]"},
    {ACTION_HOMEPAGE, "Homepage", "home.png", nullptr, nullptr},
    {ACTION_CHECK_UPDATE, "Check for update", "update.png", nullptr, nullptr},
    {ACTION_ABOUT, "About", "about.png", nullptr, nullptr},
};

// The menu after the voices: "Check for update" comes before "Homepage".
const int kMenuTail[] = {ACTION_HEAR_VOICE, ACTION_CHECK_UPDATE, ACTION_HOMEPAGE, ACTION_ABOUT};
static_assert(kMenuItemCount == 1 + kVoiceCount + sizeof(kMenuTail) / sizeof(kMenuTail[0]), "menu layout");

const HotkeyEntry kHotkeyTail[] = {
    {"effect_hearvoice", "Hear Voice (On/Off)", ACTION_HEAR_VOICE},
    {"effect_musicplayer", "Music Player", 0},
    {"effect_hearmusic", "Hear Music (On/Off)", 0},
};
static_assert(kHotkeyCount == 1 + kVoiceCount + sizeof(kHotkeyTail) / sizeof(kHotkeyTail[0]), "hotkey layout");

}  // namespace

const Action* FindAction(int id) {
    for (const Action& action : kActions)
        if (action.id == id) return &action;
    return nullptr;
}

int MenuItemAt(std::size_t index) {
    if (index == 0) return ACTION_ENABLE_DISABLE;
    if (index <= kVoiceCount) return kVoices[index - 1].id;
    return kMenuTail[index - 1 - kVoiceCount];
}

const char* const kMenuIconBlock = "vorn16.png";

HotkeyEntry HotkeyAt(std::size_t index) {
    if (index == 0) return {"enable_disable", "Enable/Disable Morindale", ACTION_ENABLE_DISABLE};
    if (index <= kVoiceCount) {
        const Voice& voice = kVoices[index - 1];
        return {voice.hotkey, voice.menuText, voice.id};
    }
    return kHotkeyTail[index - 1 - kVoiceCount];
}

int ActionForHotkey(const char* keyword) {
    if (keyword == nullptr) return 0;
    for (std::size_t i = 0; i < kHotkeyCount; ++i) {
        const HotkeyEntry hotkey = HotkeyAt(i);
        if (std::strcmp(hotkey.keyword, keyword) == 0) return hotkey.actionId;
    }
    return 0;
}

const char* const kPluginName = "Morindale Plugin";
const char* const kPluginVersion = MORINDALE_VERSION_TEXT;
const char* const kPluginAuthor = MORINDALE_AUTHOR;
const char* const kPluginDescription = "Morindale Voice Changer for TeamSpeak";
const char* const kCommandKeyword = "morindale";

const char* const kAboutLines[kAboutLineCount] = {
    "Morindale for Teamspeak v" MORINDALE_VERSION_TEXT,
    "The ultimate voice changer tool",
    "Made by " MORINDALE_AUTHOR ", with SoundTouch for the pitch",
};

#define MORINDALE_STRINGIFY2(x) #x
#define MORINDALE_STRINGIFY(x) MORINDALE_STRINGIFY2(x)
#if MORINDALE_UPDATE_PORT == 80
const char* const kHomepageUrl = "http://" MORINDALE_UPDATE_HOST "/teamspeak";
#else
const char* const kHomepageUrl = "http://" MORINDALE_UPDATE_HOST ":" MORINDALE_STRINGIFY(MORINDALE_UPDATE_PORT) "/teamspeak";
#endif
