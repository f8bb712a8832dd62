// The action dispatcher: menu clicks and hotkeys become action IDs, and each
// action changes the voice state, confirms itself in the chat tab and writes
// the settings file. Runs on the client's event threads.
#include "actions.h"

#include "catalogue.h"
#include "homepage.h"
#include "net/update_check.h"
#include "plugin_state.h"
#include "settings.h"
#include "ts3_plugin.h"
#include "voice_processing.h"
#include "voice_state.h"

namespace {

void ChooseEffect(int id) {
    gl_CurrentVoiceEffect = id;
    // Also for the effect already active: the user expects a fresh start.
    RequestPitchProcessorClear();
    PrintToCurrentTab(FindVoice(id)->message);
    SaveSettings();
}

void ToggleEnabled() {
    gl_Enabled = !gl_Enabled;
    SaveSettings();
    EnableDisableVoiceMenu(gl_Enabled);
}

void ToggleHearVoice() {
    gl_HearMyVoice = !gl_HearMyVoice;
    SaveSettings();
    const Action* action = FindAction(ACTION_HEAR_VOICE);
    PrintToCurrentTab(gl_HearMyVoice ? action->message : action->messageOff);
}

void ShowAbout() {
    if (gl_AboutDialogActive) return;
    gl_AboutDialogActive = true;
    for (const char* line : kAboutLines) PrintToCurrentTab(line);
    gl_AboutDialogActive = false;
}

}  // namespace

void HandleMenuAction(int id) {
    if (IsEffect(id)) {
        ChooseEffect(id);
        return;
    }
    switch (id) {
        case ACTION_ENABLE_DISABLE:
            ToggleEnabled();
            break;
        case ACTION_HEAR_VOICE:
            ToggleHearVoice();
            break;
        case ACTION_HOMEPAGE:
            OpenHomepage();
            break;
        case ACTION_CHECK_UPDATE:
            CheckForUpdate(false);
            break;
        case ACTION_ABOUT:
            ShowAbout();
            break;
        default:
            break;
    }
}

void EnableDisableVoiceMenu(bool enabled) {
    if (ts3Functions.setPluginMenuEnabled != nullptr) {
        const char* pluginId = PluginId();  // one ID for all the voices' items
        // In ascending ID order, as the client has always been told.
        for (int id = kLowestVoiceId; id <= kHighestVoiceId; ++id)
            if (IsEffect(id)) ts3Functions.setPluginMenuEnabled(pluginId, id, enabled ? 1 : 0);
    }
    const Action* action = FindAction(ACTION_ENABLE_DISABLE);
    PrintToCurrentTab(enabled ? action->message : action->messageOff);
}

// Event thread. Only the global plug-in menu carries actions; channel and
// client menu events are ignored.
void ts3plugin_onMenuItemEvent(uint64 /*serverConnectionHandlerID*/, PluginMenuType type, int menuItemID,
                               uint64 /*selectedItemID*/) {
    if (type != PLUGIN_MENU_TYPE_GLOBAL) return;
    try {
        HandleMenuAction(menuItemID);
    } catch (...) {
        // Starting the update thread can throw (std::system_error); the
        // action is then simply not carried out.
    }
}

// Event thread. Keywords match exactly; the hotkeys registered without an
// action do nothing.
void ts3plugin_onHotkeyEvent(const char* keyword) {
    const int id = ActionForHotkey(keyword);
    if (id == 0) return;
    try {
        HandleMenuAction(id);
    } catch (...) {
    }
}

void ts3plugin_onHotkeyRecordedEvent(const char* /*keyword*/, const char* /*key*/) {}
