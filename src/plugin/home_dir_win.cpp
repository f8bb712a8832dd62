// The user's profile folder (C:\Users\<name>), the Windows counterpart of the
// home directory.
#include <windows.h>
#include <shlobj.h>

#include "home_dir.h"
#include "plugin_state.h"
#include "wide_text_win.h"

void BuildUserSettingsPath(char* out, std::size_t outSize) {
    if (out == nullptr || outSize == 0) return;
    out[0] = '\0';
    PWSTR profile = nullptr;
    char home[kConfigPathSize];
    const bool found = SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Profile, KF_FLAG_DEFAULT, nullptr, &profile)) &&
                       WideToUtf8(profile, home, sizeof home);
    CoTaskMemFree(profile);
    BuildSettingsPath(found ? home : nullptr, out, outSize);
}
