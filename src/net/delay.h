// Millisecond sleep of the calling thread.
#pragma once

// Sleeps for `milliseconds` (0 or less: returns at once). Not interruptible:
// waits that shutdown must be able to cut short use StopSignal instead.
void Delay(long milliseconds);
