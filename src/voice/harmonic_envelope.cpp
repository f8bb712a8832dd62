#include "harmonic_envelope.h"

#include <algorithm>
#include <cmath>

#include "portable_maths.h"

namespace {

constexpr int kMaxRows = 100;  // harmonics below kFitTop at 80 Hz: 87

// The fitted series is a polynomial in cos w; in Chebyshev polynomials of
// cos w mapped from the fitted band onto -1..1 it is well conditioned.
void Chebyshev(double u, int order, double* basis) {
    basis[0] = 1.0;
    if (order >= 1) basis[1] = u;
    for (int k = 2; k <= order; ++k) basis[k] = 2.0 * u * basis[k - 1] - basis[k - 2];
}

}  // namespace

double HarmonicEnvelope::basisArgument(double frequency) const {
    const double cosine = portable::CosPi(std::min(1.0, 2.0 * frequency / sampleRate_));
    return (2.0 * cosine - (1.0 + edge_)) / (1.0 - edge_);
}

void HarmonicEnvelope::fit(const double* amplitudes, int count, double f0, double sampleRate) {
    count_ = std::max(0, std::min(count, kMaxHarmonics));
    std::copy(amplitudes, amplitudes + count_, amplitudes_);
    f0_ = f0;
    sampleRate_ = sampleRate;
    edge_ = portable::CosPi(2.0 * kFitTop / sampleRate);
    order_ = 0;

    int rows = 0;
    top_ = 0.0;
    while (rows < count_ && rows < kMaxRows && (rows + 1) * f0 <= kFitTop) {
        top_ = std::max(top_, amplitudes_[rows] * amplitudes_[rows]);
        ++rows;
    }
    // At least three more harmonics than unknowns, or the line alone.
    const int order = std::min(kOrder, (rows - 4) & ~1);
    if (order < 2 || !(top_ > 0.0)) return;

    // Rows: (power / top) * basis, and 1 on the right, each weighted by
    // its harmonic's amplitude (relative errors of weak harmonics, mostly
    // rounding noise, would otherwise pull as hard as the formants'); least
    // squares by Householder reflections (normal equations would square the
    // condition number).
    double a[kMaxRows][kOrder + 2];
    const int columns = order + 1;
    for (int i = 0; i < rows; ++i) {
        const double power = std::max(kFloor, amplitudes_[i] * amplitudes_[i] / top_);
        const double weight = std::sqrt(power);
        double basis[kOrder + 1];
        Chebyshev(basisArgument((i + 1) * f0), order, basis);
        for (int k = 0; k < columns; ++k) a[i][k] = weight * power * basis[k];
        a[i][columns] = weight;
    }
    double largest = 0.0;
    for (int j = 0; j < columns; ++j) {
        double norm = 0.0;
        for (int i = j; i < rows; ++i) norm += a[i][j] * a[i][j];
        norm = std::sqrt(norm);
        if (!(norm > 0.0)) return;
        const double alpha = a[j][j] > 0.0 ? -norm : norm;
        const double v0 = a[j][j] - alpha;
        const double vv = norm * norm - a[j][j] * a[j][j] + v0 * v0;
        for (int k = j + 1; k <= columns; ++k) {
            double dot = v0 * a[j][k];
            for (int i = j + 1; i < rows; ++i) dot += a[i][j] * a[i][k];
            const double scale = 2.0 * dot / vv;
            a[j][k] -= scale * v0;
            for (int i = j + 1; i < rows; ++i) a[i][k] -= scale * a[i][j];
        }
        a[j][j] = alpha;
        largest = std::max(largest, norm);
    }
    for (int j = 0; j < columns; ++j) {
        if (!(std::fabs(a[j][j]) > 1e-12 * largest)) return;
    }
    for (int k = columns - 1; k >= 0; --k) {
        double sum = a[k][columns];
        for (int l = k + 1; l < columns; ++l) sum -= a[k][l] * c_[l];
        c_[k] = sum / a[k][k];
    }
    order_ = order;
}

double HarmonicEnvelope::line(double frequency) const {
    if (count_ == 0 || !(frequency >= 0.0)) return 0.0;
    const double h = frequency / f0_;  // in harmonics
    if (h <= 1.0) return amplitudes_[0];
    if (h >= count_ + 1.0) return 0.0;
    const int below = static_cast<int>(h);
    const double fraction = h - below;
    const double lower = amplitudes_[below - 1];
    const double upper = below < count_ ? amplitudes_[below] : 0.0;
    return lower + fraction * (upper - lower);
}

double HarmonicEnvelope::at(double frequency) const {
    const double straight = line(frequency);
    if (order_ == 0 || frequency >= kFitTop) return straight;
    double basis[kOrder + 1];
    Chebyshev(basisArgument(frequency), order_, basis);
    double q = 0.0;
    for (int k = 0; k <= order_; ++k) q += c_[k] * basis[k];
    const double ceiling = kCeiling * straight;
    const double fitted = q * ceiling * ceiling > top_ ? std::sqrt(top_ / q) : ceiling;
    if (frequency <= kBlendFrom) return fitted;
    const double t = (frequency - kBlendFrom) / (kFitTop - kBlendFrom);
    return fitted + t * (straight - fitted);
}
