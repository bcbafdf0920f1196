#include "pcd_recording.h"

namespace kv {
namespace pcd {

std::string baseName(const std::string& answer) {
    std::size_t end = answer.size();
    for (int dropped = 0; dropped < 4 && end > 0; ++dropped) {
        --end;
        // Step back over UTF-8 continuation bytes to the start of the character.
        while (end > 0 && (static_cast<unsigned char>(answer[end]) & 0xC0) == 0x80) --end;
    }
    return answer.substr(0, end);
}

std::string stampedName(const std::string& base, const std::string& stamp, int written) {
    return base + stamp + "_" + std::to_string(written) + ".pcd";
}

void PcdRecording::start(const std::string& answer, int n, const std::string& stamp) {
    base_ = baseName(answer);
    active_ = true;
    written_ = 0;
    next_ = n <= 1 ? base_ + ".pcd" : stampedName(base_, stamp, written_);
}

void PcdRecording::rename(const std::string& stamp) {
    if (active_) next_ = stampedName(base_, stamp, written_);
}

void PcdRecording::frameDone(int n, const std::string& stamp) {
    if (!active_) return;
    ++written_;
    // The count is read again for every frame; a count lowered below the frames already
    // written ends the recording too, rather than never.
    if (n > 0 && written_ >= n) {
        end();
        return;
    }
    next_ = stampedName(base_, stamp, written_);
}

void PcdRecording::pressWhileActive(int n, const std::string& stamp) {
    if (endless(n)) end();
    else rename(stamp);
}

std::string PcdRecording::statusText() const {
    return (active_ ? "Recording PCD: " : "PCD recording ended: ") + std::to_string(written_) + " frames";
}

void PcdRecording::end() {
    active_ = false;
    base_.clear();
    next_.clear();
}

}  // namespace pcd
}  // namespace kv
