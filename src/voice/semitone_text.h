// The user's own pitch as text: what "/morindale pitch" and the tools accept
// and print. Values are held as integer thousandths of a semitone, so that
// reading and printing are exact and independent of the C locale.
#pragma once

#include <cstddef>

// Longest text accepted, in characters: a sign, two digits, a point and three
// decimals with room for a few leading zeros.
constexpr std::size_t kSemitoneTextMaxLength = 10;
// Room for any text FormatSemitones writes, with its zero byte.
constexpr std::size_t kSemitoneTextSize = 16;

// Reads a decimal number from -12 to 12: an optional sign, digits, and
// optionally a point followed by one to three digits ("-2.5", "+3", "7",
// "0.125"). Anything else (empty, longer than kSemitoneTextMaxLength, other
// characters, exponents, "nan", "inf", hex, a bare point) is rejected. True
// with *thousandths set, or false with it untouched.
bool ParseSemitones(const char* text, int* thousandths);

// Writes thousandths as the shortest decimal: "+2.5", "-12", "0", "+0.125".
void FormatSemitones(int thousandths, char (&out)[kSemitoneTextSize]);

// A pitch in semitones as thousandths, rounded to the nearest and held to
// the manual pitch's range; NaN gives 0.
int SemitonesToThousandths(float semitones);

// The manual pitch that the engine plays for a stored value: held to the
// range -12..12, NaN as 0.
float ManualPitchInRange(float semitones);
