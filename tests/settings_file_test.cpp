// The settings file through the built plug-in: what each action writes, byte
// for byte, and how every load treats the file, from registration and from
// server-tab changes. "Probe": menu item 18 rewrites the whole file (with
// HEAR_VOICE inverted), which shows the values in memory.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "client_emulator.h"
#include "fake_user.h"
#include "settings_support.h"
#include "test_support.h"

using morindale_host::ClientEmulator;
using namespace morindale_test;

namespace {

const char* const kFileName = "MorindaleForTeamspeak.ini";

// A client whose home holds `text` as the settings file before it starts.
void StartWithFile(ClientEmulator& client, const std::string& text) {
    WriteFile(client.settingsFile(), text);
    client.start();
}

std::string Probe(ClientEmulator& client) {
    client.menuItem(18);
    return ReadFile(client.settingsFile());
}

// Loads the file as it is now through a server-tab change; returns the chat
// lines and menu calls that the load made.
void Reload(ClientEmulator& client, uint64 tab = 2) {
    client.clearCalls();
    client.serverTabChanged(tab);
}

// A loud tone for the capture hook.
std::vector<short> Tone() {
    std::vector<int16_t> tone = Sine(300.0, 12000.0, 960);
    return std::vector<short>(tone.begin(), tone.end());
}

bool VoiceUntouched(ClientEmulator& client) {
    const std::vector<short> original = Tone();
    std::vector<short> samples = original;
    const int edited = client.voiceBlock(samples.data(), static_cast<int>(samples.size()));
    return edited == EDIT_FLAG_SENDING && samples == original;
}

TEST(SettingsFile, NothingIsReadOrWrittenBeforeTheFirstChange) {
    ClientEmulator client;
    client.start();
    client.serverTabChanged(2);
    client.serverTabChanged(3);
    EXPECT_TRUE(client.chatMessages().empty());
    EXPECT_TRUE(client.calls("setPluginMenuEnabled").empty());
    EXPECT_EQ(DirectoryEntries(client.home()), std::vector<std::string>{});
}

TEST(SettingsFile, EveryChangeRewritesTheWholeFile) {
    ClientEmulator client;
    client.start();
    client.hotkey("effect_pmale");
    EXPECT_EQ(ReadFile(client.settingsFile()), "ENABLED=1\nEFFECT=12\nHEAR_VOICE=1\nHEAR_MUSIC=1\n"
                                               "USE_DIRECTSOUND=1\nCUSTOM_PITCH=0\n");
    client.menuItem(6);
    EXPECT_EQ(ReadFile(client.settingsFile()), "ENABLED=0\nEFFECT=12\nHEAR_VOICE=1\nHEAR_MUSIC=1\n"
                                               "USE_DIRECTSOUND=1\nCUSTOM_PITCH=0\n");
    client.hotkey("effect_hearvoice");
    EXPECT_EQ(ReadFile(client.settingsFile()), "ENABLED=0\nEFFECT=12\nHEAR_VOICE=0\nHEAR_MUSIC=1\n"
                                               "USE_DIRECTSOUND=1\nCUSTOM_PITCH=0\n");
    client.menuItem(17);
    EXPECT_EQ(ReadFile(client.settingsFile()), "ENABLED=0\nEFFECT=17\nHEAR_VOICE=0\nHEAR_MUSIC=1\n"
                                               "USE_DIRECTSOUND=1\nCUSTOM_PITCH=0\n");
    EXPECT_EQ(DirectoryEntries(client.home()), std::vector<std::string>{kFileName});
}

// Clients of API 20 initialise before they register the ID, later ones the
// other way round; the settings load once, at whichever comes last.
class SettingsStartOrder : public ::testing::TestWithParam<morindale_host::StartOrder> {};

TEST_P(SettingsStartOrder, StartLoadsEveryKeyOncePrintsTheStatusLineAndGreysTheItems) {
    morindale_host::Options options;
    options.startOrder = GetParam();
    ClientEmulator client(options);
    StartWithFile(client, "ENABLED=0\nEFFECT=12\nHEAR_VOICE=0\nHEAR_MUSIC=0\nUSE_DIRECTSOUND=0\nCUSTOM_PITCH=1500\n");
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{kDisabledLine});
    EXPECT_EQ(MenuEnabledCalls(client), EffectItemsSetTo(0));
    EXPECT_TRUE(VoiceUntouched(client));
    // From API 21 on the path query takes the ID: with no ID yet, none is made.
    const bool idBeforeInit = GetParam() == morindale_host::StartOrder::kRegisterFirst;
    EXPECT_EQ(client.calls("getPluginPath").size(), MORINDALE_PLUGIN_API >= 21 && !idBeforeInit ? 0u : 1u);
    EXPECT_EQ(Probe(client), SettingsText(0, 12, 1, 0, 0, 1500));

