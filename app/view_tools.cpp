#include "view_tools.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QMessageBox>
#include <QSaveFile>
#include <QToolButton>
#include <QVTKOpenGLNativeWidget.h>

#include "cloud_view.h"

namespace kv::window {

QString snapshotFileName(const QString& dir, const QString& model, const QDateTime& when) {
    const QString name = model + "_" + when.toString("yyyy-MM-dd-hh-mm-ss") + ".png";
    return dir.isEmpty() ? name : QDir(dir).filePath(name);
}

bool writePng(const QImage& image, const QString& path, QString& error) {
    if (image.isNull()) {
        error = "the view has no picture yet";
        return false;
    }
    // Written beside its place and renamed there once complete.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    QImageWriter writer(&file, "png");
    if (!writer.write(image)) {
        error = writer.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

ViewTools::ViewTools(const ViewToolsWidgets& widgets, CloudView& view, QWidget* window, std::function<QString()> modelLabel)
    : ui_(widgets), view_(view), window_(window), modelLabel_(std::move(modelLabel)) {
    connect(ui_.legend, &QAbstractButton::toggled, this, &ViewTools::applyLegend);
    connect(ui_.colourMode, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &ViewTools::applyLegend);
    connect(ui_.snapshot, &QAbstractButton::clicked, this, &ViewTools::snapshotClicked);
    applyLegend();
}

void ViewTools::applyLegend() { view_.showColourLegend(ui_.colourMode->currentIndex(), ui_.legend->isChecked()); }

QString ViewTools::proposedSnapshotName() const {
    return snapshotFileName(lastDirectory_, modelLabel_(), QDateTime::currentDateTime());
}

void ViewTools::snapshotClicked() {
    QString name = QFileDialog::getSaveFileName(window_, tr("Save Snapshot"), proposedSnapshotName(),
                                                tr("PNG pictures (*.png)"), nullptr, QFileDialog::DontUseNativeDialog);
    if (name.isEmpty()) return;
    if (QFileInfo(name).suffix().isEmpty()) name += ".png";
    snapshotTo(name);
}

bool ViewTools::snapshotTo(const QString& fileName) {
    QString error;
    if (!writePng(ui_.screen->grabFramebuffer(), fileName, error)) {
        QMessageBox::warning(window_, "error", QString("Couldn't write %1:\n%2").arg(fileName, error), QMessageBox::Ok);
        return false;
    }
    lastDirectory_ = QFileInfo(fileName).absolutePath();
    return true;
}

}  // namespace kv::window
