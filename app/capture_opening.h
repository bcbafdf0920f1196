// Opening a capture file on the "offLine" tab: the open dialog, the load with its wait dialog,
// the "Tips" box when there is nothing to replay, the choice among several sensor streams and
// the status line of a damaged file. The window applies the store it gets. And loading a PCD
// folder for the "OffLinePCD" tab under its wait dialog.
#pragma once

#include <QString>
#include <memory>

class QMainWindow;
class QWidget;
class SaveAndPlay_PCD;

namespace kv::capture {
struct CaptureStore;
}

namespace kv::window {

// The "Open" dialog; empty when cancelled.
QString askCaptureFileName(QWidget* parent);

// Loads `fileName`: the packets of the stream to replay, or null when nothing is to be
// replayed (the box has said why, or the stream choice was cancelled).
std::shared_ptr<const capture::CaptureStore> loadCaptureFile(QMainWindow* window, const QString& fileName);

// Loads every readable "*.pcd" file of `directory`, in name order, into `replay` (its earlier
// clouds dropped); returns the number of names listed, loaded or not.
int loadPcdFolder(QWidget* parent, const QString& directory, SaveAndPlay_PCD& replay);

}  // namespace kv::window
