// The text of the settings file: six KEY=value lines with decimal integers.
// Formatting reads the voice state, applying a line writes it.
#pragma once

#include <cstddef>

// Large enough for the six lines with any int values.
constexpr std::size_t kSettingsTextSize = 256;

// Formats the six lines from the voice state into out (kSettingsTextSize
// bytes); returns the length of the text.
std::size_t FormatSettings(char* out);

// Applies one line (zero-terminated, with or without its line end) to the
// voice state. A line without "=" or with an unknown key changes nothing.
void ApplySettingsLine(const char* line);

// Reads a decimal number as atoi does (leading white space, an optional sign,
// digits up to the first other character; no digits give 0), except that
// numbers beyond the range of an int saturate at INT_MIN or INT_MAX.
int ParseSettingsNumber(const char* text);

// CUSTOM_PITCH: the pitch times 1000 in 32-bit float, truncated toward zero;
// products beyond the range of an int saturate, NaN gives 0.
int PitchToSettingsNumber(float pitch);

// CUSTOM_PITCH: the number as a 32-bit float, divided by 1000 in double, and
// rounded to the nearest float.
float PitchFromSettingsNumber(int number);
