#include "save_selection.h"

#include <algorithm>

namespace kv::csv {

SaveSelection::SaveSelection(int lineShowNumber, int lidarLineType)
    : lineCount_(lidarLineType == 4 ? 4 : lineShowNumber), lines_(std::clamp(lineCount_, 1, kLineCount)) {
    lineState[0] = 1;
    if (lineCount_ > 1)
        for (int i = 0; i < lines_; ++i) lineState[std::size_t(i)] = 1;
    for (int i = 0; i < kLineCount; ++i) checked[std::size_t(i)] = lineState[std::size_t(i)] != 0;
}

void SaveSelection::checkstate() {
    for (int i = 0; i < lines_; ++i) checked[std::size_t(i)] = toggleFlag;
    toggleFlag = !toggleFlag;
}

void SaveSelection::parity() {
    checked[0] = !toggleFlag;
    toggleFlag = !toggleFlag;
}

void SaveSelection::confirm(int frames, float minAngle, float maxAngle) {
    for (int i = 0; i < lines_; ++i) lineState[std::size_t(i)] = checked[std::size_t(i)] ? 1 : 0;
    frameCount = frames;
    minAngleDeg = minAngle;
    maxAngleDeg = maxAngle;
}

}  // namespace kv::csv
