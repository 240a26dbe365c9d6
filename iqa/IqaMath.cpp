#include "iqa/IqaMath.h"

#include <cmath>

namespace {

// value * 10^digits rounded as _cmp_float rounds; kept in double so that
// large values never overflow an integer conversion.
double ScaledRound(float value, int digits)
{
    const double v = static_cast<double>(value) * std::pow(10.0, digits);
    double i = std::trunc(v);
    if (v - i >= 0.5)
        i += v > 0 ? 1.0 : -1.0;
    return i;
}

} // namespace

extern "C" {

int _round(float a)
{
    // Out-of-range values would make the conversion undefined; clamp them.
    if (!(a > -2147483648.0f))
        return a != a ? 0 : -2147483647 - 1;
    if (a >= 2147483648.0f)
        return 2147483647;
    const int t = static_cast<int>(a);
    if (a - static_cast<float>(t) >= 0.5f)
        return a > 0 ? t + 1 : t - 1;
    return t;
}

int _max(int x, int y)
{
    return x > y ? x : y;
}

int _min(int x, int y)
{
    return x < y ? x : y;
}

int _cmp_float(float a, float b, int digits)
{
    return ScaledRound(a, digits) != ScaledRound(b, digits) ? 1 : 0;
}

int _matrix_cmp(const float* a, const float* b, int w, int h, int digits)
{
    if (!a || !b || w <= 0 || h <= 0)
        return 0;
    const long long n = static_cast<long long>(w) * h;
    for (long long i = 0; i < n; ++i) {
        if (_cmp_float(a[i], b[i], digits))
            return 1;
    }
    return 0;
}

} // extern "C"
