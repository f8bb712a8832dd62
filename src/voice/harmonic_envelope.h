// The spectral envelope of a voiced sound, from the amplitudes of its
// harmonics: what the natural voices read, moved by the formant factor, at
// the new harmonics' frequencies.
//
// Below kFitTop the envelope is all-pole: the inverse of an all-pole power
// response is a cosine series c0 + 2 sum ck cos(k w), so the series is fitted
// by least squares to make the harmonics' powers times it 1 (a discrete
// all-pole fit). It finds a narrow formant between two harmonics where any
// interpolation of their amplitudes would put it on one of them. Above, and
// where too few harmonics lie below kFitTop, it is the straight line between
// neighbouring harmonics; the two are blended over the last kilohertz.
//
// The fit cannot run away: it is held below kCeiling times the line between
// the neighbouring harmonics (12 dB allows a narrow formant midway between
// them, and keeps a sine from growing harmonics it never had), and every
// power below kFloor of the strongest is fitted as kFloor.
//
// No allocation, no lock, no system call; plain arithmetic and sqrt only, so
// the values are the same on every platform.
#pragma once

class HarmonicEnvelope {
public:
    static constexpr int kMaxHarmonics = 320;  // 80 Hz up to 25.6 kHz
    static constexpr double kFitTop = 7000.0;  // Hz

    // amplitudes[h - 1] is the amplitude of harmonic h of f0 Hz (h = 1 to
    // count, at most kMaxHarmonics are kept), at sampleRate.
    void fit(const double* amplitudes, int count, double f0, double sampleRate);

    // The envelope's amplitude at frequency Hz, 0 or more: 0 beyond one
    // harmonic spacing above the last harmonic.
    double at(double frequency) const;

private:
    static constexpr int kOrder = 12;  // cosine terms after c0: six resonances
    static constexpr double kFloor = 1e-10;      // -100 dB
    static constexpr double kCeiling = 4.0;      // +12 dB over the line
    static constexpr double kBlendFrom = 6000.0;  // Hz

    double line(double frequency) const;
    double basisArgument(double frequency) const;

    double amplitudes_[kMaxHarmonics] = {};
    int count_ = 0;
    double f0_ = 100.0;
    double sampleRate_ = 48000.0;
    int order_ = 0;      // 0: no fit, the line alone
    double top_ = 1.0;   // the strongest fitted power
    double edge_ = 1.0;  // cos of kFitTop, for the basis
    double c_[kOrder + 1] = {};
};
