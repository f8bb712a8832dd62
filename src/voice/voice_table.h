// The one table of voices. Each row names a voice everywhere it appears: its
// action ID (menu item, hotkey action and the settings file's EFFECT value),
// its menu text (also its hotkey's description), icon, hotkey keyword and
// confirmation, the renderer's name for it, and its rule, which says what the
// engine does to a block. The rows stand in menu order; the plug-in's menu,
// hotkeys, dispatcher and settings, the voice engine, the renderer, the
// preview and the benchmark all read them from here.
//
// A new voice is one row. A new kind of rule is one enumerator here and one
// case in VoiceEngine's dispatch.
#pragma once

#include <cstddef>
#include <cstring>

// The IDs of the voices. Users' settings files store them: they never change.
enum VoiceId {
    EFFECT_ATARI = 7,
    EFFECT_CLONE = 8,
    EFFECT_MUTATION_SLOW = 9,
    EFFECT_MUTATION = 10,
    EFFECT_MUTATION_FAST = 11,
    EFFECT_PITCH_MALE = 12,
    EFFECT_PITCH_FEMALE = 13,
    EFFECT_PITCH_HELIUM = 14,
    EFFECT_PITCH_BABY = 15,
    EFFECT_ROBOTIC = 16,
    EFFECT_MY_VOICE = 17,
    EFFECT_PITCH_MANUAL = 22,
    EFFECT_FEMALE_NATURAL = 23,
    EFFECT_MALE_NATURAL = 24,
};

enum class RuleKind {
    FixedShift,      // the pitch processor at `semitones`
    ManualShift,     // the pitch processor at the user's own pitch
    Sweep,           // the pitch processor, sweeping up and down (Mutation)
    Jump,            // the pitch processor, jumping between two shifts (Atari Game)
    Echo,            // in place: one echo (Clone)
    RingModulation,  // in place: multiplied by a 25 Hz sine on loud blocks
    Unchanged,       // in place: the voice as it is, still committed
    NaturalShift,    // the natural voices' shifter: pitch and formants moved apart
};

struct VoiceRule {
    RuleKind kind;
    // FixedShift and NaturalShift: the shift in semitones. Sweep: the fall
    // in semitones per block (negative). Otherwise unused.
    float semitones;
    // NaturalShift: the factor the formants (the spectral envelope) move by.
    float formants = 1.0f;
};

constexpr VoiceRule FixedShift(float semitones) { return {RuleKind::FixedShift, semitones}; }
constexpr VoiceRule Sweep(float fallPerBlock) { return {RuleKind::Sweep, fallPerBlock}; }
constexpr VoiceRule NaturalShift(float semitones, float formants) {
    return {RuleKind::NaturalShift, semitones, formants};
}
constexpr VoiceRule Rule(RuleKind kind) { return {kind, 0.0f}; }

// True for the kinds that run through the pitch processor.
constexpr bool UsesPitchProcessor(RuleKind kind) {
    return kind == RuleKind::FixedShift || kind == RuleKind::ManualShift || kind == RuleKind::Sweep ||
           kind == RuleKind::Jump;
}

struct Voice {
    int id;
    const char* menuText;  // also the hotkey's description
    const char* icon;
    const char* hotkey;
    const char* message;       // printed into the chat tab when chosen
    const char* rendererName;  // the tools' name for it
    VoiceRule rule;
};

