// The capture side appends while the output's callback drains, on two
// threads, as in the running client: every byte comes out once and in order,
// unless the delay bound dropped it, and the dropped ones are accounted for.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "audio/monitor.h"
#include "audio/monitor_state.h"
#include "fake_audio_queue.h"
#include "plugin_state.h"

namespace {

std::atomic<int> g_overflows{0};
void CountChat(const char*) { ++g_overflows; }

long long DroppedBytes() {
    pthread_mutex_lock(&WAVE_mutex);
    const long long dropped = WAVE_flow.droppedBytes;
    pthread_mutex_unlock(&WAVE_mutex);
    return dropped;
}

TEST(MonitorConcurrency, AppendsWhileTheCallbackDrainsKeepEveryByteInOrder) {
    fake_audio_queue::Reset();
    std::memset(&ts3Functions, 0, sizeof ts3Functions);
    ts3Functions.printMessageToCurrentTab = CountChat;
    WAVE_Set_WIN_Params(48000, 16, 1);
    ASSERT_TRUE(fake_audio_queue::QueueExists());

    constexpr int kBlocks = 6000;
    // Sample k of the stream is 1 + k % 65535: never zero, so a silent buffer
    // can't be taken for audio, and unique over more than the FIFO holds, so
    // any reordering, loss or stretch dropped shows.
    auto sampleAt = [](std::size_t k) { return static_cast<uint16_t>(1 + k % 65535); };
    std::size_t total = 0;  // samples
    std::vector<std::size_t> sizes;
    for (int i = 0; i < kBlocks; ++i) {
        sizes.push_back(1 + (static_cast<std::size_t>(i) * 104729) % 1700);  // 2 to 3400 bytes
        total += sizes.back();
    }

    std::atomic<std::size_t> heardBytes{0};
    std::atomic<bool> appendsDone{false};
    std::vector<unsigned char> heard;
    heard.reserve(2 * total);

    std::thread drain([&] {
        // Bounded: far more turns than the stream needs; once the appends are
        // done, enough buffers to play out the FIFO and the queue.
        int after = 0;
        for (long turn = 0; turn < 50'000'000 && after < kMonitorFifoBytes / kMonitorBufferBytes + 8; ++turn) {
            if (appendsDone.load()) ++after;
            const std::vector<unsigned char> played = fake_audio_queue::PlayNext();
            const bool silent = std::all_of(played.begin(), played.end(), [](unsigned char b) { return b == 0; });
            if (!silent) {
                heard.insert(heard.end(), played.begin(), played.end());
                heardBytes.store(heard.size());
            } else {
                std::this_thread::yield();
            }
        }
    });

    std::vector<unsigned char> block;
    std::size_t appended = 0;  // samples
    bool stalled = false;
    for (int i = 0; i < kBlocks && !stalled; ++i) {
        block.resize(2 * sizes[i]);
        for (std::size_t j = 0; j < sizes[i]; ++j) {
            const uint16_t value = sampleAt(appended + j);
            block[2 * j] = static_cast<unsigned char>(value & 0xFF);
            block[2 * j + 1] = static_cast<unsigned char>(value >> 8);
        }
        // Stay well within the FIFO, as a real-time capture side does.
        for (long spin = 0;
             2 * appended + block.size() - heardBytes.load() - static_cast<std::size_t>(DroppedBytes()) >=
             static_cast<std::size_t>(kMonitorFifoBytes - 4 * kMonitorBufferBytes);
             ++spin) {
            if (spin == 100'000'000) {
                ADD_FAILURE() << "the drain stopped";
                stalled = true;
                break;
            }
            std::this_thread::yield();
        }
        if (stalled) break;
        WAVE_WIN_Play_Samples(block.data(), static_cast<int>(block.size()));
        appended += sizes[i];
    }
    appendsDone.store(true);
    drain.join();

    EXPECT_EQ(g_overflows.load(), 0);
    // What was heard, then what is pending: the stream in order, with
    // whole stretches left out, exactly as many bytes as were dropped.
    std::vector<unsigned char> all = heard;
    all.insert(all.end(), WAVE_buffer, WAVE_buffer + WAVE_buffer_size);
    ASSERT_EQ(all.size() % 2, 0u);
    std::size_t next = 0;
    long long skipped = 0;
    std::size_t firstWrong = all.size();
    for (std::size_t i = 0; i < all.size(); i += 2) {
        const uint16_t value = static_cast<uint16_t>(all[i] | (all[i + 1] << 8));
        const std::size_t gap = (value + 65535u - sampleAt(next)) % 65535u;
        if (gap > static_cast<std::size_t>(kMonitorFifoBytes / 2) && firstWrong == all.size()) firstWrong = i;
        skipped += static_cast<long long>(gap);
        next += gap + 1;
    }
    EXPECT_EQ(firstWrong, all.size()) << "first byte out of order";
    EXPECT_LT(static_cast<std::size_t>(WAVE_buffer_size), 1920u);
    EXPECT_EQ(next, total);
    EXPECT_EQ(2 * skipped, WAVE_flow.droppedBytes);
    WAVE_WIN_Audio_close();
}

}  // namespace
