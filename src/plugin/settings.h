// The settings file: six KEY=value lines in the user's home directory.
#pragma once

// Rewrites the file from the voice state; silent on failure.
void SaveSettings();

// Reads the file into the voice state; when a file was read, applies the
// enable flag to the menu and prints the status line.
void LoadSettings();
