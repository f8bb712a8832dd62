#include "natural_voice_shifter.h"

#include <algorithm>
#include <cmath>

#include "portable_maths.h"
#include "sample_conversion.h"

using portable::RaisedCosine;

namespace {

constexpr int kRing = 16384;  // samples: covers the latency, the grain reach and a chunk
constexpr int64_t kRingMask = kRing - 1;
constexpr int kChunk = 256;   // input samples taken in before the stages run

// The tracker: every kHop samples, a window low-passed (a 31-tap triangle,
// -6 dB near 1.3 kHz) and decimated by 4, lags 30 to 150 at 12 kHz.
constexpr int kHop = 256;
constexpr int kDecimation = 4;
constexpr int kTriangleTaps = 31;
constexpr int kMinLag = 30;   // 400 Hz
constexpr int kMaxLag = 150;  // 80 Hz
constexpr int kCorrelated = 150;  // decimated samples compared per lag
constexpr int kDecimatedWindow = kCorrelated + kMaxLag + 2;
// Full-rate samples from a frame's end back to the middle of its window: a
// frame's verdict holds for times from its middle to the next frame's.
constexpr int kFrameReach = 620;
constexpr int kFrameRing = 256;
constexpr double kMinPeriod = kMinLag * kDecimation;  // 120 samples
constexpr double kMaxPeriod = kMaxLag * kDecimation;  // 600 samples
constexpr double kVoicedClarity = 0.6;     // normalised autocorrelation at the period
constexpr double kLowBandShare = 0.1;      // share of the power the low-pass keeps (white noise: 0.04)
constexpr double kSilence = 1e-6;          // mean square, -60 dBFS

// The marks: each step searched within 12% of the tracker's period.
constexpr double kStepSearch = 0.12;
constexpr double kStepClarity = 0.6;
constexpr int kMarkRing = 128;
// A voiced stretch's share of the output falls, at the end of each
// synthesis spacing, over this part of it into the next grain's rise.
constexpr double kFall = 0.5;
// Input beyond a mark that the next step reads: a lag of up to kMaxPeriod
// plus half a period, and one more lag for the refinement.
constexpr double kStepReach = kMaxPeriod * 1.5 + 3.0;

// The grains' harmonics: up to 95% of the Nyquist frequency, in and out.
constexpr double kTopFrequency = 0.95 * 24000.0;
// A grain has the input's power, unless its harmonics come out 120 dB or
// more below it: then it is silent.
constexpr double kSmallestPowerRatio = 1e-12;
// Transform sizes: analysis 512 to 4096 (at least four periods), synthesis
// 256 to 8192 (at least eight points per output harmonic: at most 570 of
// them, in a spacing of up to 1200 samples).
constexpr int kAnalysisSmallest = 512, kAnalysisSizes = 4;
constexpr int kSynthesisSmallest = 256, kSynthesisSizes = 6;
// spectrum_ takes the analysis transform's output, then the synthesis one's.
static_assert((kAnalysisSmallest << (kAnalysisSizes - 1)) <= (kSynthesisSmallest << (kSynthesisSizes - 1)),
              "buffers sized for the larger transform");

// The index of the smallest of `sizes` powers of two from the set's smallest
// that holds `needed` points (the largest if none does).
int SizeIndex(double needed, int sizes, int smallest) {
    int index = 0;
    while (index + 1 < sizes && (smallest << index) < needed) ++index;
    return index;
}

// |z| by sqrt, which rounds alike everywhere (std::abs calls hypot, which
// does not).
double Magnitude(std::complex<double> z) { return std::sqrt(z.real() * z.real() + z.imag() * z.imag()); }

// Samples each side of a grain's centre that its window reaches.
int GrainReach(double period) { return static_cast<int>(std::ceil(period)) + 1; }

// The peak of a parabola through (-1, before), (0, at), (1, after), within
// half a sample of the middle; 0 when the three do not bend down.
double ParabolicPeak(double before, double at, double after) {
    const double bend = before - 2.0 * at + after;
    if (!(bend < 0.0)) return 0.0;
    const double offset = 0.5 * (before - after) / bend;
    return std::min(0.5, std::max(-0.5, offset));
}

}  // namespace

