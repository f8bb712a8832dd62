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
    {EFFECT_ATARI, "Atari Game", "voice.png", "Atari Game voice active. [Morindale]", nullptr},
    {EFFECT_CLONE, "Clone", "voice.png", "Clone voice active. [Morindale]", nullptr},
    {EFFECT_MUTATION_SLOW, "Mutation (slow)", "voice.png", "Mutation (slow) voice active. [Morindale]", nullptr},
    {EFFECT_MUTATION, "Mutation", "voice.png", "Mutation voice active. [Morindale]", nullptr},
    {EFFECT_MUTATION_FAST, "Mutation (fast)", "voice.png", "Mutation (fast) voice active. [Morindale]", nullptr},
    {EFFECT_PITCH_MALE, "Pitch (male)", "voice.png", "Pitch (male) voice active. [Morindale]", nullptr},
    {EFFECT_PITCH_FEMALE, "Pitch (female)", "voice.png", "Pitch (female) voice active. [Morindale]", nullptr},
    {EFFECT_PITCH_HELIUM, "Pitch (helium)", "voice.png", "Pitch (helium) voice active. [Morindale]", nullptr},
    {EFFECT_PITCH_BABY, "Pitch (baby)", "voice.png", "Pitch (baby) voice active. [Morindale]", nullptr},
    {EFFECT_ROBOTIC, "Robotic Voice", "voice.png", "Robotic voice active. [Morindale]", nullptr},
    {EFFECT_MY_VOICE, "My voice", "voice.png", "My voice active. [Morindale]", nullptr},
    {ACTION_HEAR_VOICE, "Hear Voice (On/Off)", "head.png", "Hear you own voice is On [Morindale]",
     "Hear you own voice is Off [Morindale]"},
    {ACTION_HOMEPAGE, "Homepage", "home.png", nullptr, nullptr},
    {ACTION_CHECK_UPDATE, "Check for update", "update.png", nullptr, nullptr},
    {ACTION_ABOUT, "About", "about.png", nullptr, nullptr},
};

static_assert(sizeof(kActions) / sizeof(kActions[0]) == ACTION_ABOUT - ACTION_ENABLE_DISABLE + 1,
              "one entry per action ID, in ID order");

}  // namespace

const Action* FindAction(int id) {
    if (id < ACTION_ENABLE_DISABLE || id > ACTION_ABOUT) return nullptr;
    return &kActions[id - ACTION_ENABLE_DISABLE];
}

const int kMenuOrder[kMenuItemCount] = {
    ACTION_ENABLE_DISABLE, EFFECT_ATARI,       EFFECT_CLONE,        EFFECT_MY_VOICE,
    EFFECT_MUTATION_SLOW,  EFFECT_MUTATION,    EFFECT_MUTATION_FAST, EFFECT_PITCH_MALE,
    EFFECT_PITCH_FEMALE,   EFFECT_PITCH_HELIUM, EFFECT_PITCH_BABY,   EFFECT_ROBOTIC,
    ACTION_HEAR_VOICE,     ACTION_CHECK_UPDATE, ACTION_HOMEPAGE,     ACTION_ABOUT,
};

const char* const kMenuIconBlock = "vorn16.png";

const HotkeyEntry kHotkeys[kHotkeyCount] = {
    {"enable_disable", "Enable/Disable Morindale", ACTION_ENABLE_DISABLE},
    {"effect_atari", "Atari Game", EFFECT_ATARI},
    {"effect_clone", "Clone", EFFECT_CLONE},
    {"effect_myvoice", "My voice", EFFECT_MY_VOICE},
    {"effect_mut_slow", "Mutation (slow)", EFFECT_MUTATION_SLOW},
    {"effect_mutation", "Mutation", EFFECT_MUTATION},
    {"effect_mut_fast", "Mutation (fast)", EFFECT_MUTATION_FAST},
    {"effect_pmale", "Pitch (male)", EFFECT_PITCH_MALE},
    {"effect_pfmale", "Pitch (female)", EFFECT_PITCH_FEMALE},
    {"effect_phelium", "Pitch (helium)", EFFECT_PITCH_HELIUM},
    {"effect_pbaby", "Pitch (baby)", EFFECT_PITCH_BABY},
    {"effect_pmanual", "Pitch (manual)", 0},
    {"effect_robovoice", "Robotic Voice", EFFECT_ROBOTIC},
    {"effect_hearvoice", "Hear Voice (On/Off)", ACTION_HEAR_VOICE},
    {"effect_musicplayer", "Music Player", 0},
    {"effect_hearmusic", "Hear Music (On/Off)", 0},
};

int ActionForHotkey(const char* keyword) {
    if (keyword == nullptr) return 0;
    for (const HotkeyEntry& hotkey : kHotkeys) {
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
