// libpulse, loaded at run time: a machine without it loses the monitor
// playback, not the whole plug-in. Only the types come from the headers; every
// call goes through the pointers below.
#pragma once

#if !defined(__APPLE__)

#include <pulse/pulseaudio.h>

struct PulseLibrary {
    decltype(&::pa_mainloop_new) mainloop_new;
    decltype(&::pa_mainloop_free) mainloop_free;
    decltype(&::pa_mainloop_get_api) mainloop_get_api;
    decltype(&::pa_mainloop_prepare) mainloop_prepare;
    decltype(&::pa_mainloop_poll) mainloop_poll;
    decltype(&::pa_mainloop_dispatch) mainloop_dispatch;
    decltype(&::pa_mainloop_wakeup) mainloop_wakeup;
    decltype(&::pa_context_new) context_new;
    decltype(&::pa_context_set_state_callback) context_set_state_callback;
    decltype(&::pa_context_connect) context_connect;
    decltype(&::pa_context_get_state) context_get_state;
    decltype(&::pa_context_errno) context_errno;
    decltype(&::pa_context_disconnect) context_disconnect;
    decltype(&::pa_context_unref) context_unref;
    decltype(&::pa_stream_new) stream_new;
    decltype(&::pa_stream_set_state_callback) stream_set_state_callback;
    decltype(&::pa_stream_set_write_callback) stream_set_write_callback;
    decltype(&::pa_stream_connect_playback) stream_connect_playback;
    decltype(&::pa_stream_get_state) stream_get_state;
    decltype(&::pa_stream_writable_size) stream_writable_size;
    decltype(&::pa_stream_begin_write) stream_begin_write;
    decltype(&::pa_stream_cancel_write) stream_cancel_write;
    decltype(&::pa_stream_write) stream_write;
    decltype(&::pa_stream_cork) stream_cork;
    decltype(&::pa_stream_drain) stream_drain;
    decltype(&::pa_stream_disconnect) stream_disconnect;
    decltype(&::pa_stream_unref) stream_unref;
    decltype(&::pa_operation_unref) operation_unref;
};

// Loads the library named `soname` and fills `pulse` with every function
// above; false when it or one of its functions is missing. The library stays
// mapped until the process ends, so that none of its own process-wide state
// can outlast it half-unloaded.
bool LoadPulseLibrary(const char* soname, PulseLibrary* pulse);

// libpulse.so.0, loaded on first use; null when it is not there.
const PulseLibrary* Pulse();

#endif