NaturalVoiceShifter::NaturalVoiceShifter()
    : input_(kRing),
      grains_(kRing),
      weights_(kRing),
      norms_(kRing),
      scratch_(kDecimatedWindow + 2 * static_cast<int>(kMaxPeriod) + 8),
      frames_(kFrameRing),
      marks_(kMarkRing),
      grain_(kAnalysisSmallest << (kAnalysisSizes - 1)),
      spectrum_(kSynthesisSmallest << (kSynthesisSizes - 1)),
      harmonicSpectrum_(kSynthesisSmallest << (kSynthesisSizes - 1)),
      table_((kSynthesisSmallest << (kSynthesisSizes - 1)) + 3),
      amplitudes_(HarmonicEnvelope::kMaxHarmonics) {
    for (int i = 0; i < kAnalysisSizes; ++i) {
        analysis_.push_back(std::make_unique<FourierTransform>(kAnalysisSmallest << i, false));
    }
    for (int i = 0; i < kSynthesisSizes; ++i) {
        synthesis_.push_back(std::make_unique<FourierTransform>(kSynthesisSmallest << i, true));
    }
    setShift(0.0, 1.0);
    reset();
}

void NaturalVoiceShifter::setShift(double semitones, double formantFactor) {
    if (!(semitones == semitones)) semitones = 0.0;
    if (!(formantFactor == formantFactor)) formantFactor = 1.0;
    semitones = std::min(kMaxSemitones, std::max(kMinSemitones, semitones));
    formantFactor = std::min(kMaxFormantFactor, std::max(kMinFormantFactor, formantFactor));
    pitchRatio_ = portable::PowerOfTwo(semitones / 12.0);
    formantFactor_ = formantFactor;
    // An output sample is complete once every grain whose windows reach it
    // is in: the grain of a synthesis mark up to one spacing ahead (its
    // window rises over the spacing before it), which needs its nearest analysis mark (and so the next
    // step), the tracker's frame, and its input up to a period beyond a mark
    // half a period away.
    const double reach = kMaxPeriod / pitchRatio_;
    const double ahead = std::max(kStepReach, std::max<double>(kFrameReach, kMaxPeriod / 2.0 + kMaxPeriod + 3.0));
    const int latency = static_cast<int>(std::ceil(reach + ahead)) + 2;
    if (latency != latency_) {
        latency_ = latency;
        reset();
    }
}

void NaturalVoiceShifter::reset() {
    std::fill(input_.begin(), input_.end(), 0.0f);
    std::fill(grains_.begin(), grains_.end(), 0.0f);
    std::fill(weights_.begin(), weights_.end(), 0.0f);
    std::fill(norms_.begin(), norms_.end(), 0.0f);
    received_ = 0;
    emitted_ = 0;
    framesDone_ = 0;
    tracking_ = Tracking::Seeking;
    scanFrame_ = 0;
    markBegin_ = 0;
    markEnd_ = 0;
    synthesising_ = false;
    synthesisMark_ = 0.0;
    rise_ = 0.0;
    ownRise_ = 0.0;
    synthesisEnd_ = -1e9;
}

float NaturalVoiceShifter::inputAt(int64_t index) const { return input_[static_cast<size_t>(index & kRingMask)]; }

