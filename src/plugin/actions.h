// The action dispatcher behind the plug-in menu and the hotkeys.
#pragma once

// Carries out one action (IDs of catalogue.h); other IDs do nothing.
void HandleMenuAction(int id);

// Enables or greys the effect menu items and prints the status line.
void EnableDisableVoiceMenu(bool enabled);
