// The captured-voice hook of the built plug-in, driven as the client drives
// it: effects chosen by hotkey, 960-sample blocks with the send bit set.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "client_emulator.h"
#include "test_support.h"
#include "voice_signals.h"

namespace {

using morindale_host::ClientEmulator;
using Samples = std::vector<int16_t>;
constexpr int kBlock = 960;

// Sends the signal in client blocks; returns what went out and the flags.
Samples Send(ClientEmulator& client, const Samples& signal, std::vector<int>* flags = nullptr) {
    Samples sent;
    for (std::size_t at = 0; at + kBlock <= signal.size(); at += kBlock) {
        Samples block(signal.begin() + at, signal.begin() + at + kBlock);
        const int edited = client.voiceBlock(block.data(), kBlock);
        if (flags != nullptr) flags->push_back(edited);
        sent.insert(sent.end(), block.begin(), block.end());
    }
    return sent;
}

TEST(VoiceHook, IsExportedUnderItsPlainNameAndPassesBlocksUntouchedBeforeInit) {
    ClientEmulator client;
    client.load();
    EXPECT_NE(client.symbol("ts3plugin_onEditCapturedVoiceDataEvent"), nullptr);
    // The engine is built at the first init; a block before it is sent as captured.
    client.identify();
    client.setFunctionPointers();
    const Samples tone = morindale_test::Sine(200.0, 10000.0, kBlock);
    Samples block = tone;
    EXPECT_EQ(client.voiceBlock(block.data(), kBlock), 2);
    EXPECT_EQ(block, tone);
}

TEST(VoiceHook, FreshPluginShiftsTheVoiceUpEightSemitones) {
    ClientEmulator client;
    client.start();
    const Samples tone = morindale_test::Sine(200.0, 10000.0, 100 * kBlock);
    // Not being sent: untouched, not flagged.
    Samples quiet(tone.begin(), tone.begin() + kBlock);
    EXPECT_EQ(client.voiceBlock(quiet.data(), kBlock, 1, 0), 0);
    EXPECT_EQ(quiet, Samples(tone.begin(), tone.begin() + kBlock));

    std::vector<int> flags;
    const Samples sent = Send(client, tone, &flags);
    EXPECT_EQ(flags.front(), 2) << "the processor's latency: nothing back for the first block";
    EXPECT_EQ(Samples(sent.begin(), sent.begin() + kBlock), Samples(tone.begin(), tone.begin() + kBlock));
    EXPECT_EQ(flags.back(), 3);
    const double ratio = morindale_test::ZeroCrossingFrequency(sent, 24000, sent.size()) / 200.0;
    EXPECT_NEAR(ratio, std::pow(2.0, 8.0 / 12.0), 0.02 * std::pow(2.0, 8.0 / 12.0));
}

TEST(VoiceHook, MyVoiceChosenByHotkeySendsTheVoiceUnchangedButEdited) {
    ClientEmulator client;
    client.start();
    client.hotkey("effect_myvoice");
    const Samples voice = morindale_test::Sine(300.0, 20000.0, 5 * kBlock);
    std::vector<int> flags;
    EXPECT_EQ(Send(client, voice, &flags), voice);
    EXPECT_EQ(flags, std::vector<int>(5, 3));
}

TEST(VoiceHook, CloneChosenByHotkeyAddsTheEchoSampleExactly) {
    ClientEmulator client;
    client.start();
    client.hotkey("effect_clone");
    const Samples voice = morindale_test::Sine(230.0, 32767.0, 20 * kBlock);
    const Samples sent = Send(client, voice);
    ASSERT_EQ(sent.size(), voice.size());
    for (std::size_t t = 0; t < sent.size(); ++t) {
        const int expected = static_cast<int>(std::floor(voice[t] / 2.0)) +
                             (t >= 9000 ? static_cast<int>(std::floor(voice[t - 9000] / 2.0)) : 0);
        ASSERT_EQ(sent[t], expected) << t;
    }
}

TEST(VoiceHook, DisabledByHotkeyLeavesBlocksAlone) {
    ClientEmulator client;
    client.start();
    client.hotkey("enable_disable");
    const Samples voice = morindale_test::Sine(300.0, 20000.0, 30 * kBlock);
    std::vector<int> flags;
    EXPECT_EQ(Send(client, voice, &flags), voice);
    EXPECT_EQ(flags, std::vector<int>(30, 2));
}

TEST(VoiceHook, BlocksOfOneAndZeroSamplesAndOneFarLongerThanTheWorkBuffer) {
    ClientEmulator client;
    client.start();
    Samples one(1, 1234);
    EXPECT_EQ(client.voiceBlock(one.data(), 1), 2);
    EXPECT_EQ(client.voiceBlock(nullptr, 0), 2);
    // Ten seconds in one block: processed in pieces, never past the buffers.
    const Samples tone = morindale_test::Sine(200.0, 10000.0, 480000);
    Samples block = tone;
    EXPECT_EQ(client.voiceBlock(block.data(), static_cast<int>(block.size())), 3);
    EXPECT_NE(block, tone);
    const double ratio = morindale_test::ZeroCrossingFrequency(block, 48000, 400000) / 200.0;
    EXPECT_NEAR(ratio, std::pow(2.0, 8.0 / 12.0), 0.02 * std::pow(2.0, 8.0 / 12.0));
    client.hotkey("effect_robovoice");
    block = tone;
    EXPECT_EQ(client.voiceBlock(block.data(), static_cast<int>(block.size())), 3);
    EXPECT_NE(block, tone);
    // The natural voices, switched in mid-talk: one output per input, so the
    // long block comes back whole, at the voice's pitch.
    for (const auto& [hotkey, semitones] : {std::pair<const char*, double>{"effect_nfemale", 5.0},
                                            std::pair<const char*, double>{"effect_nmale", -4.0}}) {
        SCOPED_TRACE(hotkey);
        client.hotkey(hotkey);
        one.assign(1, 1234);
        EXPECT_EQ(client.voiceBlock(one.data(), 1), 3);
        EXPECT_EQ(client.voiceBlock(nullptr, 0), 2);
        block = tone;
        EXPECT_EQ(client.voiceBlock(block.data(), static_cast<int>(block.size())), 3);
        const double expected = std::pow(2.0, semitones / 12.0);
        EXPECT_NEAR(morindale_test::ZeroCrossingFrequency(block, 48000, 400000) / 200.0, expected, 0.01 * expected);
    }
}

}  // namespace