void NaturalVoiceShifter::process(const int16_t* in, int16_t* out, int count) {
    if (in == nullptr || out == nullptr) return;
    int done = 0;
    while (done < count) {
        const int chunk = std::min(kChunk, count - done);
        for (int i = 0; i < chunk; ++i) input_[static_cast<size_t>((received_ + i) & kRingMask)] = SampleToFloat(in[done + i]);
        received_ += chunk;
        advance();
        for (int i = 0; i < chunk; ++i) {
            const int64_t time = emitted_ - latency_;
            float value = 0.0f;
            if (time >= 0) {
                const size_t slot = static_cast<size_t>(time & kRingMask);
                const float norm = norms_[slot];
                const float voiced = norm > 1e-6f ? grains_[slot] / norm : 0.0f;
                value = weights_[slot] * voiced + (1.0f - weights_[slot]) * input_[slot];
                grains_[slot] = 0.0f;
                norms_[slot] = 0.0f;
                weights_[slot] = 0.0f;
            }
            out[done + i] = FloatToSample(value);
            ++emitted_;
        }
        done += chunk;
    }
}

// Runs the stages as far as the input allows. Each stage's results depend
// on the input alone, never on how far the others got, so the output does
// not depend on the block sizes.
void NaturalVoiceShifter::advance() {
    for (;;) {
        bool progress = false;
        while (computeFrame()) progress = true;
        while (stepMarks()) progress = true;
        while (placeGrains()) progress = true;
        if (!progress) return;
    }
}

bool NaturalVoiceShifter::computeFrame() {
    const int64_t end = (framesDone_ + 1) * kHop;  // one past the window
    if (end > received_) return false;
    // Decimated sample i is the triangle over input base + 4i - 30 .. base + 4i.
    const int64_t base = end - 1 - kDecimation * (kDecimatedWindow - 1);
    double lowPower = 0.0;
    for (int i = 0; i < kDecimatedWindow; ++i) {
        const int64_t last = base + kDecimation * i;
        float sum = 0.0f;
        for (int j = 0; j < kTriangleTaps; ++j) {
            const int weight = j < 16 ? j + 1 : kTriangleTaps - j;
            sum += static_cast<float>(weight) * inputAt(last - j);
        }
        scratch_[static_cast<size_t>(i)] = sum * (1.0f / 256.0f);
        lowPower += static_cast<double>(scratch_[static_cast<size_t>(i)]) * scratch_[static_cast<size_t>(i)];
    }
    lowPower /= kDecimatedWindow;
    double power = 0.0;
    for (int64_t i = base - (kTriangleTaps - 1); i < end; ++i) power += static_cast<double>(inputAt(i)) * inputAt(i);
    power /= static_cast<double>(end - base + kTriangleTaps - 1);

    Frame frame{kMaxPeriod, false};
    if (power > kSilence && lowPower > kLowBandShare * power) {
        const float* d = scratch_.data();
        double head = 0.0;
        for (int i = 0; i < kCorrelated; ++i) head += static_cast<double>(d[i]) * d[i];
        double clarity[kMaxLag + 2] = {};
        double tail = 0.0;
        for (int i = 0; i < kCorrelated; ++i) tail += static_cast<double>(d[i + kMinLag - 1]) * d[i + kMinLag - 1];
        for (int lag = kMinLag - 1; lag <= kMaxLag + 1; ++lag) {
            if (lag > kMinLag - 1) {
                const double leaving = d[lag - 1], entering = d[lag - 1 + kCorrelated];
                tail += entering * entering - leaving * leaving;
            }
            double cross = 0.0;
            for (int i = 0; i < kCorrelated; ++i) cross += static_cast<double>(d[i]) * d[i + lag];
            const double norm = head * tail;
            clarity[lag] = norm > 0.0 ? cross / std::sqrt(norm) : 0.0;
        }
        double best = 0.0;
        for (int lag = kMinLag; lag <= kMaxLag; ++lag) best = std::max(best, clarity[lag]);
        // The shortest lag whose peak comes near the best: a multiple of the
        // period correlates almost as well, and must not win.
        for (int lag = kMinLag; lag <= kMaxLag; ++lag) {
            const double r = clarity[lag];
            if (r >= 0.9 * best && r >= clarity[lag - 1] && r >= clarity[lag + 1]) {
                const double exact = lag + ParabolicPeak(clarity[lag - 1], r, clarity[lag + 1]);
                frame.period = std::min(kMaxPeriod, std::max(kMinPeriod, exact * kDecimation));
                frame.voiced = r >= kVoicedClarity;
                break;
            }
        }
    }
    frames_[static_cast<size_t>(framesDone_ % kFrameRing)] = frame;
    ++framesDone_;
    return true;
}

