// The view tools of the "Lidar" tab: "Legend" shows or hides the colour bar of the colour mode
// (which follows the colour selector at once), and "Snapshot" saves the view's picture, colour
// bar included, as a PNG file. The window owns it (before the view goes); it connects its own
// buttons.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QAbstractButton;
class QComboBox;
class QDateTime;
class QImage;
class QVTKOpenGLNativeWidget;
class QWidget;

namespace kv {
class CloudView;
}

namespace kv::window {

// "<model>_<yyyy-MM-dd-hh-mm-ss>.png", in `dir` when one is given.
QString snapshotFileName(const QString& dir, const QString& model, const QDateTime& when);

// Writes `image` as a PNG file at `path`, whole or not at all (a failed write leaves no file
// and an earlier file of that name as it was). False with the reason in `error`.
bool writePng(const QImage& image, const QString& path, QString& error);

struct ViewToolsWidgets {
    QAbstractButton* legend;
    QAbstractButton* snapshot;
    QComboBox* colourMode;
    QVTKOpenGLNativeWidget* screen;  // the render widget, whose picture a snapshot saves
};

class ViewTools : public QObject {
    Q_OBJECT
public:
    // `modelLabel` gives the model label of the frames so far, which names the snapshots.
    ViewTools(const ViewToolsWidgets& widgets, CloudView& view, QWidget* window, std::function<QString()> modelLabel);

    // Saves the view's picture to `fileName` as "Snapshot" does after its dialog; a failure is
    // shown in a warning box. The folder of a saved file is proposed for the next one.
    bool snapshotTo(const QString& fileName);
    QString proposedSnapshotName() const;
    const QString& lastDirectory() const { return lastDirectory_; }

private:
    void applyLegend();
    void snapshotClicked();

    ViewToolsWidgets ui_;
    CloudView& view_;
    QWidget* window_;
    std::function<QString()> modelLabel_;
    QString lastDirectory_;  // empty until the first snapshot: the working directory
};

}  // namespace kv::window
