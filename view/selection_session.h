// The measuring selection as the window's buttons drive it: "Select" arms the rubber band (and
// a second press disarms it), a pick takes the region from the points on screen, "SelectRange"
// edits its box and "Clear" drops it. While a region is followed, every frame highlights and
// lists the points inside its box, and the cursor readout runs. Pure: the window applies the
// results to its view, table and labels.
#pragma once

#include <vector>

#include "selection.h"

namespace kv {

class SelectionSession {
public:
    // "Select": the region is dropped and the readout stops; returns whether the rubber band is
    // armed now (every press toggles it).
    bool toggleArmed();

    struct Pick {
        bool taken = false;                  // false: nothing drawn lay under the band (still armed)
        std::vector<ColouredPoint> clicked;  // the picked points, to show in blue
        PickListing listing;                 // the frame's in-box points, for the table and labels
    };
    // A rubber band over `drawn` (the points on screen, which `indices` refer to): the box of
    // the named points becomes the region, followed from now on; `frame` is listed in it.
    Pick pick(const std::vector<ColouredPoint>& drawn, const std::vector<int>& indices, const MuchLidarData& frame,
              const BeamGeometry& geometry, const DisplayFilter& lines);

    // "Clear": no region, nothing armed, nothing picked.
    void clear();
    // The range dialog's OK: the followed box becomes these limits.
    void setBox(const SelectionBox& box) { box_ = box; }

    // The filter of the next frame: `base` with the region's box and whether it is followed.
    DisplayFilter applyTo(DisplayFilter base) const;

    const SelectionBox& box() const { return box_; }
    bool followed() const { return followed_; }
    bool armed() const { return armed_; }
    bool readout() const { return readout_; }
    int pickedCount() const { return pickedCount_; }

private:
    SelectionBox box_;
    bool followed_ = false;
    bool armed_ = false;
    bool readout_ = true;  // the cursor readout runs from the start
    int pickedCount_ = 0;
};

}  // namespace kv
