#include "semitone_text.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "voice_table.h"

namespace {

constexpr int kHighestThousandths = 12000;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool ParseSemitones(const char* text, int* thousandths) {
    if (text == nullptr) return false;
    const std::size_t length = strnlen(text, kSemitoneTextMaxLength + 1);
    if (length == 0 || length > kSemitoneTextMaxLength) return false;
    const char* p = text;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (!IsDigit(*p)) return false;
    // Leading zeros are fine; anything above 12 is out, before it could
    // grow beyond an int.
    int whole = 0;
    for (; IsDigit(*p); ++p) {
        whole = whole * 10 + (*p - '0');
        if (whole > kHighestThousandths / 1000) return false;
    }
    int fraction = 0;
    if (*p == '.') {
        ++p;
        int decimals = 0;
        for (; IsDigit(*p); ++p, ++decimals) {
            if (decimals == 3) return false;
            fraction = fraction * 10 + (*p - '0');
        }
        if (decimals == 0) return false;
        for (; decimals < 3; ++decimals) fraction *= 10;
    }
    if (*p != '\0') return false;
    const int value = whole * 1000 + fraction;
    if (value > kHighestThousandths) return false;
    *thousandths = negative ? -value : value;
    return true;
}

void FormatSemitones(int thousandths, char (&out)[kSemitoneTextSize]) {
    // Within the int range but far outside the manual pitch's: the sign and
    // magnitude are formatted as they are.
    const long long value = thousandths;
    const long long magnitude = value < 0 ? -value : value;
    const char* sign = value < 0 ? "-" : value > 0 ? "+" : "";
    char decimals[5] = "";
    long long fraction = magnitude % 1000;
    if (fraction != 0) {
        int digits = 3;
        while (fraction % 10 == 0) {
            fraction /= 10;
            --digits;
        }
        std::snprintf(decimals, sizeof decimals, ".%0*lld", digits, fraction);
    }
    std::snprintf(out, sizeof out, "%s%lld%s", sign, magnitude / 1000, decimals);
}

float ManualPitchInRange(float semitones) {
    if (std::isnan(semitones)) return 0.0f;
    if (semitones < kManualPitchLowest) return kManualPitchLowest;
    if (semitones > kManualPitchHighest) return kManualPitchHighest;
    return semitones;
}

int SemitonesToThousandths(float semitones) {
    return static_cast<int>(std::lround(static_cast<double>(ManualPitchInRange(semitones)) * 1000.0));
}
