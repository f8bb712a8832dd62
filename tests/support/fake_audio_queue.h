// A test implementation of the output queue of src/audio/audio_queue.h, for
// unit tests that compile the monitor playback in: nothing plays by itself;
// the test decides when the oldest queued buffer has been played, and so when
// the refill callback runs. Every call into the queue is logged.
//
// PlayNext may be called from any one thread while other threads append to
// the monitor; the queue's own state is guarded by a mutex that is never held
// while the callback runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "../../src/audio/audio_queue.h"

namespace fake_audio_queue {

// Forgets every queue, buffer and logged call; failures off.
void Reset();

// The next OutputQueueNew fails with `error`.
void FailNextNew(int error);
// The allocation of buffer number `index` (0-based) of the next queue fails.
void FailAllocation(int index, int error);

// Calls in order, as "New", "Allocate 1920", "Enqueue", "Prime 4",
// "Volume 1.000", "Start", "Flush", "Stop false", "Dispose false",
// "Dispose true", "EndCallbackLoop".
std::vector<std::string> Calls();
// The format that the last OutputQueueNew received.
StreamFormat LastFormat();

bool QueueExists();            // created and not yet disposed
std::size_t QueuedBuffers();   // enqueued, not yet played
std::size_t CallbacksRun();    // refills so far (opening's included)

// Plays the oldest queued buffer: returns the mAudioDataByteSize bytes it
// held, then hands it to the refill callback. Empty when nothing is queued.
// After LoseOutput, the output is back with it.
std::vector<unsigned char> PlayNext();

// The output goes away, or an opening that went on in the background
// fails: the callback is told with a null buffer; OutputQueueFailure then
// gives `failure`.
void LoseOutput(int failure = kOutputErrorLost);

}  // namespace fake_audio_queue
