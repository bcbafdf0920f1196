#include "csv_export_panel.h"

#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "file_names.h"
#include "frame_pipeline.h"
#include "savedata.h"
#include "selection_session.h"
#include "settings.h"

namespace kv::window {

namespace {
void showFileError(QWidget* parent, const QString& text) {
    QMessageBox::warning(parent, "error", text, QMessageBox::Ok);
}
}  // namespace

CsvExportPanel::CsvExportPanel(QWidget* parent, QLabel* status, QPushButton* end, const Source& source)
    : parent_(parent), status_(status), end_(end), source_(source) {
    const AppSettings& settings = appSettings();
    saveData_ = new SaveData(settings.LineShowNumber, settings.LidarLineType);
    QObject::connect(end_, &QPushButton::clicked, parent_, [this] { this->end(); });
}

CsvExportPanel::~CsvExportPanel() { delete saveData_; }

QString CsvExportPanel::defaultSingleFileName() const {
    return QString::fromStdString(source_.modelLabel) + "_" +
           QDateTime::currentDateTime().toString("yyyy-MM-dd-hh-mm-ss") + ".csv";
}

QString CsvExportPanel::defaultMultiFileName() const {
    return QString::fromStdString(source_.modelLabel) + "_" +
           QDateTime::currentDateTime().toString("yyyy-MM-dd-hh-mm") + "_" +
           QString::number(saveData_->selection().frameCount) + "Frame" + ".csv";
}

QString CsvExportPanel::askFileName(const QString& proposed) const {
    return QFileDialog::getSaveFileName(parent_, QObject::tr("Save CSV"), QObject::tr(proposed.toUtf8().constData()),
                                        QString(), nullptr, QFileDialog::DontUseNativeDialog);
}

void CsvExportPanel::saveDataPressed(bool frameOnScreen) {
    if (!frameOnScreen) {
        saveData_->show();
        return;
    }
    const QString name = askFileName(defaultSingleFileName());
    if (!name.isEmpty()) exportSingleFrameTo(name);
}

bool CsvExportPanel::exportSingleFrameTo(const QString& fileName) {
    const std::string path = fileNameBytes(fileName).toStdString();
    const FramePipeline& frames = source_.frames;
    const SelectionSession& selection = source_.selection;
    std::string error;
    const bool ok =
        frames.onScreen() == FramePipeline::OnScreen::kCloud
            ? csv::exportSingleCloud(path, frames.cloudOnScreen(), selection.followed(), selection.box(), error)
            : csv::exportSingleFrame(path, frames.frameOnScreen(), source_.geometry, selection.followed(),
                                     selection.box(), error,
                                     source_.sensors ? source_.sensors() : csv::ExportSensors{});
    if (!ok) showFileError(parent_, QString::fromStdString(error));
    return ok;
}

void CsvExportPanel::frameChoiceAccepted() {
    const QString name = askFileName(defaultMultiFileName());
    if (!name.isEmpty()) startTo(name);
}

bool CsvExportPanel::startTo(const QString& fileName) {
    const bool started = session_.start(fileNameBytes(fileName).toStdString(),
                                        source_.sensors ? source_.sensors() : csv::ExportSensors{});
    if (!started) showFileError(parent_, QString::fromStdString(session_.error()));
    showStatus();
    return started;
}

void CsvExportPanel::end() {
    if (!session_.active()) return;
    const bool closed = session_.end();
    showStatus();
    if (!closed) showFileError(parent_, QString::fromStdString(session_.error()));
}

void CsvExportPanel::step() {
    const auto step = session_.step(source_.frames.current(), source_.geometry, saveData_->selection(),
                                    appSettings().isProductionUsed, source_.selection.followed(),
                                    source_.selection.box());
    showStatus();
    if (step == csv::ExportSession::Step::kFailed) {
        // The file keeps every whole line written; the message waits until this frame is done.
        const QString text = QString::fromStdString(session_.error());
        QTimer::singleShot(0, parent_, [parent = parent_, text] { showFileError(parent, text); });
    }
}

void CsvExportPanel::showStatus() {
    status_->setVisible(session_.active());
    end_->setVisible(session_.active());
    status_->setText(QFile::decodeName(QByteArray::fromStdString(session_.statusText())));
}

}  // namespace kv::window
