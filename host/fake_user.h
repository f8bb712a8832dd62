// The home directory that the plug-in sees. The plug-in finds the user's home
// through getpwuid(getuid()); executables linked with the emulator export
// their own getpwuid, which answers with the home set here, so that tests and
// tools never touch the real user's settings.
#pragma once

namespace morindale_host {

// Home directory handed to the plug-in; null restores the real user record.
void SetFakeHome(const char* home);

// When set, getpwuid finds no user record at all.
void SetFakeUserMissing(bool missing);

}  // namespace morindale_host
