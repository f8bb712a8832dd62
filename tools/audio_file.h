// Sound files for the renderer, through libsndfile: any file it reads comes
// in as 48 kHz mono 16-bit samples (channels averaged, other rates converted
// with libsamplerate); results go out as 48 kHz mono 16-bit files that
// appear only once complete.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morindale_render {

constexpr int kRate = 48000;

// Reads path as 48 kHz mono. Rates outside 1 kHz to 768 kHz are refused
// before anything is sized from them. On failure returns false with a
// one-line reason in error.
bool ReadAsClientAudio(const std::string& path, std::vector<int16_t>* samples, std::string* error);

// Writes 48 kHz mono 16-bit samples to path: WAV, or FLAC/AIFF by the
// file's extension. The file is written under a temporary name next to path,
// created anew (never through a link or a FIFO already there), and renamed
// over it when complete, so that a failure leaves no partial file.
bool WriteClientAudio(const std::string& path, const std::vector<int16_t>& samples, std::string* error);

}  // namespace morindale_render
