#include "frame_pipeline.h"

#include <utility>

namespace kv {

const MuchLidarData& FramePipeline::empty() {
    static const MuchLidarData none;
    return none;
}

bool FramePipeline::frameHandled(MuchLidarData frame, const DisplayFilter& filter) {
    current_ = std::make_shared<const MuchLidarData>(std::move(frame));
    filter_ = filter;
    currentComputed_ = false;
    currentOnScreen_ = false;
    ++framesHandled_;
    if (drawPending_) {
        if (frameWaiting_) ++drawsSkipped_;  // the frame the draw was queued for is passed over
        frameWaiting_ = true;
        return false;
    }
    drawPending_ = true;
    frameWaiting_ = true;
    return true;
}

const FramePoints& FramePipeline::currentPoints() {
    if (currentOnScreen_) return screenPoints_;
    if (!currentComputed_) {
        if (current_) computeFramePoints(*current_, geometry_, filter_, currentPoints_);
        else currentPoints_.clear();
        currentComputed_ = true;
    }
    return currentPoints_;
}

const FramePoints* FramePipeline::draw() {
    if (!drawPending_) return nullptr;
    drawPending_ = false;
    if (frameWaiting_) ++framesDrawn_;
    frameWaiting_ = false;
    if (!currentOnScreen_) {
        // The points computed for the hooks are drawn as they are. They stayed apart until now,
        // so that a pick in between still read the points on screen.
        if (currentComputed_) std::swap(screenPoints_, currentPoints_);
        else if (current_) computeFramePoints(*current_, geometry_, filter_, screenPoints_);
        else screenPoints_.clear();
        currentComputed_ = false;
        currentOnScreen_ = true;
    }
    screenFrame_ = current_;
    screenCloud_.clear();
    onScreen_ = current_ ? OnScreen::kFrame : OnScreen::kNothing;
    return &screenPoints_;
}

bool FramePipeline::refilter(const DisplayFilter& filter) {
    if (!current_) return false;
    filter_ = filter;
    currentComputed_ = false;
    currentOnScreen_ = false;  // what is on screen stays as drawn until the draw
    if (drawPending_ || onScreen_ == OnScreen::kCloud) return false;
    drawPending_ = true;
    return true;
}

void FramePipeline::cloudShown(std::vector<PointM> cloud) {
    // The newest picture wins: a draw still queued would cover the cloud with an older frame.
    if (drawPending_ && frameWaiting_) ++drawsSkipped_;
    drawPending_ = false;
    frameWaiting_ = false;
    if (currentOnScreen_) {
        std::swap(currentPoints_, screenPoints_);
        currentComputed_ = true;
        currentOnScreen_ = false;
    }
    screenPoints_.clear();
    screenFrame_.reset();
    screenCloud_ = std::move(cloud);
    onScreen_ = OnScreen::kCloud;
}

}  // namespace kv
