// The naming and counting of a PCD recording: one file per handled frame, named from the
// answer of the save dialog, ending after the frame count of the count field. Pure: the window
// hands in the count field's value and the time stamps ("yyyy-MM-dd-hh-mm-ss-zzz").
#pragma once

#include <string>

namespace kv {
namespace pcd {

// The answer of the save dialog less its last four characters (the ".pcd" is assumed there;
// a name without it loses four characters all the same). Characters, not bytes: a UTF-8 name
// keeps whole characters.
std::string baseName(const std::string& answer);

// base + stamp + "_<written>" + ".pcd": the name of a frame of a recording of several frames.
std::string stampedName(const std::string& base, const std::string& stamp, int written);

class PcdRecording {
public:
    // A press of "RecordPCD" with the dialog's answer, the count field's value n and the time of
    // the press. n of 1 or less names the first file base + ".pcd".
    void start(const std::string& answer, int n, const std::string& stamp);
    // A press while recording: the next file gets a fresh time stamp; the recording goes on.
    void rename(const std::string& stamp);
    // A press of "RecordPCD" while recording, with the count field's value n: a recording
    // without an end of its own (endless(n)) ends here, one with a count is renamed and goes on.
    void pressWhileActive(int n, const std::string& stamp);
    // After each handled frame (written or empty), with the count field's value now: counts the
    // frame and ends after n frames, or names the next file.
    void frameDone(int n, const std::string& stamp);
    // Ends the recording (a write failed, or the user ended an endless one); files already
    // written stay.
    void end();

    bool active() const { return active_; }
    // A count of 0, a negative count or text that is not a number never reaches its end.
    static bool endless(int n) { return n <= 0; }
    const std::string& nextFileName() const { return next_; }
    const std::string& base() const { return base_; }
    int written() const { return written_; }
    // The status bar's line: "Recording PCD: <n> frames" while active, then
    // "PCD recording ended: <n> frames".
    std::string statusText() const;

private:
    bool active_ = false;
    std::string base_;
    std::string next_;
    int written_ = 0;
};

}  // namespace pcd
}  // namespace kv
