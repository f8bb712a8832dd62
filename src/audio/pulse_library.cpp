#if !defined(__APPLE__)

#include "pulse_library.h"

#include <dlfcn.h>

namespace {

template <typename F>
bool Resolve(void* library, const char* name, F* function) {
    *function = reinterpret_cast<F>(dlsym(library, name));
    return *function != nullptr;
}

}  // namespace

bool LoadPulseLibrary(const char* soname, PulseLibrary* pulse) {
    *pulse = PulseLibrary{};
    // RTLD_NODELETE: libpulse keeps process-wide state of its own, which must
    // stay valid even after this plug-in is unloaded.
    void* library = dlopen(soname, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (library == nullptr) return false;

    bool ok = true;
#define MORINDALE_RESOLVE(member) ok = Resolve(library, "pa_" #member, &pulse->member) && ok
    MORINDALE_RESOLVE(mainloop_new);
    MORINDALE_RESOLVE(mainloop_free);
    MORINDALE_RESOLVE(mainloop_get_api);
    MORINDALE_RESOLVE(mainloop_prepare);
    MORINDALE_RESOLVE(mainloop_poll);
    MORINDALE_RESOLVE(mainloop_dispatch);
    MORINDALE_RESOLVE(mainloop_wakeup);
    MORINDALE_RESOLVE(context_new);
    MORINDALE_RESOLVE(context_set_state_callback);
    MORINDALE_RESOLVE(context_connect);
    MORINDALE_RESOLVE(context_get_state);
    MORINDALE_RESOLVE(context_errno);
    MORINDALE_RESOLVE(context_disconnect);
    MORINDALE_RESOLVE(context_unref);
    MORINDALE_RESOLVE(stream_new);
    MORINDALE_RESOLVE(stream_set_state_callback);
    MORINDALE_RESOLVE(stream_set_write_callback);
    MORINDALE_RESOLVE(stream_connect_playback);
    MORINDALE_RESOLVE(stream_get_state);
    MORINDALE_RESOLVE(stream_writable_size);
    MORINDALE_RESOLVE(stream_begin_write);
    MORINDALE_RESOLVE(stream_cancel_write);
    MORINDALE_RESOLVE(stream_write);
    MORINDALE_RESOLVE(stream_cork);
    MORINDALE_RESOLVE(stream_drain);
    MORINDALE_RESOLVE(stream_disconnect);
    MORINDALE_RESOLVE(stream_unref);
    MORINDALE_RESOLVE(operation_unref);
#undef MORINDALE_RESOLVE
    if (!ok) *pulse = PulseLibrary{};
    return ok;
}

const PulseLibrary* Pulse() {
    static PulseLibrary pulse;
    static const bool loaded = LoadPulseLibrary("libpulse.so.0", &pulse);
    return loaded ? &pulse : nullptr;
}

#endif
