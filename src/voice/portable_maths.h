// Cosine, sine and powers of two by plain arithmetic, in double. The C
// libraries of Linux and Windows round their cos, sin and exp differently in
// the last bit; these round alike wherever the arithmetic is IEEE double
// without fused multiply-add (the files that use them are compiled with
// -ffp-contract=off, and 32-bit x86 uses SSE arithmetic), so the natural
// voices give the same samples on every platform.
#pragma once

namespace portable {

constexpr double kPi = 3.14159265358979323846;

// cos(pi * v) for |v| <= 1: a Taylor polynomial on a quarter period, error
// below 1e-10.
inline double CosPi(double v) {
    double h = v < 0.0 ? -v : v;
    const bool flip = h > 0.5;
    if (flip) h = 1.0 - h;
    const double z = h * kPi;
    const double z2 = z * z;
    const double c =
        1.0 + z2 * (-1.0 / 2.0 +
                    z2 * (1.0 / 24.0 +
                          z2 * (-1.0 / 720.0 +
                                z2 * (1.0 / 40320.0 +
                                      z2 * (-1.0 / 3628800.0 +
                                            z2 * (1.0 / 479001600.0 +
                                                  z2 * (-1.0 / 87178291200.0 + z2 * (1.0 / 20922789888000.0))))))));
    return flip ? -c : c;
}

// sin(pi * v) for |v| <= 1.
inline double SinPi(double v) { return v >= -0.5 ? CosPi(v - 0.5) : -CosPi(v + 0.5); }

// 0.5 + 0.5 cos(pi v): 1 at v = 0, 0 at |v| = 1.
inline double RaisedCosine(double v) { return 0.5 + 0.5 * CosPi(v); }

// 2^x for |x| <= 1, by the Taylor series of e^(x ln 2).
inline double PowerOfTwo(double x) {
    const double y = x * 0.69314718055994530942;
    double term = 1.0, sum = 1.0;
    for (int k = 1; k <= 24; ++k) {
        term = term * y / k;
        sum += term;
    }
    return sum;
}

}  // namespace portable
