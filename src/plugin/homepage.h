// Opening the product homepage in the user's web browser.
#pragma once

// Starts the system's opener ("open" on macOS, "xdg-open" elsewhere, the
// shell's ShellExecuteW on Windows) with the homepage address as its only
// argument and returns without waiting for it. Called on the client's event
// thread; blocks only for the few milliseconds a fork takes. The command line
// is fixed: no command interpreter, no text from outside.
void OpenHomepage();
