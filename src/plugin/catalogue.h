// The user actions of the plug-in: every menu item, hotkey and confirmation
// text is built from here. The voices are rows of the voice table
// (voice_table.h); this file adds the other actions around them.
#pragma once

#include <cstddef>

#include "voice_table.h"

// The IDs of the actions that are no voice.
enum ActionId {
    ACTION_ENABLE_DISABLE = 6,
    ACTION_HEAR_VOICE = 18,
    ACTION_HOMEPAGE = 19,
    ACTION_CHECK_UPDATE = 20,
    ACTION_ABOUT = 21
};

// True for the IDs of the voices: the values the menu and the hotkeys give
// gl_CurrentVoiceEffect.
constexpr bool IsEffect(int id) { return FindVoice(id) != nullptr; }

struct Action {
    int id;
    const char* menuText;
    const char* menuIcon;
    const char* message;     // confirmation; for toggles the text after switching on
    const char* messageOff;  // toggles only: the text after switching off
};

// The action that is no voice with this ID, or null.
const Action* FindAction(int id);

// The plug-in menu, in the order the client shows it: Enable/Disable, every
// voice in the table's order, then the other actions.
constexpr std::size_t kMenuItemCount = 1 + kVoiceCount + 4;
// The action ID of the menu item at position index (0..kMenuItemCount-1).
int MenuItemAt(std::size_t index);
extern const char* const kMenuIconBlock;  // the icon of the plug-in's menu

// The hotkeys, in the order the client lists them: Enable/Disable, every
// voice, then Hear Voice and two that are registered with the client but do
// nothing when pressed.
struct HotkeyEntry {
    const char* keyword;
    const char* description;
    int actionId;  // 0: no action
};
constexpr std::size_t kHotkeyCount = 1 + kVoiceCount + 3;
HotkeyEntry HotkeyAt(std::size_t index);

// The action of a hotkey keyword (exact, case-sensitive), or 0.
int ActionForHotkey(const char* keyword);

// Identity texts.
extern const char* const kPluginName;
extern const char* const kPluginVersion;
extern const char* const kPluginAuthor;
extern const char* const kPluginDescription;
extern const char* const kCommandKeyword;
constexpr int kAboutLineCount = 3;
extern const char* const kAboutLines[kAboutLineCount];

// The product homepage on the update host.
extern const char* const kHomepageUrl;
