// The one table of user actions: every menu item, hotkey and confirmation
// text of the plug-in is built from here.
#pragma once

// Action IDs name every menu item and hotkey action; 7..17 are the voice
// effects and the values of gl_CurrentVoiceEffect.
enum ActionId {
    ACTION_ENABLE_DISABLE = 6,
    EFFECT_ATARI = 7,
    EFFECT_CLONE = 8,
    EFFECT_MUTATION_SLOW = 9,
    EFFECT_MUTATION = 10,
    EFFECT_MUTATION_FAST = 11,
    EFFECT_PITCH_MALE = 12,
    EFFECT_PITCH_FEMALE = 13,
    EFFECT_PITCH_HELIUM = 14,
    EFFECT_PITCH_BABY = 15,
    EFFECT_ROBOTIC = 16,
    EFFECT_MY_VOICE = 17,
    ACTION_HEAR_VOICE = 18,
    ACTION_HOMEPAGE = 19,
    ACTION_CHECK_UPDATE = 20,
    ACTION_ABOUT = 21
};

constexpr int kFirstEffect = EFFECT_ATARI;
constexpr int kLastEffect = EFFECT_MY_VOICE;
constexpr bool IsEffect(int id) { return id >= kFirstEffect && id <= kLastEffect; }

struct Action {
    int id;
    const char* menuText;
    const char* menuIcon;
    const char* message;     // confirmation; for toggles the text after switching on
    const char* messageOff;  // toggles only: the text after switching off
};

// Actions 6..21 in ID order; null when id names no action.
const Action* FindAction(int id);

// The plug-in menu, in the order the client shows it.
constexpr int kMenuItemCount = 16;
extern const int kMenuOrder[kMenuItemCount];
extern const char* const kMenuIconBlock;  // the icon of the plug-in's menu

// The hotkeys, in the order the client lists them. actionId 0: registered
// with the client, but pressing it does nothing.
struct HotkeyEntry {
    const char* keyword;
    const char* description;
    int actionId;
};
constexpr int kHotkeyCount = 16;
extern const HotkeyEntry kHotkeys[kHotkeyCount];

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