    // Shut down and started again in the same process: one load again.
    client.shutdown();
    client.clearCalls();
    if (client.registersBeforeInit()) {
        client.registerPluginID();
        EXPECT_TRUE(client.chatMessages().empty()) << "loaded before init built the path";
        client.init();
    } else {
        client.init();
        EXPECT_TRUE(client.chatMessages().empty()) << "loaded before the ID was registered";
        client.registerPluginID();
    }
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{kDisabledLine});
    client.clearCalls();
    client.hotkey("effect_pfmale");
    EXPECT_EQ(MenuEnabledCalls(client), std::vector<std::string>{});
    EXPECT_EQ(ReadFile(client.settingsFile()), SettingsText(0, 13, 1, 0, 0, 1500));
}

INSTANTIATE_TEST_SUITE_P(BothClientOrders, SettingsStartOrder,
                         ::testing::Values(morindale_host::StartOrder::kInitFirst,
                                           morindale_host::StartOrder::kRegisterFirst),
                         [](const auto& info) {
                             return info.param == morindale_host::StartOrder::kInitFirst ? "InitFirst"
                                                                                         : "RegisterFirst";
                         });

TEST(SettingsFile, LoadingDoesNotWriteTheFile) {
    const std::string handEdited = "EFFECT=12\n# a note\n";
    ClientEmulator client;
    StartWithFile(client, handEdited);
    client.serverTabChanged(2);
    EXPECT_EQ(ReadFile(client.settingsFile()), handEdited);
}

TEST(SettingsFile, KeysTheFileLacksKeepTheirValuesInMemory) {
    ClientEmulator client;
    client.start();
    client.menuItem(6);   // disabled
    client.menuItem(18);  // monitoring off
    WriteFile(client.settingsFile(), "EFFECT=12\n");
    Reload(client);
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{kDisabledLine});
    EXPECT_EQ(MenuEnabledCalls(client), EffectItemsSetTo(0));
    EXPECT_EQ(Probe(client), SettingsText(0, 12, 1));  // monitoring was off, the probe turns it on
}

TEST(SettingsFile, KeysAreExactAndCaseSensitive) {
    ClientEmulator client;
    StartWithFile(client, " ENABLED=0\nenabled=0\nENABLED =0\nEFFECT\t=12\nHEAR_VOICE\n=0\n");
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{kEnabledLine});
    EXPECT_EQ(Probe(client), SettingsText(1, 14, 0));
}

TEST(SettingsFile, TheValueStartsAfterTheFirstEquals) {
    ClientEmulator client;
    StartWithFile(client, "ENABLED=0=1\n");
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{kDisabledLine});
}

TEST(SettingsFile, ValuesThatAreNoNumbersLoadAsZero) {
    ClientEmulator client;
    StartWithFile(client, "ENABLED=yes\nEFFECT=abc\nHEAR_VOICE=\n");
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{kDisabledLine});
    EXPECT_EQ(Probe(client), SettingsText(0, 0, 1));  // HEAR_VOICE loaded 0, the probe inverts it
}

