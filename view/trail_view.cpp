#include "trail_view.h"

#include <algorithm>

#include "cloud_view_pcl.h"

namespace kv {

struct TrailView::Current {
    std::uint64_t seq = 0;
    Cloud::Ptr cloud;
};

TrailView::TrailView(CloudView& view) : view_(view), current_(new Current) {}

TrailView::~TrailView() = default;

std::string TrailView::actorId(std::uint64_t seq) { return "trail_" + std::to_string(seq); }

void TrailView::remove(const std::vector<std::uint64_t>& frames) {
    auto& v = *view_.impl().viewer;
    for (std::uint64_t seq : frames) v.removePointCloud(actorId(seq), 0);  // absent: nothing to do
}

void TrailView::setLength(int frames) {
    remove(book_.setLength(frames));
    if (!trailing()) current_->cloud.reset();
    view_.renderNow();
}

void TrailView::frameHandled(std::uint64_t seq, const std::vector<ColouredPoint>& points) {
    const TrailBook::Step step = book_.advance(seq);
    remove(step.dropped);
    if (step.older && current_->cloud && current_->seq == *step.older) {
        auto& v = *view_.impl().viewer;
        const std::string id = actorId(*step.older);
        pcl::visualization::PointCloudColorHandlerRGBField<pcl::PointXYZRGB> own(current_->cloud);
        v.addPointCloud<pcl::PointXYZRGB>(current_->cloud, own, id, 0);
        v.setPointCloudRenderingProperties(pcl::visualization::PCL_VISUALIZER_POINT_SIZE, double(view_.pointSize()),
                                           id, 0);
    }
    // A cloud of its own: the one just handed over stays with its actor.
    current_->seq = seq;
    current_->cloud.reset(new Cloud);
    fillCloud(points, *current_->cloud);
}

void TrailView::report(TrailEvent event) {
    if (!trailClears(event)) return;
    const std::vector<std::uint64_t> held = book_.clear();
    current_->cloud.reset();
    if (held.size() > 1) {
        remove(held);
        view_.renderNow();
    }
}

std::size_t TrailView::olderFramesShown() const {
    std::size_t n = 0;
    for (std::uint64_t seq : book_.held()) n += view_.cloudPointCount(actorId(seq)) >= 0;
    return n;
}

long TrailView::pointsShown() const {
    long n = std::max(0L, view_.cloudPointCount(CloudView::kRealTimeId));
    for (std::uint64_t seq : book_.held()) n += std::max(0L, view_.cloudPointCount(actorId(seq)));
    return n;
}

}  // namespace kv
