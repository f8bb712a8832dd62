#include "fourier_transform.h"

#include <new>
#include <stdexcept>

#include "_kiss_fft_guts.h"
#include "kiss_fft.h"
#include "portable_maths.h"

static_assert(sizeof(kiss_fft_cpx) == sizeof(std::complex<float>), "Kiss FFT built for float");

FourierTransform::FourierTransform(int size, bool inverse) : size_(size), state_(nullptr) {
    if (size < 4 || size > 65536 || (size & (size - 1)) != 0) throw std::invalid_argument("FFT size");
    state_ = kiss_fft_alloc(size, inverse ? 1 : 0, nullptr, nullptr);
    if (state_ == nullptr) throw std::bad_alloc();
    for (int i = 0; i < size; ++i) {
        // e^(-+2 pi i n / N), the angle taken to -pi..pi.
        double v = 2.0 * i / size;
        if (v > 1.0) v -= 2.0;
        const double sine = portable::SinPi(v);
        state_->twiddles[i].r = static_cast<float>(portable::CosPi(v));
        state_->twiddles[i].i = static_cast<float>(inverse ? sine : -sine);
    }
}

FourierTransform::~FourierTransform() { kiss_fft_free(state_); }

void FourierTransform::transform(const std::complex<float>* in, std::complex<float>* out) const {
    kiss_fft(state_, reinterpret_cast<const kiss_fft_cpx*>(in), reinterpret_cast<kiss_fft_cpx*>(out));
}
