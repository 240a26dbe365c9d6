#include "iqa/BdRate.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace lumo {
namespace {

double Sign(double v)
{
    return (v > 0) - (v < 0);
}

// A curve y(x) over strictly increasing x; Integral gives its exact integral
// between two points inside [x.front(), x.back()].
class Curve {
public:
    Curve(std::vector<double> x, std::vector<double> y, BdMethod method)
        : x_(std::move(x)), y_(std::move(y)), method_(method)
    {
        if (method_ == BdMethod::Pchip)
            Slopes();
        else
            Fit();
    }

    double Integral(double a, double b) const
    {
        return method_ == BdMethod::Pchip ? PchipIntegral(a, b) : PolyPrimitive(b) - PolyPrimitive(a);
    }

private:
    // Fritsch-Butland interior slopes, SciPy's one-sided three-point ends.
    void Slopes()
    {
        const std::size_t n = x_.size();
        std::vector<double> h(n - 1), m(n - 1);
        for (std::size_t k = 0; k + 1 < n; ++k) {
            h[k] = x_[k + 1] - x_[k];
            m[k] = (y_[k + 1] - y_[k]) / h[k];
        }
        d_.assign(n, 0.0);
        for (std::size_t k = 1; k + 1 < n; ++k) {
            if (m[k - 1] == 0.0 || m[k] == 0.0 || Sign(m[k - 1]) != Sign(m[k]))
                continue;
            const double w1 = 2 * h[k] + h[k - 1];
            const double w2 = h[k] + 2 * h[k - 1];
            d_[k] = (w1 + w2) / (w1 / m[k - 1] + w2 / m[k]);
        }
        d_[0] = EndSlope(h[0], h[1], m[0], m[1]);
        d_[n - 1] = EndSlope(h[n - 2], h[n - 3], m[n - 2], m[n - 3]);
    }

    static double EndSlope(double h0, double h1, double m0, double m1)
    {
        const double d = ((2 * h0 + h1) * m0 - h0 * m1) / (h0 + h1);
        if (Sign(d) != Sign(m0))
            return 0.0;
        if (Sign(m0) != Sign(m1) && std::fabs(d) > 3 * std::fabs(m0))
            return 3 * m0;
        return d;
    }

    // The integral of segment k's cubic from x_k to x_k + t.
    double SegmentPrimitive(std::size_t k, double t) const
    {
        const double h = x_[k + 1] - x_[k];
        const double delta = (y_[k + 1] - y_[k]) / h;
        const double c2 = (3 * delta - 2 * d_[k] - d_[k + 1]) / h;
        const double c3 = (d_[k] + d_[k + 1] - 2 * delta) / (h * h);
        return t * (y_[k] + t * (d_[k] / 2 + t * (c2 / 3 + t * c3 / 4)));
    }

    double PchipIntegral(double a, double b) const
    {
        double sum = 0.0;
        for (std::size_t k = 0; k + 1 < x_.size(); ++k) {
            const double lo = std::max(a, x_[k]);
            const double hi = std::min(b, x_[k + 1]);
            if (hi > lo)
                sum += SegmentPrimitive(k, hi - x_[k]) - SegmentPrimitive(k, lo - x_[k]);
        }
        return sum;
    }

    // Least-squares cubic in u = (x - centre) / scale, which keeps the
    // normal equations well conditioned.
    void Fit()
    {
        const auto [lo, hi] = std::minmax_element(x_.begin(), x_.end());
        centre_ = (*lo + *hi) / 2;
        scale_ = (*hi - *lo) / 2;
        std::array<std::array<double, 5>, 4> a{};
        for (std::size_t i = 0; i < x_.size(); ++i) {
            const double u = (x_[i] - centre_) / scale_;
            const double powers[4] = {1, u, u * u, u * u * u};
            for (int r = 0; r < 4; ++r) {
                for (int c = 0; c < 4; ++c)
                    a[r][c] += powers[r] * powers[c];
                a[r][4] += powers[r] * y_[i];
            }
        }
        // Gaussian elimination with partial pivoting.
        for (int c = 0; c < 4; ++c) {
            int pivot = c;
            for (int r = c + 1; r < 4; ++r)
                if (std::fabs(a[r][c]) > std::fabs(a[pivot][c]))
                    pivot = r;
            std::swap(a[c], a[pivot]);
            for (int r = c + 1; r < 4; ++r) {
                const double f = a[r][c] / a[c][c];
                for (int k = c; k < 5; ++k)
                    a[r][k] -= f * a[c][k];
            }
        }
        for (int r = 3; r >= 0; --r) {
            double v = a[r][4];
            for (int k = r + 1; k < 4; ++k)
                v -= a[r][k] * coef_[k];
            coef_[r] = v / a[r][r];
        }
    }

