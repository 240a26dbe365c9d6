#include "analysis/SequenceMetrics.h"

#include "iqa/CompareCsv.h"

#include <QMetaObject>
#include <QPointer>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <new>

namespace {

// Results reach the GUI thread at most this often (and at the end).
constexpr auto kDeliveryInterval = std::chrono::milliseconds(400);

} // namespace

struct SequenceMetrics::Run {
    lumo::CompareEngine::Settings settings;
    std::shared_ptr<std::atomic<bool>> gentle;
    std::chrono::steady_clock::time_point lastPost;
    lumo::CancelToken cancel; // stops the run's engine within a band of SSIM rows
    std::atomic<bool> ended{false};
    std::mutex mutex;
    std::vector<lumo::FrameMetrics> pending; // guarded by mutex
    bool deliveryQueued = false;              // guarded by mutex
    bool done = false;                        // guarded by mutex
    bool ok = false;                          // guarded by mutex
    std::string error;                        // guarded by mutex
    std::thread thread;
};

SequenceMetrics::SequenceMetrics(QObject* parent) : QObject(parent) {}

SequenceMetrics::~SequenceMetrics()
{
    for (const auto& run : runs_)
        run->cancel.Cancel();
    for (const auto& run : runs_)
        if (run->thread.joinable())
            run->thread.join();
}

void SequenceMetrics::Start(const lumo::LumoYuvReader& a, const lumo::LumoYuvReader& b, int frames,
                            int colorRangeCode, const lumo::ExtraMetrics& extra)
{
    extra_ = extra;
    Cancel();
    JoinEnded();
    results_.clear();
    error_.clear();
    finished_ = false;
    total_ = std::max(0, frames);
    if (total_ == 0)
        return;

    auto run = std::make_shared<Run>();
    run->gentle = gentle_;
    lumo::CompareEngine::Settings& s = run->settings;
    s.a = a;
    s.b = b;
    s.first = 0;
    s.last = total_ - 1;
    s.colorRangeCode = colorRangeCode;
    s.withSsim = true;
    s.extra = extra;
    s.cancel = &run->cancel;
    // The command line's choice, so that both run at the same speed.
    s.workers = lumo::CompareEngine::ChooseWorkers(0, a.Width(), a.Height(), true,
                                                   lumo::CompareEngine::kDefaultMemoryBudget, a.BitDepth());
    s.maxInFlight = 2 * s.workers;
    results_.reserve(static_cast<size_t>(total_));

    QPointer<SequenceMetrics> self(this);
    Run* raw = run.get();
    auto queue = [self, run] {
        QMetaObject::invokeMethod(
            self.data(), [self, run] { if (self) self->Deliver(run); }, Qt::QueuedConnection);
    };
    run->thread = std::thread([raw, queue] {
        // The lowest priority, which the engine's workers inherit: the
        // comparison takes only the CPU that the window, playback and a
        // selection's comparison leave, from the first frame on (a change
        // of worker count waits for the frames under way).
        ::setpriority(PRIO_PROCESS, 0, 19);
        std::string error;
        bool ok = true;
        const int fullWorkers = raw->settings.workers;
        int next = raw->settings.first;
        bool gentle = *raw->gentle;
        // Returns false to end the engine's run: playback started or
        // stopped, and the run goes on with the other worker count.
        auto onFrame = [raw, &queue, &next, &gentle](const lumo::FrameMetrics& m) {
            bool post = false;
            const auto now = std::chrono::steady_clock::now();
            {
                std::lock_guard<std::mutex> lock(raw->mutex);
                raw->pending.push_back(m);
                post = !raw->deliveryQueued && now - raw->lastPost >= kDeliveryInterval;
                if (post) {
                    raw->deliveryQueued = true;
                    raw->lastPost = now;
                }
            }
            if (post)
                queue();
            next = m.frame + 1;
            return *raw->gentle == gentle;
        };
        try {
            while (ok && next <= raw->settings.last && !raw->cancel.Cancelled()) {
                lumo::CompareEngine::Settings part = raw->settings;
                part.first = next;
                gentle = *raw->gentle;
                part.workers = gentle ? 1 : fullWorkers;
                part.maxInFlight = 2 * part.workers;
                lumo::CompareEngine engine(part);
                ok = engine.RunWhile(onFrame, error);
            }
        } catch (const std::bad_alloc&) {
            ok = false;
            error = "out of memory";
        }
        if (raw->cancel.Cancelled()) {
            ok = false;
            error.clear();
        }
        bool post = false;
        {
            std::lock_guard<std::mutex> lock(raw->mutex);
            raw->done = true;
            raw->ok = ok;
            raw->error = error;
            post = !raw->deliveryQueued;
            raw->deliveryQueued = true;
        }
        raw->ended = true;
        if (post && !raw->cancel.Cancelled())
            queue();
    });
    current_ = run;
    runs_.push_back(run);
    running_ = true;
}

void SequenceMetrics::Cancel()
{
    if (current_)
        current_->cancel.Cancel();
    current_.reset();
    running_ = false;
    // Whatever comes next compares other files or another range.
    results_.clear();
    finished_ = false;
}

const lumo::FrameMetrics* SequenceMetrics::ResultFor(int frame) const
{
    // Runs start at frame 0 and deliver in order.
    if (frame < 0 || static_cast<size_t>(frame) >= results_.size())
        return nullptr;
    const lumo::FrameMetrics& m = results_[static_cast<size_t>(frame)];
    return m.frame == frame ? &m : nullptr;
}

void SequenceMetrics::SetGentle(bool gentle)
{
    *gentle_ = gentle;
}

int SequenceMetrics::RunningThreads() const
{
    int count = 0;
    for (const auto& run : runs_)
        if (!run->ended)
            ++count;
    return count;
}

void SequenceMetrics::JoinEnded()
{
    // Joining a thread that has ended does not wait.
    for (auto it = runs_.begin(); it != runs_.end();) {
        if ((*it)->ended) {
            if ((*it)->thread.joinable())
                (*it)->thread.join();
            it = runs_.erase(it);
        } else {
            ++it;
        }
    }
}

void SequenceMetrics::Deliver(const std::shared_ptr<Run>& run)
{
    std::vector<lumo::FrameMetrics> batch;
    bool done = false;
    bool ok = false;
    std::string error;
    {
        std::lock_guard<std::mutex> lock(run->mutex);
        batch.swap(run->pending);
        run->deliveryQueued = false;
        done = run->done;
        ok = run->ok;
        error = run->error;
    }
    if (run != current_)
        return;
    results_.insert(results_.end(), batch.begin(), batch.end());
    if (!batch.empty())
        emit progress(static_cast<int>(results_.size()), total_);
    if (done) {
        running_ = false;
        finished_ = ok;
        error_ = QString::fromStdString(error);
        current_.reset();
        JoinEnded();
        emit finished(ok);
    }
}

std::string SequenceMetrics::Csv(const lumo::ExtraMetrics& columns) const
{
    lumo::ExtraMetrics shown;
    shown.planeSsim = columns.planeSsim && extra_.planeSsim;
    shown.msSsim = columns.msSsim && extra_.msSsim;
    shown.psnrYuv = columns.psnrYuv && extra_.psnrYuv;
    std::string rows;
    lumo::CompareSummary summary;
    for (lumo::FrameMetrics m : results_) {
        m.extra = shown;
        rows += lumo::CompareCsvRow(m);
        summary.Add(m);
    }
    // The header names the depth column the rows carry.
    return lumo::CompareCsvHeader(summary.Depth(), shown) + rows +
           lumo::CompareCsvSummary(summary, true, true, shown);
}
