// The settings file is replaced, not rewritten in place where it can be: a
// write that fails half-way leaves the previous file whole, readers never see
// a partial file, and the file keeps its owner, its mode and its place behind
// a symbolic link. Only a regular file is ever replaced.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "client_emulator.h"
#include "fake_user.h"
#include "settings_support.h"
#include "test_support.h"
#include "settings_shape.h"
#include "wave_file.h"

using morindale_host::ClientEmulator;
using namespace morindale_test;

namespace {

const char* const kFileName = "MorindaleForTeamspeak.ini";

// --- Saves in a child program ----------------------------------------------
//
// Some saves must run as another user (root may write anything) or under a
// file-size limit. They run in a fresh start of this program, never in a
// fork of it: a fork copies the locks that the plug-in's and the emulator's
// threads hold at that moment, and a child that waits for one never ends.

constexpr const char* kSaveChildFlag = "--morindale-save-child";

// Exit codes of a save child, besides its count of settings warnings (0 to 99).
constexpr int kCannotDropRoot = 101;
constexpr int kCannotLimit = 102;
constexpr int kLimitDoesNotBite = 103;
constexpr int kChildFailed = 104;

std::size_t SettingsWarnings(const ClientEmulator& client) {
    std::size_t count = 0;
    for (const morindale_host::Call& call : client.calls("logMessage"))
        count += call.args.at(0).rfind("Settings", 0) == 0;
    return count;
}

// The child: argv is the flag, the home, the action (a menu item ID, or a
// hotkey keyword), "nobody" or "root", the file-size limit in bytes or "-",
// and a probe file that the limit must be seen to cut, or "-". The plug-in
// saves into the given home. It is not registered: registration would load
// the file, and the save starts from the initial voice state.
int RunSaveChild(int argc, char** argv) {
    if (argc != 7) return kChildFailed;
    const std::string home = argv[2], action = argv[3], user = argv[4], limit = argv[5], probe = argv[6];
    // Before the emulator makes its folders, so that nobody can remove them.
    if (user == "nobody" && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return kCannotDropRoot;
    int result = kChildFailed;
    try {
        ClientEmulator client;
        morindale_host::SetFakeHome(home.c_str());
        client.load();
        client.identify();
        client.setFunctionPointers();
        client.init();
        client.initMenus();
        client.initHotkeys();
        // Once the plug-in is loaded: its copy is larger than any limit here.
        if (limit != "-") {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlim_t bytes = std::stoull(limit);
            const struct rlimit cap = {bytes, bytes};
            if (::setrlimit(RLIMIT_FSIZE, &cap) != 0) return kCannotLimit;
        }
        if (probe != "-") {
            // The limit must really cut a write short, or the test proves nothing.
            const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const std::string text(77, 'p');
            const bool cut = fd >= 0 && ::write(fd, text.data(), text.size()) == 40 &&
                             ::write(fd, text.data(), text.size()) < 0 && errno == EFBIG;
            if (fd >= 0) ::close(fd);
            if (!cut) return kLimitDoesNotBite;
        }
        const std::size_t before = SettingsWarnings(client);
        if (action.find_first_not_of("0123456789") == std::string::npos) {
            client.menuItem(std::stoi(action));
        } else {
            client.hotkey(action.c_str());
        }
        const std::size_t count = SettingsWarnings(client) - before;
        result = count < 100 ? static_cast<int>(count) : 99;
    } catch (...) {
        result = kChildFailed;
    }
    // No leak check at exit: as nobody, LeakSanitizer may not inspect its
    // own threads. The emulator has removed its folder by now.
    std::fflush(nullptr);
    ::_exit(result);
}

// Runs `action` in a save child for the plug-in's settings in `home`; its
// exit code, or -1 when it did not end normally (killed after 60 s).
int SaveInAFreshClient(const std::string& home, const std::string& action, bool asNobody,
                       rlim_t fileSizeLimit = RLIM_INFINITY, const std::string& probe = "-") {
    const std::string limit = fileSizeLimit == RLIM_INFINITY ? "-" : std::to_string(fileSizeLimit);
    const ProgramRun run = RunProgram(
        {"/proc/self/exe", kSaveChildFlag, home, action, asNobody ? "nobody" : "root", limit, probe}, 60);
    if (run.exitCode < 0 || run.exitCode >= 100) std::fprintf(stderr, "save child: %s", run.err.c_str());
    return run.exitCode;
}

// Chooses an effect as user nobody: true when the child did; warnings, when
// given, receives the number of settings warnings it logged.
bool ChooseEffectAsNobody(ClientEmulator& client, int effect, rlim_t fileSizeLimit = RLIM_INFINITY,
                          int* warnings = nullptr) {
    const int code = SaveInAFreshClient(client.home(), std::to_string(effect), true, fileSizeLimit);
    if (code < 0 || code >= 100) return false;
    if (warnings != nullptr) *warnings = code;
    return true;
}

TEST(SettingsAtomicWrite, AWriteStoppedHalfWayLeavesThePreviousFileWhole) {
    ClientEmulator client;
    client.start();
    client.menuItem(6);
    client.hotkey("effect_pfmale");
    const std::string previous = ReadFile(client.settingsFile());
    ASSERT_EQ(previous, SettingsText(0, 13, 1));

    // In a child, files may grow to 40 bytes only: the new six lines (77
    // bytes) stop half-way, as on a full disk.
    const std::string probe = client.home() + "/probe";
    const int code = SaveInAFreshClient(client.home(), "effect_pbaby", false, 40, probe);
    ASSERT_NE(code, kLimitDoesNotBite) << "the file size limit did not cut the probe write";
    ASSERT_EQ(code, 0);
    ::unlink(probe.c_str());

    EXPECT_EQ(ReadFile(client.settingsFile()), previous);
    EXPECT_EQ(DirectoryEntries(client.home()), std::vector<std::string>{kFileName}) << "no temporary file left";

    // The parent was not affected and goes on saving normally.
    client.hotkey("effect_pbaby");
    EXPECT_EQ(ReadFile(client.settingsFile()), SettingsText(0, 15, 1));
}

TEST(SettingsAtomicWrite, NoTemporaryFilesStayBehind) {
    ClientEmulator client;
    client.start();
    for (int id = 7; id <= 17; ++id) client.menuItem(id);
    client.menuItem(6);
    client.menuItem(18);
    EXPECT_EQ(DirectoryEntries(client.home()), std::vector<std::string>{kFileName});
    EXPECT_EQ(ReadFile(client.settingsFile()), SettingsText(0, 17, 0));
}

TEST(SettingsAtomicWrite, TheFileKeepsItsOwnerAndMode) {
    // Root saving the user's file must not hand it over to root.
    ClientEmulator client;
    client.start();
    client.menuItem(12);
    ASSERT_EQ(::chown(client.settingsFile().c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(client.settingsFile().c_str(), 0604), 0);
    client.menuItem(13);
    struct stat info;
    ASSERT_EQ(::stat(client.settingsFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0604u);
    EXPECT_EQ(info.st_uid, 65534u);
    EXPECT_EQ(info.st_gid, 65534u);
    EXPECT_EQ(ReadFile(client.settingsFile()), SettingsText(1, 13, 1));
}

TEST(SettingsAtomicWrite, AnotherUsersFileThatCannotBeGivenBackIsRewrittenInPlace) {
    // The directory lets this user replace root's world-writable file, but
    // the new file could not be given to root: it is rewritten instead.
    ClientEmulator client;
    client.start();
    client.menuItem(12);
    ASSERT_EQ(::chmod(client.workDir().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(client.home().c_str(), 0777), 0);
    ASSERT_EQ(::chmod(client.settingsFile().c_str(), 0646), 0);
    ASSERT_TRUE(ChooseEffectAsNobody(client, 13)) << "could not drop root";
    struct stat info;
    ASSERT_EQ(::stat(client.settingsFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 0u);
    EXPECT_EQ(info.st_mode & 07777, 0646u);
    EXPECT_EQ(ReadFile(client.settingsFile()), SettingsText(1, 13, 1));
    EXPECT_EQ(DirectoryEntries(client.home()), std::vector<std::string>{kFileName});
}

TEST(SettingsAtomicWrite, ANewFileIsCreatedAsStdioWouldCreateIt) {
    ClientEmulator client;
    client.start();
    const mode_t previous = ::umask(027);
    client.menuItem(12);
    ::umask(previous);
    struct stat info;
    ASSERT_EQ(::stat(client.settingsFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);  // 0666 less the umask
}

TEST(SettingsAtomicWrite, ASymbolicLinkIsFollowedAndKept) {
    ClientEmulator client;
    const std::string target = client.workDir() + "/dotfiles/morindale.ini";
    ASSERT_EQ(::mkdir((client.workDir() + "/dotfiles").c_str(), 0755), 0);
    WriteFile(target, "EFFECT=8\n");
    ASSERT_EQ(::symlink("../dotfiles/morindale.ini", client.settingsFile().c_str()), 0);
    client.start();
    client.menuItem(18);
    struct stat info;
    ASSERT_EQ(::lstat(client.settingsFile().c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(ReadFile(target), SettingsText(1, 8, 0));
    EXPECT_EQ(DirectoryEntries(client.workDir() + "/dotfiles"), std::vector<std::string>{"morindale.ini"});
}

TEST(SettingsAtomicWrite, ALinkToAFileNotYetThereGetsItsTargetCreated) {
    ClientEmulator client;
    const std::string target = client.workDir() + "/dotfiles/morindale.ini";
    ASSERT_EQ(::mkdir((client.workDir() + "/dotfiles").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("../dotfiles/morindale.ini", client.settingsFile().c_str()), 0);
    client.start();
    client.menuItem(12);
    struct stat info;
    ASSERT_EQ(::lstat(client.settingsFile().c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode)) << "the link was replaced by a plain file";
    ASSERT_TRUE(FileExists(target));
    EXPECT_EQ(ReadFile(target), SettingsText(1, 12, 1));
    EXPECT_EQ(DirectoryEntries(client.workDir() + "/dotfiles"), std::vector<std::string>{"morindale.ini"});
    EXPECT_EQ(DirectoryEntries(client.home()), std::vector<std::string>{kFileName});
}

TEST(SettingsAtomicWrite, ALoopOfLinksIsLeftAsItIs) {
    // Opening for writing fails on a loop, and so does the replacement: the
    // user's links stay, the change stays in effect in memory.
    ClientEmulator client;
    const std::string other = client.home() + "/other.ini";
    ASSERT_EQ(::symlink("other.ini", client.settingsFile().c_str()), 0);
    ASSERT_EQ(::symlink(kFileName, other.c_str()), 0);
    client.start();
    client.menuItem(12);
    EXPECT_EQ(client.chatMessages().back(), "Pitch (male) voice active. [Morindale]");
    struct stat info;
    ASSERT_EQ(::lstat(client.settingsFile().c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(::lstat(other.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(DirectoryEntries(client.home()), (std::vector<std::string>{kFileName, "other.ini"}));
}

TEST(SettingsAtomicWrite, AFileTheUserMayNotWriteIsLeftAlone) {
    // As stdio's "w" would fail on it, so does the replacement, though the
    // directory would allow a rename. Root may write anything, so the check
    // runs in a child that has given up root.
    ClientEmulator client;
    client.start();
    client.menuItem(12);
    const std::string before = ReadFile(client.settingsFile());
    ASSERT_EQ(::chmod(client.workDir().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(client.home().c_str(), 0777), 0);
    ASSERT_EQ(::chmod(client.settingsFile().c_str(), 0444), 0);
    const bool choseAsNobody = ChooseEffectAsNobody(client, 13);
    ASSERT_TRUE(choseAsNobody) << "could not drop root";
    EXPECT_EQ(ReadFile(client.settingsFile()), before);
    EXPECT_EQ(DirectoryEntries(client.home()), std::vector<std::string>{kFileName});
}

TEST(SettingsAtomicWrite, AWritableFileInADirectoryTheUserMayNotWriteIsStillSaved) {
    // No new file can be made beside it, but stdio's "w" would rewrite it,
    // so the change must not be lost. Root may write anything, so the save
    // runs in a child that has given up root.
    ClientEmulator client;
    client.start();
    client.menuItem(12);
    ASSERT_EQ(::chmod(client.workDir().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(client.settingsFile().c_str(), 0666), 0);
    ASSERT_EQ(::chmod(client.home().c_str(), 0555), 0);
    const bool choseAsNobody = ChooseEffectAsNobody(client, 13);
    ASSERT_EQ(::chmod(client.home().c_str(), 0755), 0);
    ASSERT_TRUE(choseAsNobody) << "could not drop root";
    EXPECT_EQ(ReadFile(client.settingsFile()), SettingsText(1, 13, 1));
    EXPECT_EQ(DirectoryEntries(client.home()), std::vector<std::string>{kFileName});
}

TEST(SettingsAtomicWrite, AnInPlaceRewriteCutAtAnyByteLeavesTheOldOrTheNewFile) {
    // Home read-only, file writable: the save rewrites the file in place. A
    // file-size limit cuts its writes at every length in turn; the file must
    // then hold the old text or the new one, nothing in between. The old
    // files: shorter than the new one, and longer with a tail whose lines
    // would override the new ones if they were left behind it.
    const std::string newText = SettingsText(1, 13, 1);
    const std::string olds[] = {
        "EFFECT=8\n",
        SettingsText(0, 9, 0, 0, 0, 1500) + "EFFECT=16\nHEAR_VOICE=1\n# " + std::string(40, 'x') + "\n",
    };
    ClientEmulator client;
    client.start();
    ASSERT_EQ(::chmod(client.workDir().c_str(), 0755), 0);
    for (const std::string& old : olds) {
        bool savedAtLast = false;
        const rlim_t longest = std::max(old.size(), newText.size());
        for (rlim_t limit = 0; limit <= longest + 1; ++limit) {
            ASSERT_EQ(::chmod(client.home().c_str(), 0755), 0);
            WriteFile(client.settingsFile(), old);
            ASSERT_EQ(::chmod(client.settingsFile().c_str(), 0666), 0);
            ASSERT_EQ(::chmod(client.home().c_str(), 0555), 0);
            const bool chose = ChooseEffectAsNobody(client, 13, limit);
            ASSERT_EQ(::chmod(client.home().c_str(), 0755), 0);
            ASSERT_TRUE(chose) << "could not drop root or set the limit";
            const std::string text = ReadFile(client.settingsFile());
            if (text != old && text != newText) {
                ADD_FAILURE() << "limit " << limit << " of " << old.size() << "-byte file left:\n" << text;
                break;
            }
            savedAtLast = text == newText;
            ASSERT_EQ(DirectoryEntries(client.home()), std::vector<std::string>{kFileName});
        }
        EXPECT_TRUE(savedAtLast) << "no limit let the save through";
    }
}

TEST(SettingsAtomicWrite, ADeviceOrAFifoAtThePathIsNeverReplaced) {
    // Only the test's own nodes are ever at risk: a FIFO and a character
    // device made in the temporary folder, saved as root; and the system's
    // /dev/null only behind a link saved by a user who could not replace it.
    const auto warningsIn = [](const ClientEmulator& client) {
        std::vector<std::string> lines;
        for (const morindale_host::Call& call : client.calls("logMessage"))
            if (call.args.at(0).rfind("Settings", 0) == 0)
                lines.push_back(call.args.at(0) + " " + call.args.at(1) + " " + call.args.at(2) + " " + call.args.at(3));
        return lines;
    };
    {
        ClientEmulator client;
        ASSERT_EQ(::mkfifo(client.settingsFile().c_str(), 0666), 0);
        client.start();
        client.menuItem(12);
        client.menuItem(13);
        struct stat info;
        ASSERT_EQ(::lstat(client.settingsFile().c_str(), &info), 0);
        EXPECT_TRUE(S_ISFIFO(info.st_mode));
        EXPECT_EQ(DirectoryEntries(client.home()), std::vector<std::string>{kFileName});
        const std::string line = "Settings not saved: " + client.settingsFile() + " is not a regular file 2 Plugin 0";
        EXPECT_EQ(warningsIn(client), (std::vector<std::string>{line, line})) << "one warning per save";
        EXPECT_EQ(client.chatMessages().back(), "Pitch (female) voice active. [Morindale]");
    }
    {
        ClientEmulator client;
        const std::string device = client.workDir() + "/null";
        if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
            ASSERT_EQ(::symlink(device.c_str(), client.settingsFile().c_str()), 0);
            client.start();
            client.menuItem(12);
            struct stat info;
            ASSERT_EQ(::lstat(device.c_str(), &info), 0);
            EXPECT_TRUE(S_ISCHR(info.st_mode)) << "the device node was replaced";
            for (const std::string& name : DirectoryEntries(client.workDir()))
                EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
            EXPECT_EQ(warningsIn(client).size(), 1u);
        } else {
            std::fprintf(stderr, "no device node of our own (errno %d): that case is left out\n", errno);
        }
    }
    {
        ClientEmulator client;
        ASSERT_EQ(::symlink("/dev/null", client.settingsFile().c_str()), 0);
        client.start();
        ASSERT_EQ(::chmod(client.workDir().c_str(), 0755), 0);
        int warnings = -1;
        ASSERT_TRUE(ChooseEffectAsNobody(client, 12, RLIM_INFINITY, &warnings)) << "could not drop root";
        EXPECT_EQ(warnings, 1);
        struct stat info;
        ASSERT_EQ(::stat("/dev/null", &info), 0);
        EXPECT_TRUE(S_ISCHR(info.st_mode));
    }
}

TEST(SettingsAtomicWrite, TemporaryFilesOfAKilledSaveAreRemovedByTheNextSaveOnceAMinuteOld) {
    ClientEmulator client;
    client.start();
    client.menuItem(12);
    // A save killed before its rename leaves its file, named for its process.
    const pid_t gone = ::fork();
    ASSERT_GE(gone, 0);
    if (gone == 0) ::_exit(0);
    ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
    const std::string stray = std::string(kFileName) + "." + std::to_string(gone) + ".3.tmp";
    const std::string running = std::string(kFileName) + ".1.0.tmp";  // process 1 runs: may be saving
    const std::string notOurs = std::string(kFileName) + ".notes.tmp";
    // A process ID that is gone here may belong to a client in another PID
    // namespace (a sandbox) or on another machine sharing the home, whose
    // save is between write and rename: a file younger than a minute stays.
    const std::string fresh = std::string(kFileName) + "." + std::to_string(gone) + ".4.tmp";
    const std::string young = std::string(kFileName) + "." + std::to_string(gone) + ".5.tmp";
    for (const std::string& name : {stray, running, notOurs, fresh, young})
        WriteFile(client.home() + "/" + name, "ENABLED=0\n");
    auto age = [&client](const std::string& name, long seconds) {
        struct timespec times[2];
        ASSERT_EQ(::clock_gettime(CLOCK_REALTIME, &times[0]), 0);
        times[0].tv_sec -= seconds;
        times[1] = times[0];
        ASSERT_EQ(::utimensat(AT_FDCWD, (client.home() + "/" + name).c_str(), times, 0), 0);
    };
    age(stray, 61);
    age(running, 3600);
    age(notOurs, 3600);
    age(young, 50);
    client.menuItem(13);
    std::vector<std::string> expected = {kFileName, running, notOurs, fresh, young};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(DirectoryEntries(client.home()), expected);
    EXPECT_EQ(ReadFile(client.settingsFile()), SettingsText(1, 13, 1));
}

TEST(SettingsConcurrency, ReadersNeverSeeAPartialFileWhileSeveralThreadsSave) {
    ClientEmulator client;
    client.start();
    client.menuItem(12);
    constexpr int kRounds = 60;
    std::atomic<bool> writing{true};
    std::atomic<int> partial{0};
    std::atomic<int> reads{0};
    std::thread reader([&] {
        while (writing) {
            const std::string text = ReadFile(client.settingsFile());
            if (!morindale_test::IsWholeSettingsFile(text)) ++partial;
            ++reads;
        }
    });
    std::thread menus([&] {
        for (int i = 0; i < kRounds; ++i) client.menuItem(7 + i % 11);
    });
    std::thread hotkeys([&] {
        for (int i = 0; i < kRounds; ++i) client.hotkey(i % 2 == 0 ? "effect_hearvoice" : "effect_clone");
    });
    std::thread tabs([&] {
        for (int i = 0; i < kRounds; ++i) client.serverTabChanged(1 + i % 3);
    });
    menus.join();
    hotkeys.join();
    tabs.join();
    writing = false;
    reader.join();

    EXPECT_EQ(partial.load(), 0) << "of " << reads.load() << " reads";
    EXPECT_GT(reads.load(), 0);
    EXPECT_TRUE(morindale_test::IsWholeSettingsFile(ReadFile(client.settingsFile())));
    EXPECT_EQ(DirectoryEntries(client.home()), std::vector<std::string>{kFileName});
    // Every save confirmed itself; every load printed its status line.
    const auto messages = client.chatMessages();
    EXPECT_EQ(messages.size(), static_cast<std::size_t>(1 + 3 * kRounds));
}

TEST(SettingsConcurrency, TheWholeFileCheckRejectsPartialFiles) {
    EXPECT_TRUE(morindale_test::IsWholeSettingsFile(SettingsText(0, -3, 1, 0, 1, 2500)));
    EXPECT_FALSE(morindale_test::IsWholeSettingsFile(""));
    EXPECT_FALSE(morindale_test::IsWholeSettingsFile("ENABLED=1\nEFFECT=14\n"));
    EXPECT_FALSE(morindale_test::IsWholeSettingsFile(DefaultSettingsText().substr(0, 70)));
    EXPECT_FALSE(morindale_test::IsWholeSettingsFile(DefaultSettingsText() + "ENABLED=1\n"));
    EXPECT_FALSE(morindale_test::IsWholeSettingsFile("ENABLED=\nEFFECT=14\nHEAR_VOICE=1\nHEAR_MUSIC=1\nUSE_DIRECTSOUND=1\nCUSTOM_PITCH=0\n"));
}

}  // namespace

// A save child runs instead of the tests when started with its flag.
int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == kSaveChildFlag) return RunSaveChild(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
