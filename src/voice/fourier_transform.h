// Complex discrete Fourier transforms of a power-of-two size, by Kiss FFT
// (float). Forward: X[k] = sum x[n] e^(-2 pi i k n / N); inverse: the same
// with +i and no 1/N. Kiss FFT takes its twiddle factors from the C
// library's cos and sin, which round differently on Linux and Windows; they
// are replaced here by ones of plain arithmetic, so that a transform gives
// the same bits on every platform.
//
// The constructor allocates; transform() allocates nothing, takes no lock
// and makes no system call (sizes are powers of two, so Kiss FFT never takes
// its generic, allocating butterfly).
#pragma once

#include <complex>

struct kiss_fft_state;

class FourierTransform {
public:
    // size: a power of two from 4 to 65536.
    FourierTransform(int size, bool inverse);
    ~FourierTransform();
    FourierTransform(const FourierTransform&) = delete;
    FourierTransform& operator=(const FourierTransform&) = delete;

    int size() const { return size_; }
    // in and out hold size() values each and must not overlap.
    void transform(const std::complex<float>* in, std::complex<float>* out) const;

private:
    int size_;
    kiss_fft_state* state_;
};
