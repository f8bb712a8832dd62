// Local monitor playback: the capture path appends each transformed block to
// a FIFO that the output drains in 20 ms buffers.
#pragma once

// Opens the default output; always returns 0, at once: where the output is
// reached in the background (Linux), a failure is logged when it is known.
int WAVE_Set_WIN_Params(unsigned int sampleRate, int bitsPerSample, int channels);

// Appends byteCount bytes to the FIFO (capture thread); always returns 0.
int WAVE_WIN_Play_Samples(const void* data, int byteCount);

// Closes the output; once it returns, no callback runs any more.
void WAVE_WIN_Audio_close();
