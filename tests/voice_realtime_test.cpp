// The audio path after warm-up: no heap allocation and no system call while
// blocks of every effect are processed, with an effect change (and so a
// processor clear) before each run, as the dispatcher makes them; and the
// same for the natural voices' shifter, reset before each voice.
//
// Allocations are counted by this executable's own malloc family, which
// forwards to glibc; system calls by a seccomp filter on the processing
// thread that traps every call but futex, rt_sigreturn and exit. Both need a
// plain build: the sanitizers bring allocators and system calls of their own.
#include <gtest/gtest.h>

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <SoundTouch.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <thread>
#include <vector>

#include "catalogue.h"
#include "natural_voice_shifter.h"
#include "test_support.h"
#include "ts3_plugin.h"
#include "voice_doubles.h"
#include "voice_processing.h"
#include "voice_state.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define MORINDALE_PLAIN_BUILD 0
#else
#define MORINDALE_PLAIN_BUILD 1
#endif

namespace {
thread_local bool countAllocations = false;
std::atomic<long> allocations{0};
std::atomic<long> releases{0};
inline void Count() {
    if (countAllocations) allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

#if MORINDALE_PLAIN_BUILD
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t size) {
    Count();
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    Count();
    return __libc_calloc(count, size);
}
void* realloc(void* block, std::size_t size) {
    Count();
    return __libc_realloc(block, size);
}
void* memalign(std::size_t alignment, std::size_t size) {
    Count();
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
    Count();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    Count();
    void* block = __libc_memalign(alignment, size);
    if (block == nullptr) return ENOMEM;
    *out = block;
    return 0;
}
void free(void* block) {
    if (countAllocations && block != nullptr) releases.fetch_add(1, std::memory_order_relaxed);
    __libc_free(block);
}
}
#endif

namespace {

constexpr int kBlock = 960;
constexpr int kWarmUpBlocks = 300;
constexpr int kCountedBlocks = 1000;

const std::vector<int16_t>& Speech() {
    // Loud enough for Robotic Voice, voiced enough for the pitch processor.
    static const std::vector<int16_t> signal = [] {
        std::vector<int16_t> s = morindale_test::Sine(170.0, 7000.0, 50 * kBlock);
        const std::vector<int16_t> h = morindale_test::Sine(340.0, 3000.0, 50 * kBlock, 0.5);
        for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>(s[i] + h[i]);
        return s;
    }();
    return signal;
}

// Runs `blocks` blocks of `effect` after selecting it as the dispatcher does.
// Allocation-free itself: the block buffer is the caller's.
void RunEffect(int effect, int blocks, int16_t* block, long* perBlockAllocations = nullptr) {
    gl_CurrentVoiceEffect = effect;
    RequestPitchProcessorClear();
    const std::vector<int16_t>& speech = Speech();
    for (int b = 0; b < blocks; ++b) {
        const int16_t* source = speech.data() + (b % 50) * kBlock;
        for (int i = 0; i < kBlock; ++i) block[i] = source[i];
        const long before = allocations.load(std::memory_order_relaxed);
        int edited = EDIT_FLAG_SENDING;
        ts3plugin_onEditCapturedVoiceDataEvent(1, block, kBlock, 1, &edited);
        if (perBlockAllocations != nullptr) perBlockAllocations[b] = allocations.load(std::memory_order_relaxed) - before;
    }
}

void WarmUp(int16_t* block) {
    for (int effect = kFirstEffect; effect <= kLastEffect; ++effect) RunEffect(effect, kWarmUpBlocks, block);
}

// The natural voices' shifter, chosen as a voice is (shift and reset), over
// `blocks` blocks in place. Allocation-free itself.
void RunNaturalShifter(NaturalVoiceShifter& shifter, double semitones, double formants, int blocks, int16_t* block) {
    shifter.setShift(semitones, formants);
    shifter.reset();
    const std::vector<int16_t>& speech = Speech();
    for (int b = 0; b < blocks; ++b) {
        const int16_t* source = speech.data() + (b % 50) * kBlock;
        for (int i = 0; i < kBlock; ++i) block[i] = source[i];
        shifter.process(block, block, kBlock);
    }
}

// Both natural voices, one after the other, on one shifter.
void RunNaturalVoices(NaturalVoiceShifter& shifter, int blocks, int16_t* block) {
    RunNaturalShifter(shifter, 5.0, 1.2, blocks, block);
    RunNaturalShifter(shifter, -4.0, 0.9, blocks, block);
}

class VoiceRealtime : public ::testing::Test {
protected:
    void SetUp() override {
        if (!MORINDALE_PLAIN_BUILD) GTEST_SKIP() << "the sanitizers allocate and call the system themselves";
        FillSineTable();
        ConfigurePitchProcessor();
        gl_HearMyVoice = true;  // the monitor hand-off is part of the path
        voice_doubles::RecordPitchCalls(false);
    }
};

// How many allocations one change of pitch costs inside bare SoundTouch.
long AllocationsPerPitchChange() {
    soundtouch::SoundTouch touch;
    touch.setSampleRate(48000);
    touch.setChannels(1);
    touch.setSetting(SETTING_USE_AA_FILTER, 1);
    touch.setPitchSemiTones(1.0);
    const long before = allocations.load();
    countAllocations = true;
    touch.setPitchSemiTones(2.0);
    countAllocations = false;
    return allocations.load() - before;
}

TEST_F(VoiceRealtime, AllocatesNothingAfterWarmUpButSoundTouchsOwnFilterWhenThePitchChanges) {
    std::vector<int16_t> block(kBlock);
    WarmUp(block.data());
    const long perChange = AllocationsPerPitchChange();
    ASSERT_GT(perChange, 0) << "the measurement of SoundTouch itself failed";

    std::vector<long> perBlock(kCountedBlocks);
    double lastPitch = NAN;  // the pitch the processor holds
    // The recorder keeps the pitch of each block in fixed storage.
    voice_doubles::RecordPitchCalls(true);
    for (int effect = kFirstEffect; effect <= kLastEffect; ++effect) {
        SCOPED_TRACE("effect " + std::to_string(effect));
        voice_doubles::ResetPitchCalls();
        allocations = 0;
        releases = 0;
        countAllocations = true;
        RunEffect(effect, kCountedBlocks, block.data(), perBlock.data());
        countAllocations = false;
        const std::vector<voice_doubles::PitchCall> pitch = voice_doubles::PitchCalls();
        if (pitch.empty()) {
            // Clone, Robotic Voice, My voice: nothing at all.
            EXPECT_EQ(allocations.load(), 0);
            EXPECT_EQ(releases.load(), 0);
            continue;
        }
        // SoundTouch redesigns its anti-alias filter with new[] and delete[]
        // whenever the pitch differs from the last one: every block under
        // Mutation, every eighth under Atari Game, the first block after a
        // change to a fixed shift. Nothing else allocates, and it gives back
        // what it takes.
        ASSERT_EQ(pitch.size(), static_cast<std::size_t>(kCountedBlocks));
        long changes = 0;
        for (int b = 0; b < kCountedBlocks; ++b) {
            const bool changed = !(pitch[b].semitones == lastPitch);
            lastPitch = pitch[b].semitones;
            changes += changed ? 1 : 0;
            ASSERT_EQ(perBlock[b], changed ? perChange : 0) << "block " << b;
        }
        EXPECT_EQ(releases.load(), allocations.load());
        if (effect >= EFFECT_PITCH_MALE) {
            EXPECT_EQ(changes, 1);
        }
        if (effect == EFFECT_ATARI) {
            EXPECT_LE(changes, kCountedBlocks / 8 + 2);
        }
    }
    voice_doubles::RecordPitchCalls(false);

    // The natural voices' shifter allocates only when it is made.
    NaturalVoiceShifter shifter;
    RunNaturalVoices(shifter, kWarmUpBlocks, block.data());
    allocations = 0;
    releases = 0;
    countAllocations = true;
    RunNaturalVoices(shifter, kCountedBlocks, block.data());
    countAllocations = false;
    EXPECT_EQ(allocations.load(), 0) << "natural voices";
    EXPECT_EQ(releases.load(), 0) << "natural voices";
}

// --- System calls --------------------------------------------------------------

std::atomic<int> trappedCalls{0};
std::atomic<long> firstTrapped{-1};
std::atomic<bool> countTraps{false};

void OnSigsys(int, siginfo_t* info, void* context) {
    if (countTraps.load(std::memory_order_relaxed)) {
        trappedCalls.fetch_add(1, std::memory_order_relaxed);
        long expected = -1;
        firstTrapped.compare_exchange_strong(expected, info->si_syscall);
    }
    // The call did not happen; it fails with ENOSYS.
    static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RAX] = -ENOSYS;
}

