#include "fake_user.h"

#include <dlfcn.h>
#include <pwd.h>

#include <mutex>
#include <string>

namespace {

std::mutex g_mutex;
bool g_override = false;
bool g_missing = false;
std::string g_home;
struct passwd g_record;

using GetpwuidFn = struct passwd* (*)(uid_t);

GetpwuidFn RealGetpwuid() {
    static GetpwuidFn real = reinterpret_cast<GetpwuidFn>(dlsym(RTLD_NEXT, "getpwuid"));
    return real;
}

}  // namespace

namespace morindale_host {

void SetFakeHome(const char* home) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_override = home != nullptr;
    g_home = home != nullptr ? home : "";
}

void SetFakeUserMissing(bool missing) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_missing = missing;
}

}  // namespace morindale_host

extern "C" __attribute__((visibility("default"))) struct passwd* getpwuid(uid_t uid) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_missing) return nullptr;
    if (!g_override) return RealGetpwuid() != nullptr ? RealGetpwuid()(uid) : nullptr;
    static char name[] = "morindale-test";
    static char nothing[] = "";
    g_record = passwd{};
    g_record.pw_name = name;
    g_record.pw_passwd = nothing;
    g_record.pw_uid = uid;
    g_record.pw_gid = 0;
    g_record.pw_gecos = nothing;
    g_record.pw_dir = &g_home[0];
    g_record.pw_shell = nothing;
    return &g_record;
}
