#include "delay.h"

#include <unistd.h>

void Delay(long milliseconds) {
    if (milliseconds <= 0) return;
    // usleep may refuse a count of a second or more, so long sleeps go in steps.
    while (milliseconds > 0) {
        const long step = milliseconds > 500 ? 500 : milliseconds;
        usleep(static_cast<useconds_t>(step) * 1000u);
        milliseconds -= step;
    }
}
