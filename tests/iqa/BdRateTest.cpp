// BD-rate and BD-metric against SciPy 1.10 (PchipInterpolator.integrate)
// and numpy (polyfit of degree 3, polyint) on the same points, and the
// hand-checkable half-rate case.
#include "iqa/BdRate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

std::vector<lumo::RdPoint> Points(const std::vector<double>& rates, const std::vector<double>& metrics)
{
    std::vector<lumo::RdPoint> points;
    for (size_t i = 0; i < rates.size(); ++i)
        points.push_back({rates[i], metrics[i]});
    return points;
}

TEST(BdRate, MatchesScipyAndNumpy)
{
    struct Case {
        std::vector<double> ra, ma, rt, mt;
        double pchipRate, pchipMetric, polyRate, polyMetric;
    } cases[] = {
        {{1000, 2000, 4000, 8000}, {32.0, 35.1, 37.9, 40.2}, {900, 1850, 3600, 7500}, {32.3, 35.5, 38.1, 40.6},
         -15.61528546592017, 0.6654621797048988, -15.67375902320165, 0.6655654576382607},
        // Five points: least squares for poly.
        {{500, 1200, 2500, 5100, 9800}, {30.1, 33.9, 36.4, 39.0, 41.2}, {450, 1000, 2600, 4800, 9000},
         {30.5, 34.0, 37.2, 39.1, 41.5}, -15.879794882627085, 0.6379681433377515, -16.494497807072882,
         0.6576089301010668},
        // Uneven steps: pchip's end slopes set to 0.
        {{100, 110, 1000, 1100}, {30, 35, 36, 41}, {90, 120, 900, 1200}, {30.5, 35.2, 36.1, 41.5},
         -4.541172797410386, 0.18681747854105363, 39.49399525281447, -0.10671726127246234},
    };
    for (const Case& c : cases) {
        for (bool reversed : {false, true}) {
            std::vector<lumo::RdPoint> a = Points(c.ra, c.ma), t = Points(c.rt, c.mt);
            if (reversed) // any row order
                std::reverse(a.begin(), a.end());
            lumo::BdResult r;
            std::string error;
            ASSERT_TRUE(lumo::ComputeBd(a, t, lumo::BdMethod::Pchip, r, error)) << error;
            EXPECT_NEAR(r.bdRate, c.pchipRate, 1e-9);
            EXPECT_NEAR(r.bdMetric, c.pchipMetric, 1e-9);
            ASSERT_TRUE(lumo::ComputeBd(a, t, lumo::BdMethod::Poly, r, error)) << error;
            EXPECT_NEAR(r.bdRate, c.polyRate, 1e-7);
            EXPECT_NEAR(r.bdMetric, c.polyMetric, 1e-7);
        }
    }
}

TEST(BdRate, HalfTheRateIsMinusFiftyPercent)
{
    const std::vector<double> rates = {800, 1500, 3100, 6400, 12000}, psnr = {31.2, 34.0, 36.9, 39.3, 41.0};
    std::vector<double> half;
    for (double r : rates)
        half.push_back(r / 2);
    for (lumo::BdMethod method : {lumo::BdMethod::Pchip, lumo::BdMethod::Poly}) {
        lumo::BdResult r;
        std::string error;
        ASSERT_TRUE(lumo::ComputeBd(Points(rates, psnr), Points(half, psnr), method, r, error)) << error;
        EXPECT_NEAR(r.bdRate, -50.0, 1e-9);
        EXPECT_GT(r.bdMetric, 0.0);
        EXPECT_FALSE(r.shortMetricOverlap);
    }
}

TEST(BdRate, RefusesWhatItCannotMeasure)
{
    const std::vector<double> rates = {1000, 2000, 4000, 8000}, psnr = {32, 35, 38, 40};
    struct Case {
        std::vector<double> rt, mt;
        const char* needle;
    } cases[] = {
        {{1000, 2000, 4000}, {32, 35, 38}, "at least 4"},
        {{1000, 2000, 4000, 8000}, {32, 35, 35, 40}, "rise strictly"},
        {{1000, 2000, 2000, 8000}, {32, 35, 36, 40}, "rise strictly"},
        {{1000, 0, 4000, 8000}, {32, 33, 38, 40}, "above 0"},
        {{1000, 2000, 4000, 8000}, {32, NAN, 38, 40}, "finite"},
        {{1000, 2000, 4000, 8000}, {50, 51, 52, 53}, "do not overlap"},
    };
    for (const Case& c : cases) {
        lumo::BdResult r;
        std::string error;
        EXPECT_FALSE(lumo::ComputeBd(Points(rates, psnr), Points(c.rt, c.mt), lumo::BdMethod::Pchip, r, error));
        EXPECT_NE(error.find(c.needle), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
    // A test curve covering the anchor's top third only: said, still measured.
    lumo::BdResult r;
    std::string error;
    ASSERT_TRUE(lumo::ComputeBd(Points(rates, psnr), Points({3000, 5000, 7000, 9000}, {37, 38, 39, 41}),
                                lumo::BdMethod::Pchip, r, error));
    EXPECT_TRUE(r.shortMetricOverlap);
}

} // namespace
