#pragma once

#include "iqa/CompareEngine.h"
#include "yuv/LumoYuvReader.h"

#include <QObject>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Compares every frame the two files have in common, in the background,
// through the same engine and per-pair measurement as the command line's
// compare. Memory and threads are the engine's: a few workers (no more
// than the cores, fewer when large frames would not fit the memory budget),
// each holding one frame pair. Results reach the GUI thread in batches: at
// most one delivery is queued at a time, however fast frames come.
//
// A new start or a cancel returns at once; the run that is being replaced
// stops after the frames its workers hold and is joined later (at the next
// start or on destruction), so the GUI thread never waits for it.
class SequenceMetrics : public QObject {
    Q_OBJECT
public:
    explicit SequenceMetrics(QObject* parent = nullptr);
    // Cancels and joins every run.
    ~SequenceMetrics() override;

    // Starts comparing frames 0 to `frames` - 1, with the codec metrics
    // `extra` beside today's; an earlier run is cancelled and its results
    // dropped.
    void Start(const lumo::LumoYuvReader& a, const lumo::LumoYuvReader& b, int frames, int colorRangeCode,
               const lumo::ExtraMetrics& extra = lumo::ExtraMetrics());
    // Stops the run and drops its results.
    void Cancel();
    // While `gentle`, a run uses one worker, leaving the cores to playback;
    // a run under way regroups at its next frame (the frames its workers
    // hold are compared again). Workers always run at the lowest priority.
    void SetGentle(bool gentle);
    // Threads still running, the one being replaced included.
    int RunningThreads() const;

    bool IsRunning() const { return running_; }
    bool IsFinished() const { return finished_; }
    int Total() const { return total_; }
    const std::vector<lumo::FrameMetrics>& Results() const { return results_; }
    // The numbers of `frame` once they have arrived, else null. They stay
    // until the next start or cancel.
    const lumo::FrameMetrics* ResultFor(int frame) const;
    const QString& Error() const { return error_; }
    // The codec metrics the last start asked for.
    const lumo::ExtraMetrics& Extra() const { return extra_; }
    // The CSV of a finished run: header, one row per frame, summary rows;
    // of the codec metrics measured, the columns of those in `columns`.
    std::string Csv(const lumo::ExtraMetrics& columns = lumo::ExtraMetrics()) const;

signals:
    // More results arrived (Results() holds them all).
    void progress(int done, int total);
    // The run ended; `ok` false with Error() set when a frame could not be
    // compared.
    void finished(bool ok);

private:
    struct Run;
    void Deliver(const std::shared_ptr<Run>& run);
    void JoinEnded();

    std::shared_ptr<std::atomic<bool>> gentle_ = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<Run> current_;
    std::vector<std::shared_ptr<Run>> runs_; // every run not yet joined
    std::vector<lumo::FrameMetrics> results_;
    QString error_;
    lumo::ExtraMetrics extra_;
    int total_ = 0;
    bool running_ = false;
    bool finished_ = false;
};
