// Placeholder until the monitor playback lands.
#include "monitor.h"

int WAVE_Set_WIN_Params(unsigned int, int, int) { return 0; }
int WAVE_WIN_Play_Samples(const void*, int) { return 0; }
void WAVE_WIN_Audio_close() {}
