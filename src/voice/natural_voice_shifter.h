// The shifter of the natural voices: pitch and formants moved apart, mono at
// 48 kHz, period by period (pitch-synchronous).
//
// Model. A coarse pitch tracker (normalised autocorrelation of the signal
// low-passed and decimated to 12 kHz, every 256 samples) decides where the
// voice is voiced and gives a first period, 80 to 400 Hz. In voiced stretches
// analysis marks follow the waveform one period apart, each step found by
// normalised cross-correlation at full rate and refined to a fraction of a
// sample, the first mark of a stretch on its loudest sample. Synthesis marks
// are placed period / pitchRatio apart; each takes the nearest analysis
// mark's grain. A grain is made of harmonics: the input's are measured over
// one period each side of the mark (Fourier transform), their spectral
// envelope is fitted (HarmonicEnvelope), and the grain is one output period
// whose harmonics take that envelope read at their frequency divided by the
// formant factor, with the input's phases there and the input's power. The
// grains cross-fade over each spacing. Where no voiced stretch lies the
// input passes through unchanged, so noise and fricatives keep their level
// and gain no buzz; a stretch fades in and out over about one synthesis
// period.
//
// In and out: 16-bit samples, one output for each input, output behind input
// by latencySamples() (28 ms for +5 semitones and formants x1.2, 35 ms
// for -4 and x0.9). The output does not depend on how the input is cut into
// blocks. Windows, twiddle factors and envelopes are computed by plain
// arithmetic and sqrt (no C library maths), so the samples are the same on
// every platform.
//
// Threads: one thread at a time. The constructor allocates everything
// (about 650 KB); process, setShift and reset allocate nothing, take no lock
// and make no system call.
#pragma once

#include <complex>
#include <cstdint>
#include <memory>
#include <vector>

#include "fourier_transform.h"
#include "harmonic_envelope.h"

class NaturalVoiceShifter {
public:
    static constexpr int kSampleRate = 48000;
    static constexpr double kMinSemitones = -12.0, kMaxSemitones = 12.0;
    static constexpr double kMinFormantFactor = 0.5, kMaxFormantFactor = 2.0;

    // Shift 0 semitones, formants x1, cleared.
    NaturalVoiceShifter();
    NaturalVoiceShifter(const NaturalVoiceShifter&) = delete;
    NaturalVoiceShifter& operator=(const NaturalVoiceShifter&) = delete;

    // semitones in -12..12 and formantFactor (spectral envelope scale) in
    // 0.5..2, clamped to those ranges; NaN counts as 0 and 1. The latency
    // follows the shift: when it changes, the state is cleared as by reset().
    void setShift(double semitones, double formantFactor);

    // Forgets all input: the next sample processed starts a new stream, and
    // the first latencySamples() outputs are silence. For a voice that is
    // chosen anew.
    void reset();

    // Samples from an input to its output for the current shift.
    int latencySamples() const { return latency_; }

    // count samples (0 or more) from in to out; in and out may be the same
    // array (in place), but must not otherwise overlap.
    void process(const int16_t* in, int16_t* out, int count);

private:
    struct Frame {
        double period;  // samples at 48 kHz
        bool voiced;
    };
    struct Mark {
        double position;  // absolute input sample
        double period;    // samples from the previous mark (the first: the tracker's)
    };
    enum class Tracking { Seeking, Following, Ended };

    void advance();
    bool computeFrame();
    bool stepMarks();
    bool placeGrains();
    float inputAt(int64_t index) const;
    int synthesiseGrain(const Mark& mark, double spacing);
    std::complex<double> spectrumAt(double frequency, int size, double offset) const;
    float tableAt(double position) const;
    const Frame* frameFor(double position) const;
    void endStretch();

    double pitchRatio_ = 1.0;
    double formantFactor_ = 1.0;
    int latency_ = 0;

    std::vector<float> input_;    // ring of input samples by absolute index
    std::vector<float> grains_;   // ring: sum of windowed grains by output time
    std::vector<float> weights_;  // ring: the voiced stretches' share, 0 to 1
    std::vector<float> norms_;    // ring: sum of the grains' windows
    std::vector<float> scratch_;
    std::vector<Frame> frames_;
    std::vector<Mark> marks_;
    std::vector<std::unique_ptr<FourierTransform>> analysis_, synthesis_;
    std::vector<std::complex<float>> grain_, spectrum_, harmonicSpectrum_;
    std::vector<float> table_;  // one output period, one point more each side
    std::vector<double> amplitudes_;
    HarmonicEnvelope envelope_;
    int64_t received_ = 0;  // input samples so far
    int64_t emitted_ = 0;   // output samples so far

    int64_t framesDone_ = 0;
    Tracking tracking_ = Tracking::Seeking;
    int64_t scanFrame_ = 0;   // next frame to look at while seeking
    int64_t markBegin_ = 0;   // first mark still needed by the synthesis
    int64_t markEnd_ = 0;     // one past the last mark of the stretch
    bool synthesising_ = false;
    double synthesisMark_ = 0.0;   // next synthesis mark, output time
    double rise_ = 0.0;            // samples its share rises over
    double ownRise_ = 0.0;         // samples its own window rises over
    double synthesisEnd_ = -1e9;   // where the last stretch's windows end
};