TEST(SettingsFile, AnEffectOutsideTheCatalogueLeavesTheVoiceAlone) {
    for (int effect : {6, 99}) {
        ClientEmulator client;
        StartWithFile(client, "EFFECT=" + std::to_string(effect) + "\n");
        EXPECT_EQ(client.chatMessages(), std::vector<std::string>{kEnabledLine});
        EXPECT_TRUE(VoiceUntouched(client)) << effect;
        EXPECT_EQ(Probe(client), SettingsText(1, effect, 0));
        client.hotkey("effect_robovoice");
        EXPECT_EQ(ReadFile(client.settingsFile()), SettingsText(1, 16, 0));
        EXPECT_FALSE(VoiceUntouched(client)) << effect;
    }
}

TEST(SettingsFile, CustomPitchGoesThroughFloat) {
    const std::pair<int, int> cases[] = {{1500, 1500}, {251, 250}, {0, 0}, {-1500, -1500}, {-251, -250}};
    for (const auto& [stored, written] : cases) {
        ClientEmulator client;
        StartWithFile(client, "CUSTOM_PITCH=" + std::to_string(stored) + "\n");
        EXPECT_EQ(Probe(client), SettingsText(1, 14, 0, 1, 1, written)) << stored;
    }
}

TEST(SettingsFile, NumbersBeyondAnIntSaturate) {
    {
        ClientEmulator client;
        StartWithFile(client, "ENABLED=4294967296\nEFFECT=99999999999\nCUSTOM_PITCH=99999999999\n");
        EXPECT_EQ(client.chatMessages(), std::vector<std::string>{kEnabledLine});
        EXPECT_EQ(Probe(client), SettingsText(1, INT_MAX, 0, 1, 1, INT_MAX));
    }
    {
        ClientEmulator client;
        StartWithFile(client, "ENABLED=-4294967296\nEFFECT=-99999999999\nCUSTOM_PITCH=-2147483648\n");
        EXPECT_EQ(client.chatMessages(), std::vector<std::string>{kEnabledLine});
        EXPECT_EQ(Probe(client), SettingsText(1, INT_MIN, 0, 1, 1, INT_MIN));
    }
}

TEST(SettingsFile, CarriageReturnLineEndsLoadLikeNewlines) {
    ClientEmulator client;
    StartWithFile(client,
                  "ENABLED=0\r\nEFFECT=13\r\nHEAR_VOICE=1\r\nHEAR_MUSIC=0\r\nUSE_DIRECTSOUND=0\r\nCUSTOM_PITCH=2500\r\n");
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{kDisabledLine});
    EXPECT_EQ(Probe(client), SettingsText(0, 13, 0, 0, 0, 2500));
}

TEST(SettingsFile, TheLastOfTwoLinesWinsAndTheLastLineNeedsNoNewline) {
    ClientEmulator client;
    StartWithFile(client, "EFFECT=8\nENABLED=0\nEFFECT=10\nENABLED=1");
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{kEnabledLine});
    EXPECT_EQ(Probe(client), SettingsText(1, 10, 0));
}

TEST(SettingsFile, AnEmptyFileStillAppliesTheStatusLine) {
    ClientEmulator client;
    StartWithFile(client, "");
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{kEnabledLine});
    EXPECT_EQ(MenuEnabledCalls(client), EffectItemsSetTo(1));
}

TEST(SettingsFile, ALongLineIsReadInPiecesOf10239Characters) {
    // 10239 characters fill the 10240-byte buffer; what follows is a line of
    // its own.
    ClientEmulator client;
    StartWithFile(client, std::string(10239, 'x') + "EFFECT=12\n");
    EXPECT_EQ(Probe(client), SettingsText(1, 12, 0));
}

