#pragma once

#include "iqa/CompareEngine.h"

#include <QObject>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

// Measures one frame pair over a rectangle on a thread of its own, for the
// region line under the metric text. Only the latest request counts: one
// made while another is measured replaces any still waiting, so a rectangle
// being drawn is followed without a queue. Results come back on the GUI
// thread with the request's token.
class RegionMetrics : public QObject {
    Q_OBJECT
public:
    explicit RegionMetrics(QObject* parent = nullptr);
    // Stops and joins the thread (after the measurement under way).
    ~RegionMetrics() override;

    // Measures `frame` with `settings` (its region set); returns the token
    // the result will carry.
    int Request(const lumo::CompareEngine::Settings& settings, int frame);
    // Drops every request; a result under way arrives with a stale token.
    void Cancel();

signals:
    // `ok` false when the frame could not be read or measured.
    void measured(int token, lumo::FrameMetrics metrics, bool ok);

private:
    void Loop();

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    bool pending_ = false;
    int token_ = 0;
    int frame_ = 0;
    lumo::CompareEngine::Settings settings_;
    // Fired by the destructor: a measurement under way stops within a band
    // of SSIM rows.
    lumo::CancelToken stopping_;
    std::thread thread_;
};
