// The monitor FIFO and its output queue, driven by the test: the fake queue
// plays a buffer only when the test says so, so every refill is exact.
#include <gtest/gtest.h>

#include <climits>
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

TEST_F(MonitorFifo, AnAppendReachingEightyThousandBytesIsRefusedWholeWithOneMessage) {
    Open();
    const Bytes start = Pattern(78000);
    Append(start);
    Append(Pattern(2000, 99));  // 80000 exactly: refused
    ASSERT_EQ(g_chat.size(), 1u);
    EXPECT_EQ(g_chat[0], "Audio overflow!");
    EXPECT_EQ(WAVE_buffer_size, 78000);
    EXPECT_EQ(Fifo(), start);

    const Bytes accepted = Pattern(1998, 5);  // 79998: accepted
    Append(accepted);
    EXPECT_EQ(g_chat.size(), 1u);
    EXPECT_EQ(WAVE_buffer_size, 79998);
    EXPECT_EQ(Slice(Fifo(), 78000, 1998), accepted);

    Append(Pattern(2));  // 80000 again: refused, once more
    EXPECT_EQ(g_chat.size(), 2u);
    EXPECT_EQ(g_chat[1], "Audio overflow!");
    EXPECT_EQ(WAVE_buffer_size, 79998);
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

TEST_F(MonitorFifo, LongRunsCrossEveryBoundInOrder) {
    Open();
    Bytes sent;
    Bytes heard;
    unsigned next = 0;
    // Blocks of varied size against a steady drain: the FIFO fills up, is
    // refused, drains, and every accepted byte comes out once, in order.
    for (int round = 0; round < 3000; ++round) {
        const std::size_t size = 2 * (1 + (round * 7919) % 1500);
        const Bytes block = Pattern(size, next);
        next += static_cast<unsigned>(size);
        const std::size_t messages = g_chat.size();
        const int before = WAVE_buffer_size;
        Append(block);
        if (g_chat.size() == messages) {
            EXPECT_LT(before + static_cast<int>(size), 80000);
            sent.insert(sent.end(), block.begin(), block.end());
        } else {
            EXPECT_GE(before + static_cast<int>(size), 80000);
        }
        if (round % 2 == 0) {
            const Bytes played = fake_audio_queue::PlayNext();
            if (played != kSilence) heard.insert(heard.end(), played.begin(), played.end());
        }
    }
    EXPECT_GT(g_chat.size(), 0u);  // the run did reach the bound
    // Play out everything: the FIFO's whole size, plus the queued buffers.
    for (int i = 0; i < 80000 / 1920 + 8; ++i) {
        const Bytes played = fake_audio_queue::PlayNext();
        if (played != kSilence) heard.insert(heard.end(), played.begin(), played.end());
    }
    const std::size_t remainder = static_cast<std::size_t>(WAVE_buffer_size);
    ASSERT_EQ(heard.size() + remainder, sent.size());
    EXPECT_TRUE(heard == Slice(sent, 0, heard.size()));
    EXPECT_EQ(Fifo(), Slice(sent, heard.size(), remainder));
}

TEST_F(MonitorFifo, ClosingFlushesStopsAndDisposesThenEndsTheCallbackLoop) {
    Open();
    const Bytes pending = Pattern(3000);
    Append(pending);
    WAVE_WIN_Audio_close();
    const std::vector<std::string> calls = fake_audio_queue::Calls();
    const std::vector<std::string> tail(calls.end() - 4, calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"Flush", "Stop false", "Dispose false", "EndCallbackLoop"}));
    EXPECT_FALSE(fake_audio_queue::QueueExists());
    EXPECT_EQ(Fifo(), pending);  // not reset

    // Nothing drains any more: blocks are dropped without a word.
    for (int i = 0; i < 100; ++i) Append(Pattern(1920));
    EXPECT_TRUE(g_chat.empty());
    EXPECT_EQ(Fifo(), pending);

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

TEST_F(MonitorFifo, OpeningTwiceClosesTheFirstOutput) {
    Open();
    WAVE_Set_WIN_Params(48000, 16, 1);
    const std::vector<std::string> calls = fake_audio_queue::Calls();
    const std::vector<std::string> expected = {
        "New",   "Allocate 1920", "Allocate 1920", "Allocate 1920", "Allocate 1920", "Prime 4",       "Volume 1.000",
        "Start", "Flush",         "Stop false",    "Dispose false", "EndCallbackLoop", "New",         "Allocate 1920",
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

}  // namespace
