// The monitor FIFO and its output queue, driven by the test: the fake queue
// plays a buffer only when the test says so, so every refill is exact.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "audio/monitor.h"
#include "audio/monitor_state.h"
#include "fake_audio_queue.h"
#include "plugin_state.h"

namespace {

using Bytes = std::vector<unsigned char>;

std::vector<std::string> g_chat;
std::vector<std::string> g_log;

void RecordChat(const char* text) { g_chat.emplace_back(text); }
unsigned int RecordLog(const char* text, LogLevel, const char* channel, uint64) {
    g_log.push_back(std::string(channel) + ": " + text);
    return 0;
}

// Bytes that are never all zero over a buffer, numbered from `first`.
Bytes Pattern(std::size_t count, unsigned first = 1) {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<unsigned char>(1 + (first + i) % 251);
    return bytes;
}

Bytes Slice(const Bytes& bytes, std::size_t from, std::size_t count) {
    return Bytes(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(from + count));
}

const Bytes kSilence(1920, 0);

Bytes Fifo() { return Bytes(WAVE_buffer, WAVE_buffer + WAVE_buffer_size); }

void Append(const Bytes& bytes) { WAVE_WIN_Play_Samples(bytes.data(), static_cast<int>(bytes.size())); }

class MonitorFifo : public ::testing::Test {
protected:
    void SetUp() override {
        fake_audio_queue::Reset();
        std::memset(&ts3Functions, 0, sizeof ts3Functions);
        ts3Functions.printMessageToCurrentTab = RecordChat;
        ts3Functions.logMessage = RecordLog;
        g_chat.clear();
        g_log.clear();
        WAVE_buffer_size = 0;
        WAVE_queue = nullptr;
        WAVE_output_live = false;
        WAVE_flow = MonitorFlow{};
    }

    void Open() {
        WAVE_Set_WIN_Params(48000, 16, 1);
        ASSERT_TRUE(fake_audio_queue::QueueExists());
        ASSERT_EQ(fake_audio_queue::QueuedBuffers(), 4u);
    }