// Traps every system call of the calling thread but futex, rt_sigreturn and
// exit. Returns false when the kernel refuses the filter.
bool TrapSystemCallsOfThisThread() {
    struct sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_futex, 3, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_rt_sigreturn, 2, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_exit, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRAP),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    struct sock_fprog program = {static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return false;
    return syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) == 0;
}

TEST_F(VoiceRealtime, NoSystemCallOnTheAudioPathAfterWarmUp) {
#if defined(__x86_64__)
    struct sigaction action = {};
    action.sa_sigaction = OnSigsys;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGSYS, &action, nullptr), 0);

    bool installed = false;
    // Made on this thread, as the plug-in makes its processors when it loads
    // and not on the audio thread; the capture thread's heap stays as the
    // effects' warm-up leaves it.
    NaturalVoiceShifter shifter;
    std::thread capture([&] {
        std::vector<int16_t> block(kBlock);
        WarmUp(block.data());
        RunNaturalVoices(shifter, kWarmUpBlocks, block.data());
        installed = TrapSystemCallsOfThisThread();
        if (!installed) return;
        // Proves the filter is in force: this one must be trapped.
        countTraps = true;
        syscall(SYS_getppid);
        const int probe = trappedCalls.exchange(0);
        firstTrapped = -1;
        for (int effect = kFirstEffect; effect <= kLastEffect; ++effect) RunEffect(effect, kCountedBlocks, block.data());
        RunNaturalVoices(shifter, kCountedBlocks, block.data());
        countTraps = false;
        if (probe != 1) trappedCalls = -1000;
    });
    capture.join();
    if (!installed) GTEST_SKIP() << "seccomp filters are not available here";
    EXPECT_EQ(trappedCalls.load(), 0) << "first system call: " << firstTrapped.load();
#else
    GTEST_SKIP() << "the filter is written for x86-64";
#endif
}

}  // namespace
