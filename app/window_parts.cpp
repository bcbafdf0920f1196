#include "window_parts.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QDesktopServices>
#include <QDockWidget>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QVBoxLayout>
#include <QToolBar>
#include <QMainWindow>
#include <QPalette>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QStandardItemModel>
#include <QTableView>
#include <QUrl>

#include "frame_display.h"

namespace kv::window {

void installPalette() {
    QPalette p;
    const QColor grey105(105, 105, 105);
    p.setColor(QPalette::Window, QColor(230, 230, 230));
    p.setColor(QPalette::WindowText, Qt::black);
    p.setColor(QPalette::Base, QColor(255, 255, 255));
    p.setColor(QPalette::AlternateBase, grey105);
    p.setColor(QPalette::ToolTipBase, Qt::black);
    p.setColor(QPalette::ToolTipText, Qt::black);
    p.setColor(QPalette::Text, Qt::black);
    p.setColor(QPalette::Button, grey105);
    p.setColor(QPalette::ButtonText, Qt::black);
    p.setColor(QPalette::BrightText, Qt::red);
    p.setColor(QPalette::Highlight, QColor(142, 45, 197).lighter(150));
    p.setColor(QPalette::HighlightedText, Qt::black);
    QApplication::setPalette(p);
}

QLabel* statusLabel(QWidget* parent, int w, int h) {
    auto* l = new QLabel(parent);
    if (w > 0) l->setFixedSize(w, h);
    return l;
}

StatusBarParts addStatusBarParts(QMainWindow* window, QStatusBar* bar) {
    StatusBarParts parts;
    const auto initialTexts = initialSelectionLabelTexts();
    const char* names[3] = {"label_X", "label_Y", "label_Z"};
    QLabel** labels[3] = {&parts.x, &parts.y, &parts.z};
    for (int i = 0; i < 3; ++i) {
        QLabel* l = *labels[i] = statusLabel(window);
        l->setObjectName(names[i]);
        l->setText(QString::fromStdString(initialTexts[std::size_t(i)]));
        l->setMinimumSize(kStatisticsLabelMinWidth, kStatisticsLabelMinHeight);
    }
    // The statistics have a row of their own above the status bar, a line each, so that every
    // figure shows whole at the window's smallest width and no status message hides them.
    auto* readout = new QToolBar(QObject::tr("Statistics"), window);
    readout->setObjectName("toolBar_Statistics");
    readout->setMovable(false);
    readout->setFloatable(false);
    auto* lines = new QWidget(readout);
    // The row takes the toolbar's whole width: a toolbar lays a widget out at the size hint it
    // had when it was added, which would cut a figure that grows later.
    lines->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    auto* column = new QVBoxLayout(lines);
    column->setContentsMargins(6, 2, 6, 2);
    column->setSpacing(0);
    for (QLabel* l : {parts.x, parts.y, parts.z}) {
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        column->addWidget(l);
    }
    readout->addWidget(lines);
    window->addToolBar(Qt::BottomToolBarArea, readout);
    bar->addPermanentWidget(projectLinkLabel(window));
    parts.csvExport = new QLabel(window);
    parts.csvExport->setObjectName("label_csvExport");
    parts.csvEnd = new QPushButton(QObject::tr("End export"), window);
    parts.csvEnd->setObjectName("pushButton_endCsvExport");
    bar->addPermanentWidget(parts.csvExport);
    bar->addPermanentWidget(parts.csvEnd);
    parts.csvExport->hide();
    parts.csvEnd->hide();
    return parts;
}

QLabel* projectLinkLabel(QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setObjectName("label_projectLink");
    const QDir bin(QCoreApplication::applicationDirPath());
    for (const QString& candidate : {bin.filePath("README.md"), bin.filePath("../share/kv-cloudscope/README.md"),
                                     bin.filePath("../../README.md")}) {
        if (!QFileInfo::exists(candidate)) continue;
        const QString url = QUrl::fromLocalFile(QFileInfo(candidate).canonicalFilePath()).toString();
        l->setText(QString("<a href=\"%1\">KV CloudScope</a>").arg(url));
        l->setTextFormat(Qt::RichText);
        l->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
        // Where no program opens the README, the window says so and where the file is; Qt
        // would only tell the terminal.
        QObject::connect(l, &QLabel::linkActivated, l, [l](const QString& link) {
            const QUrl target(link);
            if (QDesktopServices::openUrl(target)) return;
            QMessageBox box(QMessageBox::Information, "KV CloudScope",
                            "No program on this system opens the README. It is at\n" + target.toLocalFile(),
                            QMessageBox::Ok, l->window());
            box.setObjectName("readmeBox");
            box.setTextInteractionFlags(Qt::TextSelectableByMouse);
            box.exec();
        });
        return l;
    }
    l->setText("KV CloudScope");
    return l;
}

QIcon imageFile(const char* file) {
    const QString onDisk = QString("./Resources/images/") + file;
    return QIcon(QFile::exists(onDisk) ? onDisk : QString(":/image/Resources/images/") + file);
}

QStandardItemModel* resetPointTable(QTableView* table, QObject* owner) {
    auto* model = new QStandardItemModel(0, 5, owner);
    model->setHorizontalHeaderLabels({"ID", "Points_m_XYZ", "Distance", "Azimuth", "Intensity"});
    QItemSelectionModel* oldSelection = table->selectionModel();
    QAbstractItemModel* oldModel = table->model();
    table->setModel(model);
    delete oldSelection;
    if (oldModel && oldModel->parent() == owner) oldModel->deleteLater();
    const int widths[5] = {40, 200, 80, 80, 80};
    for (int c = 0; c < 5; ++c) table->setColumnWidth(c, widths[c]);
    return model;
}

void setTableRow(QStandardItemModel* model, int row, const std::array<std::string, 5>& texts) {
    if (!model) return;
    if (model->rowCount() <= row) model->setRowCount(row + 1);
    for (int c = 0; c < 5; ++c) {
        const QString text = QString::fromStdString(texts[std::size_t(c)]);
        if (QStandardItem* item = model->item(row, c)) item->setText(text);
        else model->setItem(row, c, new QStandardItem(text));
    }
}

std::unique_ptr<QProgressDialog> waitDialog(QWidget* parent, const QString& label, int maximum) {
    auto progress = std::make_unique<QProgressDialog>(parent);
    progress->setLabelText(label);
    progress->setCancelButtonText(QString());
    progress->setWindowTitle("Please wait a moment");
    progress->setFixedWidth(300);
    progress->setMinimumDuration(5);
    progress->setWindowIcon(QIcon("./Resources/image/korvane.png"));
    progress->setWindowModality(Qt::WindowModal);
    progress->setRange(0, maximum);
    return progress;
}

QDockWidget* addHealthDock(QMainWindow* window, QLabel*& label) {
    auto* dock = new QDockWidget("Receiver health", window);
    dock->setObjectName("dockWidget_health");
    dock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    label = new QLabel(dock);
    label->setObjectName("label_health");
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setContentsMargins(6, 2, 6, 2);
    dock->setWidget(label);
    window->addDockWidget(Qt::BottomDockWidgetArea, dock);
    return dock;
}

QLabel* startHint(QWidget* view, const QString& port) {
    auto* hint = new QLabel(view);
    hint->setObjectName("label_startHint");
    hint->setStyleSheet("QLabel { color: white; background: rgba(0, 0, 0, 160); padding: 10px; font-size: 16pt; }");
    hint->move(20, 20);
    setStartHintPort(hint, port);
    hint->show();
    return hint;
}

void setStartHintPort(QLabel* hint, const QString& port) {
    hint->setText(QString("Press Lidar to receive on port %1").arg(port));
    hint->adjustSize();
}

}  // namespace kv::window
