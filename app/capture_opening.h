// Opening a capture file on the "offLine" tab: the open dialog, the load with its wait dialog,
// the "Tips" box when there is nothing to replay, the choice among several sensor streams and
// the status line of a damaged file. The window applies the store it gets. And loading a PCD
// folder for the "OffLinePCD" tab under its wait dialog.
#pragma once

#include <QString>
#include <memory>
#include <string>
#include <vector>

class QMainWindow;
class QWidget;
class SaveAndPlay_PCD;

namespace kv::capture {
struct CaptureStore;
class MergedStreams;
}

namespace kv::window {

// The "Open" dialog; empty when cancelled.
QString askCaptureFileName(QWidget* parent);

// What an opened capture replays: one stream, or every stream together ("All streams together",
// the default when the file holds several), led by the one with the most data packets.
struct OpenedCaptureFile {
    std::shared_ptr<const capture::CaptureStore> store;  // the stream replayed, or the leading one
    std::shared_ptr<const capture::MergedStreams> merged;  // all streams together; null for one
    std::vector<std::string> streams;  // the streams replayed, by sensor index ("ADDR:PORT>PORT")
};

// Loads `fileName`: the packets to replay, or no store when nothing is to be replayed (the box
// has said why, or the stream choice was cancelled).
OpenedCaptureFile loadCaptureFile(QMainWindow* window, const QString& fileName);

// Loads every readable "*.pcd" file of `directory`, in name order, into `replay` (its earlier
// clouds dropped); returns the number of names listed, loaded or not.
int loadPcdFolder(QWidget* parent, const QString& directory, SaveAndPlay_PCD& replay);

}  // namespace kv::window
