#include "csv_session.h"

namespace kv::csv {

bool exportSingleFrame(const std::string& path, const MuchLidarData& frame, const BeamGeometry& geometry,
                       bool selectionFollowed, const SelectionBox& box, std::string& error,
                       const ExportSensors& sensors) {
    CsvFile file;
    if (sensors.names.size() > 1) file.setSensorNames(sensors.names);
    RowFilter filter = RowFilter::singleFrame(selectionFollowed, box);
    filter.poses = sensors.poses;
    bool ok = file.open(path, Layout::kSingleFrame) && file.writeFrame(frame, geometry, filter);
    ok = file.close() && ok;
    if (!ok) error = file.error();
    return ok;
}

bool exportSingleCloud(const std::string& path, const std::vector<PointM>& cloud, bool selectionFollowed,
                       const SelectionBox& box, std::string& error) {
    CsvFile file;
    bool ok = file.open(path, Layout::kSingleFrame) &&
              file.writeCloud(cloud, RowFilter::singleFrame(selectionFollowed, box));
    ok = file.close() && ok;
    if (!ok) error = file.error();
    return ok;
}

ExportSession::ExportSession() : file_(std::make_unique<CsvFile>()) {}

ExportSession::~ExportSession() = default;

bool ExportSession::start(const std::string& path, const ExportSensors& sensors) {
    if (active_) end();  // the file so far is kept
    frames_ = 0;
    sensors_ = sensors;
    file_->setSensorNames(sensors.names.size() > 1 ? sensors.names : std::vector<std::string>{});
    active_ = file_->open(path, Layout::kMultiFrame);
    return active_;
}

ExportSession::Step ExportSession::step(const MuchLidarData& frame, const BeamGeometry& geometry,
                                        const SaveSelection& choice, bool productionUsed, bool selectionFollowed,
                                        const SelectionBox& box) {
    ++frames_;
    RowFilter filter = RowFilter::multiFrame(choice.minAngleDeg, choice.maxAngleDeg, choice.lineState, productionUsed,
                                             selectionFollowed, box);
    filter.poses = sensors_.poses;
    if (!file_->writeFrame(frame, geometry, filter, frames_)) {
        active_ = false;  // the file keeps every whole line written
        return Step::kFailed;
    }
    if (frames_ == choice.frameCount) return end() ? Step::kEnded : Step::kFailed;
    return Step::kGoing;
}

bool ExportSession::end() {
    if (!active_) return true;
    active_ = false;
    return file_->close();
}

const std::string& ExportSession::path() const { return file_->path(); }

const std::string& ExportSession::error() const { return file_->error(); }

std::string ExportSession::statusText() const {
    if (!active_) return std::string();
    return "CSV export to " + path() + ": " + std::to_string(frames_) + " frames";
}

}  // namespace kv::csv
