// The homepage on Windows: the shell opens the address with the user's
// browser, as a double-click on a link would. No command interpreter sees it.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include "catalogue.h"
#include "homepage.h"
#include "wide_text_win.h"

void OpenHomepage() {
    wchar_t address[512];
    if (!Utf8ToWide(kHomepageUrl, address, sizeof address / sizeof address[0])) return;
    // The shell may hand the address to COM components; it asks for COM on
    // the calling thread. A thread that already has it keeps its own.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    // The result is ignored, as on the other platforms: nothing to tell the
    // user that the browser would not already show.
    ShellExecuteW(nullptr, L"open", address, nullptr, nullptr, SW_SHOWNORMAL);
    if (SUCCEEDED(com)) CoUninitialize();
}
