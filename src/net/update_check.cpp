// Placeholder until the update check lands.
#include "update_check.h"

void CheckForUpdate(bool) {}
void StopUpdateChecks() {}
