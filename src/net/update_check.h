// The update check: fetches the published version on a thread of its own
// and prints the outcome into the chat tab.
//
// Threads: CheckForUpdate and StopUpdateChecks run on the client's threads;
// each check runs on a thread the plug-in starts and StopUpdateChecks joins,
// so no check outlives ts3plugin_shutdown.
#pragma once

#include <atomic>

#include "plugin/relaxed_atomic.h"

// Set while a check thread works; tested and set in one step, so at most one
// check works at a time. Written by check threads only.
extern std::atomic<bool> gl_UpdateCheckActive;

// Mode of the most recent request: true for the start-up check. Written by
// CheckForUpdate, read by the working check when it waits and when it
// reports, so a menu request during the start-up check makes it report like
// a manual one.
extern RelaxedAtomic<bool> gl_UpdateCheckAutomatic;

// Lets CheckForUpdate start checks; called by init, before its own check.
void EnableUpdateChecks();

// Starts one check; automatic checks wait 2 s first and speak only about a
// new version. Returns at once. A request while a check works starts a
// thread that ends silently. Does nothing before EnableUpdateChecks and
// from the start of StopUpdateChecks until the next EnableUpdateChecks, so
// that a request after shutdown cannot start a thread in a library that is
// about to be unloaded.
void CheckForUpdate(bool automatic);

// Ends every running check at once (sleeps, lookups, connects and reads are
// cut short, nothing more is printed) and waits for its thread; called by
// shutdown. Later requests are refused until EnableUpdateChecks.
void StopUpdateChecks();
