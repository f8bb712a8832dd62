// The update check: fetches the published version on a thread of its own
// and prints the outcome into the chat tab.
#pragma once

// Starts one check; automatic checks wait 2 s first and speak only about a
// new version.
void CheckForUpdate(bool automatic);

// Ends every running check and waits for its thread; called by shutdown.
void StopUpdateChecks();
