#include <windows.h>

#include "delay.h"

void Delay(long milliseconds) {
    if (milliseconds <= 0) return;
    Sleep(static_cast<DWORD>(milliseconds));
}
