#include "selection_session.h"

namespace kv {

bool SelectionSession::toggleArmed() {
    box_ = SelectionBox();
    followed_ = false;
    readout_ = false;
    armed_ = !armed_;
    return armed_;
}

SelectionSession::Pick SelectionSession::pick(const std::vector<ColouredPoint>& drawn, const std::vector<int>& indices,
                                              const MuchLidarData& frame, const BeamGeometry& geometry,
                                              const DisplayFilter& lines) {
    Pick result;
    if (indices.empty()) return result;
    AreaPick area = pickArea(drawn, indices);
    if (area.count <= 0) return result;
    result.taken = true;
    pickedCount_ = area.count;
    box_ = area.box;
    armed_ = false;
    followed_ = true;
    readout_ = true;
    result.clicked = std::move(area.points);
    result.listing = listPicked(frame, geometry, lines, box_, pickedCount_);
    return result;
}

void SelectionSession::clear() {
    box_ = SelectionBox();
    followed_ = false;
    pickedCount_ = 0;
}

DisplayFilter SelectionSession::applyTo(DisplayFilter base) const {
    base.box = box_;
    base.selectionActive = followed_;
    return base;
}

}  // namespace kv