// The frame whose verdict holds at an input position; nullptr while it is
// not computed yet.
const NaturalVoiceShifter::Frame* NaturalVoiceShifter::frameFor(double position) const {
    static const Frame kBeforeStart{kMaxPeriod, false};
    const int64_t index = static_cast<int64_t>(std::floor((position + kFrameReach) / kHop)) - 1;
    if (index < 0 || index < framesDone_ - kFrameRing) return &kBeforeStart;
    if (index >= framesDone_) return nullptr;
    return &frames_[static_cast<size_t>(index % kFrameRing)];
}

void NaturalVoiceShifter::endStretch() {
    tracking_ = Tracking::Ended;
    const double last = marks_[static_cast<size_t>((markEnd_ - 1) % kMarkRing)].position;
    scanFrame_ = std::max(scanFrame_, static_cast<int64_t>(std::floor((last + kFrameReach) / kHop)));
}

bool NaturalVoiceShifter::stepMarks() {
    if (tracking_ == Tracking::Ended) return false;
    if (tracking_ == Tracking::Seeking) {
        if (synthesising_ || scanFrame_ >= framesDone_) return false;
        const Frame& frame = frames_[static_cast<size_t>(scanFrame_ % kFrameRing)];
        if (!frame.voiced) {
            ++scanFrame_;
            return true;
        }
        // The first mark on the loudest sample of one period from the
        // frame's middle, late enough that the new stretch's first window
        // starts after the last stretch's windows end.
        const double middle = static_cast<double>((scanFrame_ + 1) * kHop - kFrameReach);
        const double firstSpacing = frame.period / pitchRatio_;
        const int64_t start = static_cast<int64_t>(std::max(middle, std::ceil(synthesisEnd_ + firstSpacing)));
        if (start > middle + kHop) {
            ++scanFrame_;
            return true;
        }
        const int64_t span = static_cast<int64_t>(std::ceil(frame.period));
        if (start + span + 1 >= received_) return false;
        int64_t loudest = start;
        float peak = -1.0f;
        for (int64_t i = start; i < start + span; ++i) {
            const float magnitude = std::fabs(inputAt(i));
            if (magnitude > peak) {
                peak = magnitude;
                loudest = i;
            }
        }
        const float sign = inputAt(loudest) < 0.0f ? -1.0f : 1.0f;
        const double position =
            loudest + ParabolicPeak(sign * inputAt(loudest - 1), sign * inputAt(loudest), sign * inputAt(loudest + 1));
        marks_[static_cast<size_t>(markEnd_ % kMarkRing)] = Mark{position, frame.period};
        ++markEnd_;
        ++scanFrame_;
        tracking_ = Tracking::Following;
        return true;
    }

    // Following: one more step, where the waveform one period on matches it best.
    if (markEnd_ - markBegin_ >= kMarkRing - 1) return false;
    const Mark last = marks_[static_cast<size_t>((markEnd_ - 1) % kMarkRing)];
    const Frame* frame = frameFor(last.position);
    if (frame == nullptr) return false;
    if (!frame->voiced) {
        endStretch();
        return true;
    }
    const double guess = frame->period;
    const int low = static_cast<int>(std::max(kMinPeriod, std::floor(guess * (1.0 - kStepSearch))));
    const int high = static_cast<int>(std::min(kMaxPeriod, std::ceil(guess * (1.0 + kStepSearch))));
    const int half = static_cast<int>(guess / 2.0);
    const int64_t anchor = static_cast<int64_t>(std::floor(last.position + 0.5));
    if (anchor + high + 1 + half >= received_) return false;

    // The samples from anchor - half on, laid out flat.
    float* x = scratch_.data();
    const int length = 2 * half + high + 2;
    for (int i = 0; i < length; ++i) x[i] = inputAt(anchor - half + i);
    double own = 0.0;
    for (int i = 0; i < 2 * half; ++i) own += static_cast<double>(x[i]) * x[i];
    double other = 0.0;
    for (int i = 0; i < 2 * half; ++i) other += static_cast<double>(x[i + low - 1]) * x[i + low - 1];
    double before = 0.0, at = -2.0, after = 0.0, previous = 0.0;
    int bestLag = 0;
    for (int lag = low - 1; lag <= high + 1; ++lag) {
        if (lag > low - 1) {
            const double leaving = x[lag - 1], entering = x[lag - 1 + 2 * half];
            other += entering * entering - leaving * leaving;
        }
        double cross = 0.0;
        for (int i = 0; i < 2 * half; ++i) cross += static_cast<double>(x[i]) * x[i + lag];
        const double norm = own * other;
        const double r = norm > 0.0 ? cross / std::sqrt(norm) : 0.0;
        if (lag == bestLag + 1) after = r;
        if (lag >= low && lag <= high && r > at) {
            before = previous;
            at = r;
            bestLag = lag;
        }
        previous = r;
    }
    if (!(own > kSilence * 2 * half) || at < kStepClarity) {
        endStretch();
        return true;
    }
    const double step = bestLag + ParabolicPeak(before, at, after);
    marks_[static_cast<size_t>(markEnd_ % kMarkRing)] = Mark{last.position + step, step};
    ++markEnd_;
    return true;
}

