#include "settings_format.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "voice_state.h"

namespace {

const char* const kEnabledKey = "ENABLED";
const char* const kEffectKey = "EFFECT";
const char* const kHearVoiceKey = "HEAR_VOICE";
const char* const kHearMusicKey = "HEAR_MUSIC";
const char* const kUseDirectSoundKey = "USE_DIRECTSOUND";
const char* const kCustomPitchKey = "CUSTOM_PITCH";

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

std::size_t FormatSettings(char* out) {
    const struct {
        const char* key;
        int value;
    } lines[] = {
        {kEnabledKey, gl_Enabled ? 1 : 0},
        {kEffectKey, gl_CurrentVoiceEffect},
        {kHearVoiceKey, gl_HearMyVoice ? 1 : 0},
        {kHearMusicKey, gl_HearMyMusic ? 1 : 0},
        {kUseDirectSoundKey, gl_UseDirectSound ? 1 : 0},
        {kCustomPitchKey, PitchToSettingsNumber(SS_Manual_Pitch)},
    };
    std::size_t length = 0;
    for (const auto& line : lines) {
        // Longest line: "USE_DIRECTSOUND=-2147483648\n", 28 characters.
        length += static_cast<std::size_t>(
            std::snprintf(out + length, kSettingsTextSize - length, "%s=%d\n", line.key, line.value));
    }
    return length;
}

void ApplySettingsLine(const char* line) {
    const char* equals = std::strchr(line, '=');
    if (equals == nullptr) return;
    const std::size_t keyLength = static_cast<std::size_t>(equals - line);
    const auto isKey = [&](const char* key) {
        return std::strlen(key) == keyLength && std::memcmp(line, key, keyLength) == 0;
    };
    const int number = ParseSettingsNumber(equals + 1);
    if (isKey(kEnabledKey)) {
        gl_Enabled = number != 0;
    } else if (isKey(kEffectKey)) {
        gl_CurrentVoiceEffect = number;
    } else if (isKey(kHearVoiceKey)) {
        gl_HearMyVoice = number != 0;
    } else if (isKey(kHearMusicKey)) {
        gl_HearMyMusic = number != 0;
    } else if (isKey(kUseDirectSoundKey)) {
        gl_UseDirectSound = number != 0;
    } else if (isKey(kCustomPitchKey)) {
        SS_Manual_Pitch = PitchFromSettingsNumber(number);
    }
}

int ParseSettingsNumber(const char* text) {
    const char* p = text;
    while (IsSpace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    // The magnitude is held at its limit once it gets there; limit * 10 + 9
    // still fits in a long long.
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : static_cast<long long>(INT_MAX);
    long long magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > limit) magnitude = limit;
    }
    return static_cast<int>(negative ? -magnitude : magnitude);
}

int PitchToSettingsNumber(float pitch) {
    const float scaled = pitch * 1000.0f;
    if (scaled != scaled) return 0;
    // 2^31 is exact in float; every float below it converts without overflow.
    if (scaled >= 2147483648.0f) return INT_MAX;
    if (scaled < -2147483648.0f) return INT_MIN;
    return static_cast<int>(scaled);
}

float PitchFromSettingsNumber(int number) {
    return static_cast<float>(static_cast<double>(static_cast<float>(number)) / 1000.0);
}