TEST(SettingsFile, APieceBoundaryCanSplitAKey) {
    // Here the first piece ends with "E", so the second begins "FFECT=12".
    ClientEmulator client;
    StartWithFile(client, std::string(10238, 'x') + "EFFECT=12\n");
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{kEnabledLine});
    EXPECT_EQ(Probe(client), SettingsText(1, 14, 0));
}

TEST(SettingsFile, AValueCutByAPieceBoundaryKeepsItsFirstPart) {
    // The first piece ends "...001"; the rest, "2\n", has no "=". Read whole,
    // the line would give 12.
    ClientEmulator client;
    StartWithFile(client, "EFFECT=" + std::string(10231, '0') + "1" + "2\n");
    EXPECT_EQ(Probe(client), SettingsText(1, 1, 0));
}

TEST(SettingsFile, EveryServerTabChangePrintsTheStatusLineWhenAFileExists) {
    ClientEmulator client;
    StartWithFile(client, DefaultSettingsText());
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{kEnabledLine});
    client.clearCalls();
    for (uint64 tab : {2u, 3u, 2u}) client.serverTabChanged(tab);
    EXPECT_EQ(client.chatMessages(), (std::vector<std::string>{kEnabledLine, kEnabledLine, kEnabledLine}));
    std::vector<std::string> threeTimes;
    for (int i = 0; i < 3; ++i)
        for (const std::string& call : EffectItemsSetTo(1)) threeTimes.push_back(call);
    EXPECT_EQ(MenuEnabledCalls(client), threeTimes);
}

TEST(SettingsFile, AFileRemovedLaterMeansNoStatusLineAndNoChange) {
    ClientEmulator client;
    StartWithFile(client, "ENABLED=0\nEFFECT=11\n");
    ASSERT_EQ(::unlink(client.settingsFile().c_str()), 0);
    Reload(client);
    EXPECT_TRUE(client.chatMessages().empty());
    EXPECT_TRUE(client.calls("setPluginMenuEnabled").empty());
    EXPECT_EQ(Probe(client), SettingsText(0, 11, 0));
}

TEST(SettingsFile, ARestartRestoresEffectEnableFlagAndMonitoring) {
    ClientEmulator client;
    client.start();
    client.hotkey("effect_pbaby");
    client.menuItem(6);
    client.menuItem(18);
    const std::string saved = ReadFile(client.settingsFile());
    ASSERT_EQ(saved, SettingsText(0, 15, 0));
    client.unload();

    client.clearCalls();
    client.start();  // a fresh instance of the library, same home
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{kDisabledLine});
    EXPECT_EQ(MenuEnabledCalls(client), EffectItemsSetTo(0));
    EXPECT_TRUE(VoiceUntouched(client));
    client.clearCalls();
    client.menuItem(18);
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{"Hear you own voice is On [Morindale]"});
    EXPECT_EQ(ReadFile(client.settingsFile()), SettingsText(0, 15, 1));
}

TEST(SettingsFile, AnUnwritableHomeLeavesEveryActionInEffectSilently) {
    // A home that is a regular file: no file can be created below it, not
    // even by root.
    ClientEmulator client;
    const std::string home = client.workDir() + "/home-is-a-file";
    WriteFile(home, "not a directory");
    morindale_host::SetFakeHome(home.c_str());
    client.start();
    client.hotkey("effect_robovoice");
    EXPECT_FALSE(VoiceUntouched(client));
    client.menuItem(6);
    EXPECT_TRUE(VoiceUntouched(client));
    client.menuItem(18);
    client.serverTabChanged(2);
    EXPECT_EQ(client.chatMessages(),
              (std::vector<std::string>{"Robotic voice active. [Morindale]", kDisabledLine,
                                        "Hear you own voice is Off [Morindale]"}));
    EXPECT_EQ(ReadFile(home), "not a directory");
    EXPECT_TRUE(FindNamed(client.workDir(), kFileName).empty());
}