bool NaturalVoiceShifter::placeGrains() {
    if (!synthesising_) {
        if (markBegin_ == markEnd_) return false;
        const Mark& first = marks_[static_cast<size_t>(markBegin_ % kMarkRing)];
        synthesisMark_ = first.position;
        // A stretch fades in over its first spacing.
        rise_ = first.period / pitchRatio_;
        ownRise_ = rise_;
        synthesising_ = true;
    }
    const double s = synthesisMark_;
    int64_t j = markBegin_;
    while (j + 1 < markEnd_ && marks_[static_cast<size_t>((j + 1) % kMarkRing)].position <= s) ++j;
    const Mark& here = marks_[static_cast<size_t>(j % kMarkRing)];
    int64_t chosen = j;
    if (j + 1 < markEnd_) {
        const Mark& next = marks_[static_cast<size_t>((j + 1) % kMarkRing)];
        if (next.position - s < s - here.position) chosen = j + 1;
    } else if (tracking_ == Tracking::Following) {
        return false;  // the next mark decides which is nearest
    } else if (s - here.position > here.period / 2.0) {
        // Past the stretch's last mark: the stretch is done.
        synthesisEnd_ = s;
        synthesising_ = false;
        markBegin_ = markEnd_;
        tracking_ = Tracking::Seeking;
        return true;
    }
    const Mark& mark = marks_[static_cast<size_t>(chosen % kMarkRing)];
    const double spacing = mark.period / pitchRatio_;
    if (static_cast<int64_t>(std::floor(mark.position + 0.5)) + GrainReach(mark.period) >= received_) return false;
    const int size = synthesiseGrain(mark, spacing);

    // Two windows over the output. The grain's own: a raised cosine rising
    // over the last spacing and falling over this one, so that neighbouring
    // grains cross-fade; the grains are divided by the sum of these windows,
    // which is one inside a stretch. And the stretch's share: it rises before
    // the mark, stays at one and falls into the next grain's rise, so the
    // shares add to one inside a stretch, and the input passes through in
    // what they leave.
    const double rise = rise_, ownRise = ownRise_;
    const double fall = kFall * spacing;
    const double shareFallStart = s + spacing - fall;
    const double inverseRise = 1.0 / rise, inverseFall = 1.0 / fall;
    const double inverseOwnRise = 1.0 / ownRise, inverseSpacing = 1.0 / spacing;
    const double toTable = size * inverseSpacing;
    // Output times strictly inside the windows, never one already sent.
    int64_t first = static_cast<int64_t>(std::floor(s - std::max(rise, ownRise))) + 1;
    const int64_t last = static_cast<int64_t>(std::ceil(s + spacing)) - 1;
    first = std::max(first, emitted_ - latency_);
    for (int64_t t = first; t <= last; ++t) {
        const double time = static_cast<double>(t);
        double share = 0.0, own = 0.0;
        if (time <= s) {
            if (time > s - rise) share = RaisedCosine((time - s) * inverseRise);
            if (time > s - ownRise) own = RaisedCosine((time - s) * inverseOwnRise);
        } else if (time < s + spacing) {
            share = time > shareFallStart ? RaisedCosine((time - shareFallStart) * inverseFall) : 1.0;
            own = RaisedCosine((time - s) * inverseSpacing);
        }
        const size_t slot = static_cast<size_t>(t & kRingMask);
        if (own > 0.0) {
            double position = (time - s) * toTable;
            position -= std::floor(position / size) * size;
            if (position >= size) position = 0.0;  // -tiny wraps to size
            grains_[slot] += static_cast<float>(own) * tableAt(position);
            norms_[slot] += static_cast<float>(own);
        }
        weights_[slot] += static_cast<float>(share);
    }
    markBegin_ = chosen;
    synthesisMark_ = s + spacing;
    rise_ = fall;
    ownRise_ = spacing;
    return true;
}

