// Placeholder until the settings file lands.
#include "settings.h"

void SaveSettings() {}
void LoadSettings() {}
