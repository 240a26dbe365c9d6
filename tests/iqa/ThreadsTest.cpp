#include "iqa/CodecMetrics.h"
#include "iqa/CompareEngine.h"
#include "iqa/ReaderMetrics.h"
#include "yuv/Threads.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

namespace {

// Two noisy planes large enough that SSIM takes a good while.
struct BigPair {
    int w = 4096, h = 4096;
    std::vector<uint8_t> a, b;
    BigPair()
    {
        const size_t n = static_cast<size_t>(w) * h * 3 / 2; // an I420 frame's worth
        a.resize(n);
        b.resize(n);
        std::mt19937 rng(5);
        for (size_t i = 0; i < n; ++i) {
            a[i] = static_cast<uint8_t>(rng());
            b[i] = static_cast<uint8_t>(a[i] ^ (rng() & 7));
        }
    }
};

// Each SSIM, cancelled from another thread while it runs (or before it
// starts), returns its failure value instead of a number.
TEST(Threads, SsimStopsWhenCancelled)
{
    static const BigPair p;
    using Run = double (*)(const BigPair&);
    const struct {
        const char* name;
        Run run;
    } cases[] = {
        {"SSIM_GRAY", [](const BigPair& q) { return lumo::ComputeSsimGray(q.a.data(), q.b.data(), q.w, q.h, 0); }},
        {"PlaneSsim", [](const BigPair& q) { return lumo::PlaneSsim(q.a.data(), q.b.data(), q.w, q.h, q.w, 8); }},
        {"PlaneMsSsim",
         [](const BigPair& q) { return lumo::PlaneMsSsim(q.a.data(), q.b.data(), q.w, q.h, q.w, 8); }},
    };
    for (const auto& c : cases) {
        for (int delayMs : {0, 30}) {
            lumo::CancelToken token;
            std::thread canceller([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
                token.Cancel();
            });
            if (delayMs == 0)
                canceller.join();
            double value = 0;
            {
                const lumo::CancelScope scope(&token);
                value = c.run(p);
            }
            if (canceller.joinable())
                canceller.join();
            EXPECT_TRUE(std::isinf(value) && value > 0) << c.name << " after " << delayMs << " ms: " << value;
        }
        // Not cancelled: a number.
        EXPECT_TRUE(std::isfinite(c.run(p))) << c.name;
    }
    EXPECT_EQ(lumo::ThreadBudget::Process().InUse(), 0);
}

TEST(Threads, BudgetGivesWhatIsLeft)
{
    lumo::ThreadBudget budget;
    EXPECT_EQ(budget.Acquire(5), 5); // no limit
    budget.Release(5);
    budget.SetLimit(3);
    {
        lumo::BudgetSlots two(2, budget);
        EXPECT_EQ(two.Count(), 2);
        lumo::BudgetSlots more(4, budget);
        EXPECT_EQ(more.Count(), 1);
        EXPECT_EQ(lumo::BudgetSlots(1, budget).Count(), 0);
    }
    EXPECT_EQ(budget.InUse(), 0);
}

} // namespace