    // Plays the four buffers queued at opening (silent) and returns what
    // they held; each is refilled from the FIFO as it comes back.
    std::vector<Bytes> PlayFour() {
        std::vector<Bytes> played;
        for (int i = 0; i < 4; ++i) played.push_back(fake_audio_queue::PlayNext());
        return played;
    }
};

TEST_F(MonitorFifo, OpeningDescribesTheFormatAndQueuesFourSilentBuffersBeforeStarting) {
    EXPECT_EQ(WAVE_Set_WIN_Params(48000, 16, 1), 0);
    const StreamFormat format = fake_audio_queue::LastFormat();
    EXPECT_EQ(format.mSampleRate, 48000.0);
    EXPECT_EQ(format.mFormatID, 0x6C70636Du);  // 'lpcm'
    EXPECT_EQ(format.mFormatFlags, 12u);
    EXPECT_EQ(format.mBytesPerPacket, 2u);
    EXPECT_EQ(format.mFramesPerPacket, 1u);
    EXPECT_EQ(format.mBytesPerFrame, 2u);
    EXPECT_EQ(format.mChannelsPerFrame, 1u);
    EXPECT_EQ(format.mBitsPerChannel, 16u);
    EXPECT_EQ(format.mReserved, 0u);

    const std::vector<std::string> expected = {"New",          "Allocate 1920", "Allocate 1920", "Allocate 1920",
                                               "Allocate 1920", "Prime 4",       "Volume 1.000",  "Start"};
    EXPECT_EQ(fake_audio_queue::Calls(), expected);
    EXPECT_EQ(fake_audio_queue::CallbacksRun(), 0u);  // the opening fills them itself
    EXPECT_EQ(fake_audio_queue::QueuedBuffers(), 4u);
    for (const Bytes& played : PlayFour()) EXPECT_EQ(played, kSilence);
    EXPECT_TRUE(g_chat.empty());
    EXPECT_TRUE(g_log.empty());
}

TEST_F(MonitorFifo, BytesPerFrameFollowTheChannelCountWhateverTheBits) {
    WAVE_Set_WIN_Params(44100, 24, 2);
    const StreamFormat format = fake_audio_queue::LastFormat();
    EXPECT_EQ(format.mSampleRate, 44100.0);
    EXPECT_EQ(format.mBytesPerPacket, 4u);
    EXPECT_EQ(format.mBytesPerFrame, 4u);
    EXPECT_EQ(format.mChannelsPerFrame, 2u);
    EXPECT_EQ(format.mBitsPerChannel, 24u);
}

TEST_F(MonitorFifo, FourSilentBuffersPlayBeforeTheFirstFifoAudio) {
    Open();
    const Bytes voice = Pattern(3 * 1920);
    Append(voice);
    for (const Bytes& played : PlayFour()) EXPECT_EQ(played, kSilence);
    // Refilled in the order they came back: three buffers of voice, then an
    // underrun.
    EXPECT_EQ(fake_audio_queue::PlayNext(), Slice(voice, 0, 1920));
    EXPECT_EQ(fake_audio_queue::PlayNext(), Slice(voice, 1920, 1920));
    EXPECT_EQ(fake_audio_queue::PlayNext(), Slice(voice, 3840, 1920));
    EXPECT_EQ(fake_audio_queue::PlayNext(), kSilence);
    EXPECT_EQ(WAVE_buffer_size, 0);
}

TEST_F(MonitorFifo, OneSampleShortOfABufferPlaysSilenceAndWaits) {
    Open();
    const Bytes voice = Pattern(1920);
    Append(Slice(voice, 0, 1918));
    fake_audio_queue::PlayNext();  // refills buffer 1: underrun
    EXPECT_EQ(WAVE_buffer_size, 1918);
    EXPECT_EQ(Fifo(), Slice(voice, 0, 1918));
    Append(Slice(voice, 1918, 2));
    fake_audio_queue::PlayNext();  // refills buffer 2 with the whole 1920
    EXPECT_EQ(WAVE_buffer_size, 0);
    fake_audio_queue::PlayNext();
    fake_audio_queue::PlayNext();
    const Bytes first = fake_audio_queue::PlayNext();
    EXPECT_EQ(first, kSilence);  // the underrun's silence keeps its full size
    EXPECT_EQ(first.size(), 1920u);
    EXPECT_EQ(fake_audio_queue::PlayNext(), voice);
    EXPECT_TRUE(g_chat.empty());
}

TEST_F(MonitorFifo, ARefillTakesExactlyOneBufferAndMovesTheRestToTheFront) {
    Open();
    const Bytes voice = Pattern(5000, 7);
    Append(voice);
    fake_audio_queue::PlayNext();
    EXPECT_EQ(WAVE_buffer_size, 5000 - 1920);
    EXPECT_EQ(Fifo(), Slice(voice, 1920, 5000 - 1920));
    fake_audio_queue::PlayNext();
    EXPECT_EQ(Fifo(), Slice(voice, 3840, 5000 - 3840));
    fake_audio_queue::PlayNext();  // 1160 left: silence, and they stay
    EXPECT_EQ(Fifo(), Slice(voice, 3840, 5000 - 3840));
    fake_audio_queue::PlayNext();
    EXPECT_EQ(fake_audio_queue::PlayNext(), Slice(voice, 0, 1920));
    EXPECT_EQ(fake_audio_queue::PlayNext(), Slice(voice, 1920, 1920));
    EXPECT_EQ(fake_audio_queue::PlayNext(), kSilence);
}

TEST_F(MonitorFifo, ExactlyOneBufferPending) {
    Open();
    const Bytes voice = Pattern(1920, 3);
    Append(voice);
    fake_audio_queue::PlayNext();
    EXPECT_EQ(WAVE_buffer_size, 0);
    for (int i = 0; i < 3; ++i) fake_audio_queue::PlayNext();
    EXPECT_EQ(fake_audio_queue::PlayNext(), voice);
}

TEST_F(MonitorFifo, AnAppendReachingEightyThousandBytesDropsTheOldestAudioQuietly) {
    Open();
    const Bytes start = Pattern(78000);
    Append(start);
    const Bytes next = Pattern(2000, 99);
    Append(next);  // 80000 exactly: the two oldest bytes make room
    EXPECT_EQ(WAVE_buffer_size, 79998);
    Bytes expected = Slice(start, 2, 77998);
    expected.insert(expected.end(), next.begin(), next.end());
    EXPECT_EQ(Fifo(), expected);

    Append(Pattern(2, 5));  // one sample more: one more goes
    EXPECT_EQ(WAVE_buffer_size, 79998);
    EXPECT_EQ(Slice(Fifo(), 0, 77994), Slice(start, 4, 77994));
    EXPECT_EQ(WAVE_flow.droppedBytes, 4);
    EXPECT_TRUE(g_chat.empty());
    EXPECT_TRUE(g_log.empty());
}

TEST_F(MonitorFifo, ASingleBlockOfTheWholeSizeIsRefusedAndOneSampleLessAccepted) {
    Open();
    Append(Pattern(80000));
    EXPECT_EQ(WAVE_buffer_size, 0);
    EXPECT_EQ(g_chat.size(), 1u);
    Append(Pattern(79998));
    EXPECT_EQ(WAVE_buffer_size, 79998);
    EXPECT_EQ(g_chat.size(), 1u);
}

TEST_F(MonitorFifo, HugeEmptyNegativeOrMissingBlocksNeverCorruptTheFifo) {
    Open();
    const Bytes kept = Pattern(100);
    Append(kept);
    const unsigned char byte = 1;
    WAVE_WIN_Play_Samples(&byte, INT_MAX);  // refused, no overflowing sum
    EXPECT_EQ(g_chat.size(), 1u);
    WAVE_WIN_Play_Samples(&byte, 0);
    WAVE_WIN_Play_Samples(&byte, -2);
    WAVE_WIN_Play_Samples(nullptr, 2);
    EXPECT_EQ(g_chat.size(), 1u);
    EXPECT_EQ(Fifo(), kept);
}

TEST_F(MonitorFifo, WhatIsPendingStillPlaysOnceAppendsStop) {
    Open();
    const Bytes voice = Pattern(4 * 1920 + 960, 11);
    Append(voice);
    // No appends from here on, as when monitoring is switched off.
    PlayFour();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(fake_audio_queue::PlayNext(), Slice(voice, 1920 * i, 1920)) << i;
    EXPECT_EQ(WAVE_buffer_size, 960);
    EXPECT_EQ(fake_audio_queue::PlayNext(), kSilence);
}

// Sample k of a stream numbered from 0: never 0, and unique over more than
// the FIFO holds, so that where audio was dropped shows.
Bytes Numbered(std::size_t count, std::size_t first) {
    Bytes bytes(2 * count);
    for (std::size_t i = 0; i < count; ++i) {
        const uint16_t value = static_cast<uint16_t>(1 + (first + i) % 65535);
        bytes[2 * i] = static_cast<unsigned char>(value & 0xFF);
        bytes[2 * i + 1] = static_cast<unsigned char>(value >> 8);
    }
    return bytes;
}

// `heard` and, unless it is silence, `played` after it.
Bytes Joined(Bytes heard, const Bytes& played) {
    if (played != kSilence) heard.insert(heard.end(), played.begin(), played.end());
    return heard;
}

// Checks that `heard` then the FIFO are the numbered stream of `total`
// samples in order, but for stretches dropped whole; returns how many
// samples were dropped.
long long DroppedFromNumbered(const Bytes& heard, std::size_t total) {
    Bytes all = heard;
    const Bytes pending = Fifo();
    all.insert(all.end(), pending.begin(), pending.end());
    EXPECT_EQ(all.size() % 2, 0u);
    std::size_t next = 0;  // the sample expected next
    long long dropped = 0;
    for (std::size_t i = 0; i + 1 < all.size(); i += 2) {
        const uint16_t value = static_cast<uint16_t>(all[i] | (all[i + 1] << 8));
        const std::size_t gap = (value + 65535u - 1u - next % 65535u) % 65535u;
        dropped += static_cast<long long>(gap);
        next += gap + 1;
    }
    EXPECT_LE(next, total);
    return dropped + static_cast<long long>(total - next);
}

TEST_F(MonitorFifo, LongRunsCrossEveryBoundInOrder) {
    Open();
    Bytes heard;
    std::size_t sent = 0;  // samples
    // Blocks of varied size against a steady drain: the FIFO fills up, cuts
    // its backlog, drains, and every byte comes out once, in order, unless it
    // was dropped whole.
    for (int round = 0; round < 3000; ++round) {
        const std::size_t samples = 1 + (round * 7919) % 1500;
        Append(Numbered(samples, sent));
        sent += samples;
        EXPECT_LT(WAVE_buffer_size, 80000);
        if (round % 2 == 0) {
            const Bytes played = fake_audio_queue::PlayNext();
            if (played != kSilence) heard.insert(heard.end(), played.begin(), played.end());
            // A refill leaves no more than the high-water mark waiting.
            EXPECT_LE(WAVE_buffer_size, kMonitorHighWaterBytes + 3000);
        }
    }
    EXPECT_TRUE(g_chat.empty());
    EXPECT_GT(WAVE_flow.droppedBytes, 0);  // the run did reach the bound
    for (int i = 0; i < 8; ++i) {
        const Bytes played = fake_audio_queue::PlayNext();
        if (played != kSilence) heard.insert(heard.end(), played.begin(), played.end());
    }
    EXPECT_EQ(2 * DroppedFromNumbered(heard, sent), WAVE_flow.droppedBytes);
}

TEST_F(MonitorFifo, ClockDriftNeverBuildsUpDelay) {
    Open();
    PlayFour();
    Bytes heard;
    std::size_t sent = 0;
    int most = 0;
    // The microphone runs 2 % fast: one extra block every 50 refills, for
    // 80 s. Without a bound the FIFO would be full after 40 s.
    for (int refill = 0; refill < 4000; ++refill) {
        Append(Numbered(960, sent));
        sent += 960;
        if (refill % 50 == 49) {
            Append(Numbered(960, sent));
            sent += 960;
        }
        const Bytes played = fake_audio_queue::PlayNext();
        if (played != kSilence) heard.insert(heard.end(), played.begin(), played.end());
        if (refill >= 100) most = std::max(most, WAVE_buffer_size);
    }
    for (int i = 0; i < 8; ++i) heard = Joined(heard, fake_audio_queue::PlayNext());
    EXPECT_LT(most, 2 * kMonitorBufferBytes);  // at most 40 ms wait after a refill
    EXPECT_TRUE(g_chat.empty());
    // Only the surplus went: 2 % of the stream, give or take a few blocks.
    const long long dropped = DroppedFromNumbered(heard, sent);
    EXPECT_EQ(2 * dropped, WAVE_flow.droppedBytes);
    EXPECT_GE(dropped, 960LL * 80 - 4 * 960);
    EXPECT_LE(dropped, 960LL * 80 + 4 * 960);
}

TEST_F(MonitorFifo, AHiccupsBacklogIsCutWithinAWindowKeepingTheNewestAudio) {
    Open();
    PlayFour();
    std::size_t sent = 0;
    auto step = [&](int blocks) {
        for (int i = 0; i < blocks; ++i) {
            Append(Numbered(960, sent));
            sent += 960;
        }
        return fake_audio_queue::PlayNext();
    };
    for (int i = 0; i < 50; ++i) step(1);
    EXPECT_EQ(WAVE_buffer_size, 0);
    // The capture thread stops for 100 ms, then catches up: five blocks at
    // once, so 80 ms wait in the FIFO after each refill from then on.
    for (int i = 0; i < 5; ++i) step(0);
    step(5);
    EXPECT_EQ(WAVE_buffer_size, 4 * 1920);
    int refills = 1;
    while (WAVE_buffer_size >= kMonitorBufferBytes && refills < 100) {
        step(1);
        ++refills;
    }
    EXPECT_LE(refills, kMonitorWindowRefills + 1);
    EXPECT_EQ(WAVE_buffer_size, kMonitorCushionBytes);
    EXPECT_EQ(WAVE_flow.droppedBytes, 4 * 1920 - kMonitorCushionBytes);
    // What is left is the newest audio.
    EXPECT_EQ(Fifo(), Numbered(kMonitorCushionBytes / 2, sent - kMonitorCushionBytes / 2));
    EXPECT_TRUE(g_chat.empty());
}

TEST_F(MonitorFifo, ABacklogBeyondTheHighWaterMarkIsCutBeforeTheNextRefill) {
    Open();
    // Half a second of talk before the output plays at all.
    const std::size_t samples = 24000;
    Append(Numbered(samples, 0));
    fake_audio_queue::PlayNext();  // silent, from the opening; refilled now
    // The refill took the newest buffer but one cushion; the rest went.
    EXPECT_EQ(WAVE_buffer_size, kMonitorCushionBytes);
    EXPECT_EQ(Fifo(), Numbered(kMonitorCushionBytes / 2, samples - kMonitorCushionBytes / 2));
    for (int i = 0; i < 3; ++i) fake_audio_queue::PlayNext();
    EXPECT_EQ(fake_audio_queue::PlayNext(), Numbered(960, samples - 960 - kMonitorCushionBytes / 2));
    EXPECT_TRUE(g_chat.empty());
}

TEST_F(MonitorFifo, AnOutputThatTakesNothingForTwoSecondsIsOneWarningUntilItTakesAgain) {
    Open();
    fake_audio_queue::PlayNext();  // it did take audio once
    // 2 s of blocks with no refill: still waiting; the one beyond stalls.
    std::size_t sent = 0;
    for (int i = 0; i < 100; ++i, sent += 960) Append(Numbered(960, sent));
    EXPECT_TRUE(g_log.empty());
    Append(Numbered(960, sent));
    sent += 960;
    ASSERT_EQ(g_log.size(), 1u);
    EXPECT_EQ(g_log[0], "Plugin: Hear Voice: sound output stalled; monitored audio is dropped");
    const Bytes held = Fifo();
    for (int i = 0; i < 250; ++i, sent += 960) Append(Numbered(960, sent));
    EXPECT_EQ(g_log.size(), 1u);
    EXPECT_TRUE(g_chat.empty());
    EXPECT_EQ(Fifo(), held);

    // It takes again: what was held is stale and goes, new blocks play.
    fake_audio_queue::PlayNext();
    EXPECT_EQ(WAVE_buffer_size, 0);
    ASSERT_EQ(g_log.size(), 2u);
    EXPECT_EQ(g_log[1], "Plugin: Hear Voice: the sound output takes audio again");
    const Bytes fresh = Numbered(960, sent);
    Append(fresh);
    for (int i = 0; i < 4; ++i) fake_audio_queue::PlayNext();
    EXPECT_EQ(fake_audio_queue::PlayNext(), fresh);
    EXPECT_TRUE(g_chat.empty());
}

TEST_F(MonitorFifo, TalkBeforeTheOutputFirstTakesAudioIsNoStall) {
    Open();
    // An output still connecting has never asked: 5 s of talk are no stall.
    for (int i = 0; i < 250; ++i) Append(Pattern(1920));
    EXPECT_TRUE(g_log.empty());
    EXPECT_TRUE(g_chat.empty());
    EXPECT_LT(WAVE_buffer_size, 80000);
}

TEST_F(MonitorFifo, ClosingStopsAndDisposesAtOnceEmptiesTheFifoThenEndsTheCallbackLoop) {
    Open();
    Append(Pattern(3000));
    WAVE_WIN_Audio_close();
    const std::vector<std::string> calls = fake_audio_queue::Calls();
    const std::vector<std::string> tail(calls.end() - 3, calls.end());
    // No draining: whoever closes is quitting, and nobody listens any more.
    EXPECT_EQ(tail, (std::vector<std::string>{"Stop true", "Dispose true", "EndCallbackLoop"}));
    EXPECT_FALSE(fake_audio_queue::QueueExists());
    EXPECT_EQ(Fifo(), Bytes{});

    // Nothing drains any more: blocks are dropped without a word.
    for (int i = 0; i < 100; ++i) Append(Pattern(1920));
    EXPECT_TRUE(g_chat.empty());
    EXPECT_EQ(Fifo(), Bytes{});

    // A second close leaves the disposed queue alone.
    WAVE_WIN_Audio_close();
    EXPECT_EQ(fake_audio_queue::Calls().back(), "EndCallbackLoop");
    EXPECT_EQ(fake_audio_queue::Calls().size(), calls.size() + 1);
}

TEST_F(MonitorFifo, OpeningAgainAfterClosingPlaysAgain) {
    Open();
    WAVE_WIN_Audio_close();
    Open();
    const Bytes voice = Pattern(1920);
    Append(voice);
    PlayFour();
    EXPECT_EQ(fake_audio_queue::PlayNext(), voice);
}

TEST_F(MonitorFifo, NothingSaidBeforeAReopeningIsHeardAfterIt) {
    // Pending when the plug-in closes (shutdown, then init again)...
    Open();
    Append(Pattern(3 * 1920 + 600));
    WAVE_WIN_Audio_close();
    Open();
    for (const Bytes& played : PlayFour()) EXPECT_EQ(played, kSilence);
    EXPECT_EQ(fake_audio_queue::PlayNext(), kSilence);
    // ...or left in the FIFO by anything else: the opening starts empty.
    WAVE_WIN_Audio_close();
    const Bytes stale = Pattern(2 * 1920, 7);
    std::memcpy(WAVE_buffer, stale.data(), stale.size());
    WAVE_buffer_size = static_cast<int>(stale.size());
    Open();
    const Bytes voice = Pattern(1920, 100);
    Append(voice);
    for (const Bytes& played : PlayFour()) EXPECT_EQ(played, kSilence);
    EXPECT_EQ(fake_audio_queue::PlayNext(), voice);
    EXPECT_EQ(fake_audio_queue::PlayNext(), kSilence);
}

TEST_F(MonitorFifo, OpeningTwiceClosesTheFirstOutput) {
    Open();
    WAVE_Set_WIN_Params(48000, 16, 1);
    const std::vector<std::string> calls = fake_audio_queue::Calls();
    const std::vector<std::string> expected = {
        "New",   "Allocate 1920", "Allocate 1920", "Allocate 1920", "Allocate 1920", "Prime 4",       "Volume 1.000",
        "Start", "Stop true",     "Dispose true",  "EndCallbackLoop", "New",          "Allocate 1920",
        "Allocate 1920", "Allocate 1920", "Allocate 1920", "Prime 4", "Volume 1.000", "Start"};
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(fake_audio_queue::QueuedBuffers(), 4u);
}

TEST_F(MonitorFifo, UnsupportedFormatSaysOopsLogsOnceAndDropsBlocksQuietly) {
    fake_audio_queue::FailNextNew(kOutputErrorUnsupportedFormat);
    testing::internal::CaptureStdout();
    EXPECT_EQ(WAVE_Set_WIN_Params(48000, 16, 1), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "oops!");
    EXPECT_EQ(fake_audio_queue::Calls(), std::vector<std::string>{"New"});
    ASSERT_EQ(g_log.size(), 1u);
    EXPECT_EQ(g_log[0], "Plugin: Hear Voice: no sound output (fake error); monitored audio is dropped");

    // Two seconds of monitored blocks: no overflow flood, nothing stored.
    for (int i = 0; i < 100; ++i) Append(Pattern(1920));
    EXPECT_TRUE(g_chat.empty());
    EXPECT_EQ(WAVE_buffer_size, 0);
    WAVE_WIN_Audio_close();
    EXPECT_EQ(fake_audio_queue::Calls().back(), "EndCallbackLoop");
    EXPECT_EQ(g_log.size(), 1u);
}

TEST_F(MonitorFifo, NoServerIsQuietOnStandardOutput) {
    fake_audio_queue::FailNextNew(kOutputErrorNoServer);
    testing::internal::CaptureStdout();
    WAVE_Set_WIN_Params(48000, 16, 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(g_log.size(), 1u);
    for (int i = 0; i < 100; ++i) Append(Pattern(1920));
    EXPECT_TRUE(g_chat.empty());
}

TEST_F(MonitorFifo, AFailedBufferAllocationGivesUpTheQueue) {
    fake_audio_queue::FailAllocation(2, kOutputErrorResources);
    WAVE_Set_WIN_Params(48000, 16, 1);
    const std::vector<std::string> expected = {"New", "Allocate 1920", "Allocate 1920", "Allocate 1920",
                                               "Dispose true"};
    EXPECT_EQ(fake_audio_queue::Calls(), expected);
    EXPECT_FALSE(fake_audio_queue::QueueExists());
    EXPECT_EQ(g_log.size(), 1u);
    for (int i = 0; i < 100; ++i) Append(Pattern(1920));
    EXPECT_TRUE(g_chat.empty());
    EXPECT_EQ(WAVE_buffer_size, 0);
    WAVE_WIN_Audio_close();  // nothing left to dispose
    EXPECT_EQ(fake_audio_queue::Calls().back(), "EndCallbackLoop");
    EXPECT_EQ(fake_audio_queue::Calls().size(), expected.size() + 1);
}

TEST_F(MonitorFifo, AnOpeningThatFailsInTheBackgroundLogsWhyOnce) {
    Open();
    fake_audio_queue::LoseOutput(kOutputErrorNoServer);
    ASSERT_EQ(g_log.size(), 1u);
    EXPECT_EQ(g_log[0], "Plugin: Hear Voice: no sound output (fake error); monitored audio is dropped");
    for (int i = 0; i < 100; ++i) Append(Pattern(1920));
    EXPECT_TRUE(g_chat.empty());
    EXPECT_EQ(WAVE_buffer_size, 0);
}

TEST_F(MonitorFifo, AnOutputThatGoesAwayLogsOnceAndLaterBlocksAreDroppedQuietly) {
    Open();
    Append(Pattern(1920));
    fake_audio_queue::LoseOutput();
    fake_audio_queue::LoseOutput();
    ASSERT_EQ(g_log.size(), 1u);
    EXPECT_EQ(g_log[0], "Plugin: Hear Voice: sound output lost; monitored audio is dropped");
    for (int i = 0; i < 100; ++i) Append(Pattern(1920));
    EXPECT_TRUE(g_chat.empty());
    EXPECT_EQ(WAVE_buffer_size, 1920);
    WAVE_WIN_Audio_close();
    EXPECT_FALSE(fake_audio_queue::QueueExists());
}

TEST_F(MonitorFifo, ALostOutputThatComesBackIsOneLineEachWayAndPlaysOnlyNewAudio) {
    Open();
    PlayFour();
    const Bytes before = Pattern(2 * 1920, 3);
    Append(before);
    fake_audio_queue::LoseOutput();
    for (int i = 0; i < 50; ++i) Append(Pattern(1920, 9));  // dropped: nobody plays them
    // The output takes a buffer again (filled before the loss: silence).
    // What waited from before the loss is dropped, not played late, and new
    // blocks are kept again.
    EXPECT_EQ(fake_audio_queue::PlayNext(), kSilence);
    EXPECT_EQ(WAVE_buffer_size, 0);
    const Bytes after = Pattern(1920, 50);
    Append(after);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(fake_audio_queue::PlayNext(), kSilence) << i;
    EXPECT_EQ(fake_audio_queue::PlayNext(), after);
    EXPECT_EQ(g_log, (std::vector<std::string>{"Plugin: Hear Voice: sound output lost; monitored audio is dropped",
                                               "Plugin: Hear Voice: the sound output is back"}));
    // Lost and back a second time: again one line each.
    fake_audio_queue::LoseOutput();
    fake_audio_queue::PlayNext();
    EXPECT_EQ(g_log.size(), 4u);
    EXPECT_TRUE(g_chat.empty());
}

}  // namespace
