// The Homepage item. A fake xdg-open first in PATH records how it was started
// and waits to be released, so no real browser ever opens. The test process
// becomes a child subreaper: the opener, orphaned by the plug-in's short-lived
// intermediate, is re-parented to us and can be waited for, and any child the
// plug-in failed to reap would show up here as well.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "client_emulator.h"
#include "settings_support.h"
#include "test_support.h"

using morindale_host::ClientEmulator;
using namespace morindale_test;

namespace {

const std::string kExpectedAddress = "http://" MORINDALE_UPDATE_HOST "/teamspeak";

void WriteExecutable(const std::string& path, const std::string& text) {
    WriteFile(path, text);
    ::chmod(path.c_str(), 0755);
}

// Waits up to 10 s for a file to appear.
bool WaitForFile(const std::string& path) {
    for (int i = 0; i < 1000; ++i) {
        if (FileExists(path)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// True when we have no child at all, neither running nor a zombie.
bool NoChildren() {
    int status;
    return ::waitpid(-1, &status, WNOHANG) < 0 && errno == ECHILD;
}

class Homepage : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
        client_.start();
        dir_ = client_.workDir() + "/opener";
        ASSERT_EQ(::mkdir(dir_.c_str(), 0755), 0);
        ASSERT_EQ(::mkdir((dir_ + "/bin").c_str(), 0755), 0);
        const char* path = std::getenv("PATH");
        oldPath_ = path != nullptr ? path : "";
        // An inheritable descriptor, as a client has many; the opener must not get it.
        leakCheckFd_ = ::open("/dev/null", O_RDONLY);
        ASSERT_GE(leakCheckFd_, 3);
        WriteExecutable(dir_ + "/bin/xdg-open",
                        "#!/bin/sh\n"
                        "d='" + dir_ + "'\n"
                        "{\n"
                        "  echo \"argc=$#\"\n"
                        "  for a in \"$@\"; do echo \"arg=$a\"; done\n"
                        "  if [ -e /proc/$$/fd/" + std::to_string(leakCheckFd_) + " ]; then echo fd=inherited; "
                        "else echo fd=closed; fi\n"
                        // Builtins only: dash blocks every signal while it forks.
                        "  while IFS= read -r l; do case \"$l\" in SigBlk:*|SigIgn:*) echo \"$l\";; esac; "
                        "done < /proc/$$/status\n"
                        "} > \"$d/record.part\"\n"
                        "echo $$ > \"$d/pid\"\n"
                        "mv \"$d/record.part\" \"$d/record\"\n"
                        "i=0\n"
                        "while [ ! -e \"$d/release\" ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i+1)); done\n");
        ::setenv("PATH", (dir_ + "/bin:/usr/bin:/bin").c_str(), 1);
        client_.clearCalls();
    }

    void TearDown() override {
        ::setenv("PATH", oldPath_.c_str(), 1);
        WriteFile(dir_ + "/release", "");
        // Reap whatever is left, bounded: the fake opener ends within 10 s.
        for (int i = 0; i < 1000 && !NoChildren(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (leakCheckFd_ >= 0) ::close(leakCheckFd_);
    }

    ClientEmulator client_;
    std::string dir_;
    std::string oldPath_;
    int leakCheckFd_ = -1;
};

TEST_F(Homepage, OpensTheAddressWithoutWaitingForTheBrowser) {
    client_.menuItem(19);
    // menuItem has returned; the opener is still running, waiting for us.
    ASSERT_TRUE(WaitForFile(dir_ + "/record"));
    const pid_t opener = std::atoi(ReadFile(dir_ + "/pid").c_str());
    ASSERT_GT(opener, 1);
    int status = 0;
    EXPECT_EQ(::waitpid(opener, &status, WNOHANG), 0) << "the opener is still running";

    const std::string record = ReadFile(dir_ + "/record");
    EXPECT_NE(record.find("argc=1\narg=" + kExpectedAddress + "\nfd=closed\n"), std::string::npos) << record;
    EXPECT_NE(record.find("SigBlk:\t0000000000000000\n"), std::string::npos) << record;
    EXPECT_TRUE(client_.chatMessages().empty());
    EXPECT_FALSE(FileExists(client_.settingsFile()));

    WriteFile(dir_ + "/release", "");
    ASSERT_EQ(::waitpid(opener, &status, 0), opener);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(NoChildren()) << "the plug-in left its intermediate process unreaped";
}

TEST_F(Homepage, TheOpenerStartsWithDefaultSignalHandling) {
    // The client's event thread may block or ignore signals; the browser
    // must not inherit that.
    sigset_t blocked, previous;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGUSR1);
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &blocked, &previous), 0);
    struct sigaction ignore = {}, previousTerm = {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGTERM, &ignore, &previousTerm), 0);

    client_.menuItem(19);

    ::sigaction(SIGTERM, &previousTerm, nullptr);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ASSERT_TRUE(WaitForFile(dir_ + "/record"));
    const std::string record = ReadFile(dir_ + "/record");
    EXPECT_NE(record.find("SigBlk:\t0000000000000000\n"), std::string::npos) << record;
    // SIGTERM is signal 15: bit 0x4000 of the ignored set.
    const std::size_t at = record.find("SigIgn:\t");
    ASSERT_NE(at, std::string::npos) << record;
    const unsigned long long ignored = std::strtoull(record.c_str() + at + 8, nullptr, 16);
    EXPECT_EQ(ignored & 0x4000ull, 0ull) << record;
}

TEST_F(Homepage, EveryClickStartsOneOpener) {
    client_.menuItem(19);
    ASSERT_TRUE(WaitForFile(dir_ + "/record"));
    const pid_t first = std::atoi(ReadFile(dir_ + "/pid").c_str());
    ::unlink((dir_ + "/record").c_str());
    client_.menuItem(19);
    ASSERT_TRUE(WaitForFile(dir_ + "/record"));
    const pid_t second = std::atoi(ReadFile(dir_ + "/pid").c_str());
    EXPECT_NE(first, second);
    WriteFile(dir_ + "/release", "");
    int status;
    EXPECT_EQ(::waitpid(first, &status, 0), first);
    EXPECT_EQ(::waitpid(second, &status, 0), second);
    EXPECT_TRUE(NoChildren());
}

TEST_F(Homepage, RelativePathEntriesAreNotSearched) {
    // An xdg-open in a directory named relatively in PATH would run whatever
    // lies in the client's working directory: it is passed over.
    const std::string cwd = dir_ + "/cwd";
    ASSERT_EQ(::mkdir(cwd.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((cwd + "/relbin").c_str(), 0755), 0);
    WriteExecutable(cwd + "/relbin/xdg-open", "#!/bin/sh\necho ran > '" + dir_ + "/record'\n");
    char previous[4096];
    ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(::chdir(cwd.c_str()), 0);
    ::setenv("PATH", "relbin::.", 1);
    client_.menuItem(19);
    ASSERT_EQ(::chdir(previous), 0);
    EXPECT_TRUE(NoChildren()) << "nothing was started";
    EXPECT_FALSE(FileExists(dir_ + "/record"));
}

TEST_F(Homepage, NoOpenerAvailableDoesNothing) {
    ::setenv("PATH", (dir_ + "/empty:/nonexistent").c_str(), 1);
    client_.menuItem(19);
    EXPECT_TRUE(NoChildren());
    EXPECT_TRUE(client_.chatMessages().empty());
    EXPECT_FALSE(FileExists(client_.settingsFile()));
}

}  // namespace
