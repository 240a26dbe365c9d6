#include "analysis/SelectionController.h"

#include "analysis/SequenceMetrics.h"

SelectionController::SelectionController(QObject* parent) : QObject(parent), loader_(std::make_unique<FrameLoader>())
{
    connect(loader_.get(), &FrameLoader::planesReady, this,
            [this](int token, FrameLoader::Frame first, FrameLoader::Frame second) {
                if (token == token_)
                    emit planesReady(frame_, first, second);
            });
    connect(loader_.get(), &FrameLoader::histogramsReady, this,
            [this](int token, std::shared_ptr<const FrameLoader::Histograms> histograms) {
                if (token == token_)
                    emit histogramsReady(histograms);
            });
    connect(loader_.get(), &FrameLoader::loadFailed, this, [this](int token) {
        if (token != token_)
            return;
        pendingCompare_ = 0;
        emit loadFailed();
    });
    connect(loader_.get(), &FrameLoader::compareSkipped, this, [this](int token) {
        if (token == pendingCompare_)
            pendingCompare_ = 0;
    });
    connect(loader_.get(), &FrameLoader::compared, this,
            [this](int token, double ssim, double mse_y, double mse_u, double mse_v, double psnr_y, double psnr_u,
                   double psnr_v) {
                if (token != pendingCompare_)
                    return;
                pendingCompare_ = 0;
                emit metricsReady(ssim, mse_y, mse_u, mse_v, psnr_y, psnr_u, psnr_v, pendingDepth_);
            });
    connect(loader_.get(), &FrameLoader::compareStarted, this, &SelectionController::compareStarted);
}

// The loader's threads report to this controller: they end first.
SelectionController::~SelectionController() = default;

void SelectionController::Select(const Selection& selection, const SequenceMetrics* table)
{
    // Files of different depths are not compared; deeper files are compared
    // at their own depth.
    const int depth = selection.first.BitDepth();
    const lumo::FrameMetrics* known = selection.comparable ? table->ResultFor(selection.frame) : nullptr;
    const bool compare = selection.comparable && !known;
    FrameLoader::Request request;
    request.token = ++token_;
    request.frame = selection.frame;
    request.first = selection.first;
    request.second = selection.second;
    request.withSecond = selection.withSecond;
    request.compare = compare;
    request.depth = depth;
    request.colorRangeCode = selection.colorRangeCode;
    frame_ = selection.frame;
    pendingCompare_ = compare ? request.token : 0;
    if (compare)
        pendingDepth_ = depth;
    else if (known)
        emit metricsReady(known->ssim, known->mse[0], known->mse[1], known->mse[2], known->psnr[0], known->psnr[1],
                          known->psnr[2], known->depth);
    else if (selection.withSecond)
        emit metricsCleared();
    loader_->Load(request);
}

void SelectionController::Drop()
{
    ++token_;
    pendingCompare_ = 0;
}
