// The capture side appends while the output's callback drains, on two
// threads, as in the running client: every byte comes out once and in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
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

TEST(MonitorConcurrency, AppendsWhileTheCallbackDrainsKeepEveryByteInOrder) {
    fake_audio_queue::Reset();
    std::memset(&ts3Functions, 0, sizeof ts3Functions);
    ts3Functions.printMessageToCurrentTab = CountChat;
    WAVE_Set_WIN_Params(48000, 16, 1);
    ASSERT_TRUE(fake_audio_queue::QueueExists());

    constexpr int kBlocks = 6000;
    // Byte k of the stream is 1 + k % 251: never zero, so a silent buffer
    // can't be taken for audio, and any reordering or loss shows.
    auto byteAt = [](std::size_t k) { return static_cast<unsigned char>(1 + k % 251); };
    std::size_t total = 0;
    std::vector<std::size_t> sizes;
    for (int i = 0; i < kBlocks; ++i) {
        sizes.push_back(2 * (1 + (static_cast<std::size_t>(i) * 104729) % 1700));  // 2 to 3400 bytes
        total += sizes.back();
    }

    std::atomic<std::size_t> heardBytes{0};
    std::atomic<bool> appendsDone{false};
    std::vector<unsigned char> heard;
    heard.reserve(total);

    std::thread drain([&] {
        // Bounded: far more turns than the stream needs.
        for (long turn = 0; turn < 50'000'000; ++turn) {
            const std::vector<unsigned char> played = fake_audio_queue::PlayNext();
            const bool silent = std::all_of(played.begin(), played.end(), [](unsigned char b) { return b == 0; });
            if (!silent) {
                heard.insert(heard.end(), played.begin(), played.end());
                heardBytes.store(heard.size());
            } else if (appendsDone.load() && total - heard.size() < 1920) {
                // Only a remainder shorter than a buffer is left: it waits.
                bool queuedAudio = false;
                for (int i = 0; i < 4 && !queuedAudio; ++i) {
                    const std::vector<unsigned char> last = fake_audio_queue::PlayNext();
                    if (std::any_of(last.begin(), last.end(), [](unsigned char b) { return b != 0; })) {
                        heard.insert(heard.end(), last.begin(), last.end());
                        queuedAudio = true;
                    }
                }
                if (!queuedAudio) break;
            } else {
                std::this_thread::yield();
            }
        }
    });

    std::vector<unsigned char> block;
    std::size_t appended = 0;
    bool stalled = false;
    for (int i = 0; i < kBlocks && !stalled; ++i) {
        block.resize(sizes[i]);
        for (std::size_t j = 0; j < block.size(); ++j) block[j] = byteAt(appended + j);
        // Stay below the FIFO's size, as a real-time capture side does.
        for (long spin = 0; appended + block.size() - heardBytes.load() >= 80000 - 4 * 1920; ++spin) {
            if (spin == 100'000'000) {
                ADD_FAILURE() << "the drain stopped";
                stalled = true;
                break;
            }
            std::this_thread::yield();
        }
        if (stalled) break;
        WAVE_WIN_Play_Samples(block.data(), static_cast<int>(block.size()));
        appended += block.size();
    }
    appendsDone.store(true);
    drain.join();

    EXPECT_EQ(g_overflows.load(), 0);
    const std::size_t remainder = static_cast<std::size_t>(WAVE_buffer_size);
    EXPECT_LT(remainder, 1920u);
    ASSERT_EQ(heard.size() + remainder, total);
    std::size_t firstWrong = total;
    for (std::size_t k = 0; k < heard.size() && firstWrong == total; ++k)
        if (heard[k] != byteAt(k)) firstWrong = k;
    EXPECT_EQ(firstWrong, total) << "first wrong byte";
    for (std::size_t k = 0; k < remainder; ++k) ASSERT_EQ(WAVE_buffer[k], byteAt(heard.size() + k)) << k;
    WAVE_WIN_Audio_close();
}

}  // namespace