// The input's spectrum (of the grain last analysed) at frequency Hz, by a
// four-point cubic between the bins, with its phase taken relative to the
// mark: mark - centre is `offset` samples.
std::complex<double> NaturalVoiceShifter::spectrumAt(double frequency, int size, double offset) const {
    const double bin = frequency * size / kSampleRate;
    const double whole = std::floor(bin);
    const int b = static_cast<int>(whole);
    const double f = bin - whole;
    const int mask = size - 1;
    const std::complex<double> xm(spectrum_[static_cast<size_t>((b - 1) & mask)]);
    const std::complex<double> x0(spectrum_[static_cast<size_t>(b & mask)]);
    const std::complex<double> x1(spectrum_[static_cast<size_t>((b + 1) & mask)]);
    const std::complex<double> x2(spectrum_[static_cast<size_t>((b + 2) & mask)]);
    const std::complex<double> value =
        x0 + 0.5 * f * (x1 - xm + f * (2.0 * xm - 5.0 * x0 + 4.0 * x1 - x2 + f * (3.0 * (x0 - x1) + x2 - xm)));
    const double turn = 2.0 * frequency * offset / kSampleRate;  // -0.5..0.5
    return value * std::complex<double>(portable::CosPi(turn), portable::SinPi(turn));
}

// One output period of the grain of `mark`, into table_, whose size it
// returns. The input's harmonics are read from two periods about the mark
// under a raised cosine, on which every other harmonic falls on a zero of
// the window's spectrum; their envelope, scaled by the formant factor, gives
// the amplitudes of the output's harmonics, one spacing apart in time, and
// the input's spectrum at the same scaled frequencies gives their phases,
// so that grains one period apart agree. The output has the input's power.
int NaturalVoiceShifter::synthesiseGrain(const Mark& mark, double spacing) {
    const double period = mark.period;
    const double f0 = kSampleRate / period;
    const int analysisIndex = SizeIndex(4.0 * period, kAnalysisSizes, kAnalysisSmallest);
    const FourierTransform& forward = *analysis_[static_cast<size_t>(analysisIndex)];
    const int size = forward.size();
    std::fill(grain_.begin(), grain_.begin() + size, std::complex<float>());
    const int64_t centre = static_cast<int64_t>(std::floor(mark.position + 0.5));
    const double offset = mark.position - static_cast<double>(centre);
    const int reach = GrainReach(period);
    const double inversePeriod = 1.0 / period;
    double windowSum = 0.0;
    for (int i = -reach; i <= reach; ++i) {
        const double v = (i - offset) * inversePeriod;
        if (v <= -1.0 || v >= 1.0) continue;
        const double w = RaisedCosine(v);
        windowSum += w;
        grain_[static_cast<size_t>(i & (size - 1))] = static_cast<float>(w) * inputAt(centre + i);
    }
    forward.transform(grain_.data(), spectrum_.data());

    int harmonics = 0;
    double inputPower = 0.0;
    const double toAmplitude = 2.0 / windowSum;
    while (harmonics < HarmonicEnvelope::kMaxHarmonics && (harmonics + 1) * f0 < kTopFrequency) {
        const double amplitude = Magnitude(spectrumAt((harmonics + 1) * f0, size, offset)) * toAmplitude;
        amplitudes_[static_cast<size_t>(harmonics)] = amplitude;
        inputPower += amplitude * amplitude;
        ++harmonics;
    }
    envelope_.fit(amplitudes_.data(), harmonics, f0, kSampleRate);

    const double outputF0 = kSampleRate / spacing;
    const double readStep = outputF0 / formantFactor_;
    int count = 0;
    while ((count + 1) * outputF0 < kTopFrequency && (count + 1) * readStep < kTopFrequency) ++count;
    const int synthesisIndex = SizeIndex(8.0 * count, kSynthesisSizes, kSynthesisSmallest);
    const FourierTransform& inverse = *synthesis_[static_cast<size_t>(synthesisIndex)];
    const int tableSize = inverse.size();
    std::fill(harmonicSpectrum_.begin(), harmonicSpectrum_.begin() + tableSize, std::complex<float>());
    double outputPower = 0.0;
    for (int k = 1; k <= count; ++k) {
        const double amplitude = envelope_.at(k * readStep);
        const std::complex<double> x = spectrumAt(k * readStep, size, offset);
        const double magnitude = Magnitude(x);
        const std::complex<double> phase = magnitude > 0.0 ? x / magnitude : std::complex<double>(1.0, 0.0);
        harmonicSpectrum_[static_cast<size_t>(k)] = std::complex<float>(0.5 * amplitude * phase);
        outputPower += amplitude * amplitude;
    }
    const float gain =
        static_cast<float>(outputPower > kSmallestPowerRatio * inputPower ? std::sqrt(inputPower / outputPower) : 0.0);
    for (int k = 1; k <= count; ++k) {
        const std::complex<float> value = harmonicSpectrum_[static_cast<size_t>(k)] * gain;
        harmonicSpectrum_[static_cast<size_t>(k)] = value;
        harmonicSpectrum_[static_cast<size_t>(tableSize - k)] = std::conj(value);
    }
    inverse.transform(harmonicSpectrum_.data(), spectrum_.data());
    // table_[i + 1] is sample i of the period; one more each side for the cubic.
    for (int i = 0; i < tableSize; ++i) table_[static_cast<size_t>(i + 1)] = spectrum_[static_cast<size_t>(i)].real();
    table_[0] = table_[static_cast<size_t>(tableSize)];
    table_[static_cast<size_t>(tableSize + 1)] = table_[1];
    table_[static_cast<size_t>(tableSize + 2)] = table_[2];
    return tableSize;
}

// The period in table_ at position 0 <= position < its size, by a
// four-point cubic (Catmull-Rom).
float NaturalVoiceShifter::tableAt(double position) const {
    const double whole = std::floor(position);
    const size_t i = static_cast<size_t>(whole);
    const float f = static_cast<float>(position - whole);
    const float xm = table_[i], x0 = table_[i + 1], x1 = table_[i + 2], x2 = table_[i + 3];
    return x0 + 0.5f * f * (x1 - xm + f * (2.0f * xm - 5.0f * x0 + 4.0f * x1 - x2 + f * (3.0f * (x0 - x1) + x2 - xm)));
}