inline constexpr Voice kVoices[] = {
    {EFFECT_ATARI, "Atari Game", "voice.png", "effect_atari", "Atari Game voice active. [Morindale]", "atari",
     Rule(RuleKind::Jump)},
    {EFFECT_CLONE, "Clone", "voice.png", "effect_clone", "Clone voice active. [Morindale]", "clone",
     Rule(RuleKind::Echo)},
    {EFFECT_MY_VOICE, "My voice", "voice.png", "effect_myvoice", "My voice active. [Morindale]", "myvoice",
     Rule(RuleKind::Unchanged)},
    {EFFECT_MUTATION_SLOW, "Mutation (slow)", "voice.png", "effect_mut_slow",
     "Mutation (slow) voice active. [Morindale]", "mutation-slow", Sweep(-0.01f)},
    {EFFECT_MUTATION, "Mutation", "voice.png", "effect_mutation", "Mutation voice active. [Morindale]", "mutation",
     Sweep(-0.1f)},
    {EFFECT_MUTATION_FAST, "Mutation (fast)", "voice.png", "effect_mut_fast",
     "Mutation (fast) voice active. [Morindale]", "mutation-fast", Sweep(-0.3f)},
    {EFFECT_PITCH_MALE, "Pitch (male)", "voice.png", "effect_pmale", "Pitch (male) voice active. [Morindale]", "male",
     FixedShift(-3)},
    {EFFECT_PITCH_FEMALE, "Pitch (female)", "voice.png", "effect_pfmale", "Pitch (female) voice active. [Morindale]",
     "female", FixedShift(4)},
    {EFFECT_PITCH_HELIUM, "Pitch (helium)", "voice.png", "effect_phelium", "Pitch (helium) voice active. [Morindale]",
     "helium", FixedShift(8)},
    {EFFECT_PITCH_BABY, "Pitch (baby)", "voice.png", "effect_pbaby", "Pitch (baby) voice active. [Morindale]", "baby",
     FixedShift(12)},
    {EFFECT_PITCH_MANUAL, "Pitch (manual)", "voice.png", "effect_pmanual", "Pitch (manual) voice active. [Morindale]",
     "manual", Rule(RuleKind::ManualShift)},
    {EFFECT_FEMALE_NATURAL, "Female (natural)", "voice.png", "effect_nfemale",
     "Female (natural) voice active. [Morindale]", "female-natural", NaturalShift(5, 1.2f)},
    {EFFECT_MALE_NATURAL, "Male (natural)", "voice.png", "effect_nmale", "Male (natural) voice active. [Morindale]",
     "male-natural", NaturalShift(-4, 0.9f)},
    // The message says "voice" in lower case, unlike the menu text.
    {EFFECT_ROBOTIC, "Robotic Voice", "voice.png", "effect_robovoice", "Robotic voice active. [Morindale]", "robotic",
     Rule(RuleKind::RingModulation)},
};

constexpr std::size_t kVoiceCount = sizeof(kVoices) / sizeof(kVoices[0]);

constexpr int LowestVoiceId() {
    int lowest = kVoices[0].id;
    for (const Voice& voice : kVoices) lowest = voice.id < lowest ? voice.id : lowest;
    return lowest;
}
constexpr int HighestVoiceId() {
    int highest = kVoices[0].id;
    for (const Voice& voice : kVoices) highest = voice.id > highest ? voice.id : highest;
    return highest;
}
constexpr int kLowestVoiceId = LowestVoiceId();
constexpr int kHighestVoiceId = HighestVoiceId();

// The voice with this ID, or null.
constexpr const Voice* FindVoice(int id) {
    for (const Voice& voice : kVoices)
        if (voice.id == id) return &voice;
    return nullptr;
}

// The voice with this renderer name (exact, case-sensitive), or null.
inline const Voice* FindVoiceByRendererName(const char* name) {
    if (name == nullptr) return nullptr;
    for (const Voice& voice : kVoices)
        if (std::strcmp(voice.rendererName, name) == 0) return &voice;
    return nullptr;
}

// The user's own pitch (Pitch (manual)), in semitones.
constexpr float kManualPitchLowest = -12.0f;
constexpr float kManualPitchHighest = 12.0f;

namespace voice_table_checks {
constexpr bool IdsAreUnique() {
    for (std::size_t i = 0; i < kVoiceCount; ++i)
        for (std::size_t j = i + 1; j < kVoiceCount; ++j)
            if (kVoices[i].id == kVoices[j].id) return false;
    return true;
}
static_assert(IdsAreUnique(), "every voice has an ID of its own");
// 6 and 18..21 are the other actions of the menu.
static_assert(FindVoice(6) == nullptr && FindVoice(18) == nullptr && FindVoice(19) == nullptr &&
                  FindVoice(20) == nullptr && FindVoice(21) == nullptr,
              "voice IDs do not collide with the other actions");
}  // namespace voice_table_checks