    double PolyPrimitive(double x) const
    {
        const double u = (x - centre_) / scale_;
        return scale_ * u * (coef_[0] + u * (coef_[1] / 2 + u * (coef_[2] / 3 + u * coef_[3] / 4)));
    }

    std::vector<double> x_, y_, d_;
    BdMethod method_;
    double centre_ = 0.0, scale_ = 1.0;
    double coef_[4] = {0, 0, 0, 0};
};

bool Check(std::vector<RdPoint>& points, const char* name, std::string& error)
{
    if (points.size() < 4) {
        error = std::string("the ") + name + " curve has " + std::to_string(points.size()) +
                " points: BD-rate needs at least 4";
        return false;
    }
    for (const RdPoint& p : points) {
        if (!std::isfinite(p.rate) || !std::isfinite(p.metric) || p.rate <= 0) {
            error = std::string("the ") + name + " curve has a rate that is not above 0 or a value that is not finite";
            return false;
        }
    }
    std::sort(points.begin(), points.end(), [](const RdPoint& a, const RdPoint& b) { return a.rate < b.rate; });
    for (std::size_t i = 1; i < points.size(); ++i) {
        if (!(points[i].rate > points[i - 1].rate) || !(points[i].metric > points[i - 1].metric)) {
            error = std::string("the ") + name + " curve's metric does not rise strictly with the rate (at rate " +
                    std::to_string(points[i].rate) + ")";
            return false;
        }
    }
    return true;
}

// The mean of test - anchor over the common interval of x; false when the
// ranges do not overlap. `shortOverlap` when it covers less than half of
// either curve's range.
bool MeanDifference(const std::vector<double>& xa, const std::vector<double>& ya, const std::vector<double>& xt,
                    const std::vector<double>& yt, BdMethod method, double& mean, bool& shortOverlap)
{
    const double lo = std::max(xa.front(), xt.front());
    const double hi = std::min(xa.back(), xt.back());
    if (!(hi > lo))
        return false;
    const Curve anchor(xa, ya, method), test(xt, yt, method);
    mean = (test.Integral(lo, hi) - anchor.Integral(lo, hi)) / (hi - lo);
    shortOverlap = hi - lo < 0.5 * (xa.back() - xa.front()) || hi - lo < 0.5 * (xt.back() - xt.front());
    return true;
}

} // namespace

bool ComputeBd(std::vector<RdPoint> anchor, std::vector<RdPoint> test, BdMethod method, BdResult& result,
               std::string& error)
{
    if (!Check(anchor, "anchor", error) || !Check(test, "test", error))
        return false;
    // Sorted by rate, and so by metric too.
    auto split = [](const std::vector<RdPoint>& points, std::vector<double>& logRate, std::vector<double>& metric) {
        for (const RdPoint& p : points) {
            logRate.push_back(std::log10(p.rate));
            metric.push_back(p.metric);
        }
    };
    std::vector<double> ra, ma, rt, mt;
    split(anchor, ra, ma);
    split(test, rt, mt);
    double meanLogRate = 0.0;
    if (!MeanDifference(ma, ra, mt, rt, method, meanLogRate, result.shortMetricOverlap)) {
        error = "the curves' metric ranges do not overlap";
        return false;
    }
    if (!MeanDifference(ra, ma, rt, mt, method, result.bdMetric, result.shortRateOverlap)) {
        error = "the curves' rate ranges do not overlap";
        return false;
    }
    result.bdRate = (std::pow(10.0, meanLogRate) - 1.0) * 100.0;
    return true;
}

} // namespace lumo
