#pragma once

#include <string>
#include <vector>

// The Bjøntegaard delta between two rate-quality curves.
namespace lumo {

struct RdPoint {
    double rate;   // kbit/s, above 0
    double metric; // quality, higher is better
};

enum class BdMethod {
    Pchip, // shape-preserving piecewise cubic (SciPy's PchipInterpolator), integrated exactly
    Poly,  // Bjøntegaard's cubic polynomial, least squares beyond four points
};

struct BdResult {
    double bdRate = 0.0;   // percent: negative when the test needs less rate for the same quality
    double bdMetric = 0.0; // mean quality difference at the same rate
    // The common interval is less than half of a curve's range: of the
    // metric (BD-rate) or of log10 rate (BD-metric).
    bool shortMetricOverlap = false;
    bool shortRateOverlap = false;
};

// Points may come in any order. Each curve needs at least four points with
// finite values and positive rates, and its metric must rise strictly once
// sorted by rate; the curves' ranges must overlap. Otherwise false with a
// one-line reason naming the curve ("anchor" or "test").
bool ComputeBd(std::vector<RdPoint> anchor, std::vector<RdPoint> test, BdMethod method, BdResult& result,
               std::string& error);

} // namespace lumo
