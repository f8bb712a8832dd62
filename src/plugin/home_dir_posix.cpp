// The home directory from the user record, as getpwuid(getuid()) gives it.
#include "home_dir.h"

#include <pwd.h>
#include <unistd.h>

#include "plugin_state.h"

void BuildUserSettingsPath(char* out, std::size_t outSize) {
    const struct passwd* user = getpwuid(getuid());
    BuildSettingsPath(user != nullptr ? user->pw_dir : nullptr, out, outSize);
}