TEST(SettingsFile, ADirectoryInPlaceOfTheFileIsNeitherReadNorReplaced) {
    ClientEmulator client;
    ASSERT_EQ(::mkdir(client.settingsFile().c_str(), 0755), 0);
    client.start();
    EXPECT_TRUE(client.chatMessages().empty());
    client.menuItem(12);
    struct stat info;
    ASSERT_EQ(::stat(client.settingsFile().c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(DirectoryEntries(client.home()), std::vector<std::string>{kFileName});
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{"Pitch (male) voice active. [Morindale]"});
}

TEST(SettingsFile, AFifoInPlaceOfTheFileDoesNotBlockTheLoad) {
    ClientEmulator client;
    ASSERT_EQ(::mkfifo(client.settingsFile().c_str(), 0644), 0);
    ::alarm(20);  // a load blocked in open ends the test instead of hanging it
    client.start();
    client.serverTabChanged(2);
    ::alarm(0);
    EXPECT_TRUE(client.chatMessages().empty());
}

TEST(SettingsPath, AHomeEndingInASlashWritesTheSameFile) {
    ClientEmulator client;
    const std::string home = client.home() + "/";
    morindale_host::SetFakeHome(home.c_str());
    client.start();
    client.menuItem(13);
    EXPECT_EQ(ReadFile(client.home() + "/" + kFileName), SettingsText(1, 13, 1));
    EXPECT_EQ(FindNamed(client.workDir(), kFileName).size(), 1u);
}

// Runs the test body with the working directory in a fresh folder of the
// client, so that a file written to a relative path would be found.
class InOwnWorkingDirectory {
public:
    explicit InOwnWorkingDirectory(const std::string& dir) {
        ::mkdir(dir.c_str(), 0755);
        if (::getcwd(previous_, sizeof previous_) == nullptr) previous_[0] = '\0';
        changed_ = ::chdir(dir.c_str()) == 0;
    }
    ~InOwnWorkingDirectory() {
        if (changed_ && previous_[0] != '\0' && ::chdir(previous_) != 0) {
        }
    }
    bool changed() const { return changed_; }

private:
    char previous_[4096];
    bool changed_ = false;
};

TEST(SettingsPath, AHomeTooLongForThePathWritesNothingAnywhere) {
    ClientEmulator client;
    InOwnWorkingDirectory cwd(client.workDir() + "/cwd");
    ASSERT_TRUE(cwd.changed());
    // A real directory whose path leaves no room for "/MorindaleForTeamspeak.ini"
    // in 1024 bytes.
    std::string home = client.workDir();
    while (home.size() < 1024 - 26 + 1) {
        home += "/" + std::string(200, 'd');
        ASSERT_EQ(::mkdir(home.c_str(), 0755), 0) << std::strerror(errno);
    }
    morindale_host::SetFakeHome(home.c_str());
    client.start();
    client.menuItem(13);
    client.menuItem(6);
    EXPECT_EQ(client.chatMessages(),
              (std::vector<std::string>{"Pitch (female) voice active. [Morindale]", kDisabledLine}));
    EXPECT_TRUE(FindNamed(client.workDir(), kFileName).empty());
    EXPECT_FALSE(FileExists(std::string("/") + kFileName));
}

TEST(SettingsPath, NoUserRecordWritesNothingAnywhere) {
    ClientEmulator client;
    InOwnWorkingDirectory cwd(client.workDir() + "/cwd");
    ASSERT_TRUE(cwd.changed());
    morindale_host::SetFakeUserMissing(true);
    client.start();
    morindale_host::SetFakeUserMissing(false);
    client.menuItem(13);
    client.serverTabChanged(2);
    EXPECT_EQ(client.chatMessages(), std::vector<std::string>{"Pitch (female) voice active. [Morindale]"});
    EXPECT_TRUE(FindNamed(client.workDir(), kFileName).empty());
    EXPECT_FALSE(FileExists(std::string("/") + kFileName));
}

}  // namespace
