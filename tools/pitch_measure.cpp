#include "pitch_measure.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace morindale_render {
namespace {

constexpr int kRate = 12000;          // analysis rate, Hz
constexpr int kFrame = 480;           // 40 ms
constexpr int kHop = 120;             // 10 ms
constexpr int kMinLag = kRate / 1000;  // 1000 Hz
constexpr int kMaxLag = kRate / 60;    // 60 Hz
constexpr double kThreshold = 0.15;   // YIN's aperiodicity threshold
constexpr double kQuiet = 0.01;       // RMS below -40 dBFS is not voiced

std::vector<float> Downsampled(const std::vector<int16_t>& samples) {
    std::vector<float> in(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) in[i] = static_cast<float>(samples[i]) / 32768.0f;
    std::vector<float> out(samples.size() / 4 + 16);
    SRC_DATA data = {};
    data.data_in = in.data();
    data.input_frames = static_cast<long>(in.size());
    data.data_out = out.data();
    data.output_frames = static_cast<long>(out.size());
    data.src_ratio = 0.25;
    if (in.empty() || src_simple(&data, SRC_SINC_FASTEST, 1) != 0) return {};
    out.resize(static_cast<std::size_t>(data.output_frames_gen));
    return out;
}

// The period in samples of the frame at x, or 0 when it is not voiced.
double FramePeriod(const float* x) {
    double energy = 0.0;
    for (int j = 0; j < kFrame; ++j) energy += static_cast<double>(x[j]) * x[j];
    if (std::sqrt(energy / kFrame) < kQuiet) return 0.0;

    // Cumulative-mean-normalised difference of the frame with itself.
    double normalised[kMaxLag + 2];
    normalised[0] = 1.0;
    double running = 0.0;
    for (int lag = 1; lag <= kMaxLag + 1; ++lag) {
        double sum = 0.0;
        for (int j = 0; j < kFrame; ++j) {
            const double d = static_cast<double>(x[j]) - x[j + lag];
            sum += d * d;
        }
        running += sum;
        normalised[lag] = running > 0.0 ? sum * lag / running : 1.0;
    }
    for (int lag = kMinLag; lag <= kMaxLag; ++lag) {
        if (normalised[lag] >= kThreshold) continue;
        while (lag < kMaxLag && normalised[lag + 1] < normalised[lag]) ++lag;
        // Parabolic interpolation around the minimum.
        const double a = normalised[lag - 1], b = normalised[lag], c = normalised[lag + 1];
        const double bend = a - 2.0 * b + c;
        const double shift = bend > 0.0 ? 0.5 * (a - c) / bend : 0.0;
        return lag + std::clamp(shift, -0.5, 0.5);
    }
    return 0.0;
}

}  // namespace

std::vector<double> VoicedF0(const std::vector<int16_t>& samples) {
    const std::vector<float> x = Downsampled(samples);
    std::vector<double> f0;
    for (std::size_t at = 0; at + kFrame + kMaxLag + 1 < x.size(); at += kHop) {
        const double period = FramePeriod(x.data() + at);
        if (period > 0.0) f0.push_back(kRate / period);
    }
    return f0;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    const std::size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + middle, values.end());
    return values[middle];
}

double LevelDbfs(const std::vector<int16_t>& samples) {
    double sum = 0.0;
    for (int16_t s : samples) sum += static_cast<double>(s) * s;
    if (samples.empty() || sum == 0.0) return -std::numeric_limits<double>::infinity();
    return 20.0 * std::log10(std::sqrt(sum / samples.size()) / 32768.0);
}

}  // namespace morindale_render
