// What the "SaveData" window holds: the frames to export, the angle range and the line
// choice, with the two selection buttons' shared toggle. Plain C++; SaveData shows it.
#pragma once

#include <array>

#include "point_geometry.h"

namespace kv::csv {

struct SaveSelection {
    // Lines offered: the configured LineShowNumber, 4 with line type 4; at most the four
    // lines of the model and at least line 0.
    SaveSelection(int lineShowNumber, int lidarLineType);

    int linesInUse() const { return lines_; }
    int lineCount() const { return lineCount_; }

    // The check boxes as they stand (not yet confirmed).
    std::array<bool, kLineCount> checked{};
    bool toggleFlag = false;

    // Confirmed values.
    int frameCount = 1;
    float minAngleDeg = 0.0f;
    float maxAngleDeg = 180.0f;
    std::array<int, kLineCount> lineState{};

    // "All/All no choice": uncheck every line in use, or, on the next press, check them all.
    void checkstate();
    // "Switch selection": check line 0, or, on the next press, uncheck it.
    void parity();
    // "Ok": the check boxes become the line states; the texts' values become the rest.
    void confirm(int frames, float minAngle, float maxAngle);

private:
    int lineCount_;
    int lines_;
};

}  // namespace kv::csv
