#include "sensors_panel.h"

#include <QComboBox>
#include <QDockWidget>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <arpa/inet.h>

#include "receiver_health.h"
#include "udp_socket.h"

namespace kv::window {

namespace {

enum Column { kIndex, kName, kStream, kPackets, kFrames, kAge, kPose, kShown, kColumns };

// The address of "ADDR:PORT[>PORT]", host order; 0 when it is not one.
std::uint32_t addressOf(const std::string& source) {
    std::uint32_t ip = 0;
    return parseIpv4(source.substr(0, source.find(':')), ip) ? ip : 0;
}

}  // namespace

SensorsPanel::SensorsPanel(QMainWindow* window, SensorsHooks hooks, std::string filePath)
    : QObject(window), window_(window), hooks_(std::move(hooks)), filePath_(std::move(filePath)) {
    const SensorsRead saved = readSensorsFile(filePath_);
    book_ = SensorBook(saved.sensors);
    if (!saved.errors.empty() && hooks_.say) {
        QStringList lines;
        for (const std::string& e : saved.errors) lines << QString::fromStdString(e);
        hooks_.say("sensors.ini: " + lines.join("; "));
    }

    dock_ = new QDockWidget(tr("Sensors"), window);
    dock_->setObjectName("dockWidget_Sensors");
    auto* body = new QWidget(dock_);
    auto* column = new QVBoxLayout(body);
    column->setContentsMargins(4, 4, 4, 4);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(tr("Leading sensor:"), body));
    lead_ = new QComboBox(body);
    lead_->setObjectName("comboBox_LeadSensor");
    row->addWidget(lead_, 1);
    column->addLayout(row);
    table_ = new QTableWidget(0, kColumns, body);
    table_->setObjectName("tableWidget_Sensors");
    table_->setHorizontalHeaderLabels({tr("#"), tr("Name"), tr("Stream"), tr("Packets/s"), tr("Frames/s"),
                                       tr("Last packet"), tr("Pose x,y,z,roll,pitch,yaw"), tr("Shown")});
    table_->verticalHeader()->hide();
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setStretchLastSection(true);
    column->addWidget(table_);
    dock_->setWidget(body);
    window->addDockWidget(Qt::BottomDockWidgetArea, dock_);
    dock_->hide();

    connect(table_, &QTableWidget::cellChanged, this, &SensorsPanel::rowEdited);
    connect(table_, &QTableWidget::itemSelectionChanged, this, &SensorsPanel::selectionChanged);
    connect(lead_, QOverload<int>::of(&QComboBox::activated), this, [this](int) {
        if (hooks_.merge) hooks_.merge(lead_->currentIndex(), book_.hiddenMask());
        if (hooks_.changed) hooks_.changed();
    });
    timer_ = new QTimer(this);
    timer_->setInterval(500);
    connect(timer_, &QTimer::timeout, this, &SensorsPanel::refresh);
    timer_->start();
}

SensorsPanel::~SensorsPanel() = default;

void SensorsPanel::followLive() {
    live_ = true;
    book_.clearInUse();
    last_.clear();
    filling_ = true;
    table_->setRowCount(0);
    lead_->clear();
    lead_->setEnabled(true);
    lead_->setToolTip(QString());
    filling_ = false;
}

void SensorsPanel::useStreams(const std::vector<std::string>& streams, std::size_t lead) {
    live_ = false;
    book_.clearInUse();
    filling_ = true;
    table_->setRowCount(0);
    lead_->clear();
    for (std::size_t i = 0; i < streams.size(); ++i) {
        book_.use(i, streams[i].substr(0, streams[i].find('>')));  // the sensor is the source
        table_->insertRow(int(i));
        fillRow(int(i));
        table_->item(int(i), kStream)->setText(QString::fromStdString(streams[i]));
        lead_->addItem(QString::fromStdString(book_.label(i)));
    }
    lead_->setCurrentIndex(int(lead));
    // A replay's frames are numbered by its leading stream, chosen when the capture opens.
    lead_->setEnabled(false);
    lead_->setToolTip(tr("A capture's frames follow the stream with the most data packets"));
    filling_ = false;
    if (streams.size() > 1) dock_->show();
    if (hooks_.merge) hooks_.merge(int(lead), book_.hiddenMask());
    if (hooks_.changed) hooks_.changed();
}

void SensorsPanel::fillRow(int r) {
    const bool wasFilling = filling_;
    filling_ = true;
    const std::size_t i = std::size_t(r);
    const SensorEntry& e = book_.at(i);
    auto cell = [&](int c, const QString& text, bool editable) {
        QTableWidgetItem* item = table_->item(r, c);
        if (!item) {
            item = new QTableWidgetItem;
            table_->setItem(r, c, item);
        }
        item->setText(text);
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (editable) flags |= Qt::ItemIsEditable;
        item->setFlags(flags);
        return item;
    };
    cell(kIndex, QString::number(r), false);
    cell(kName, QString::fromStdString(e.name), true);
    cell(kStream, QString::fromStdString(e.source), false);
    cell(kPose, QString::fromStdString(poseText(e.pose)), true);
    QTableWidgetItem* shown = cell(kShown, QString(), false);
    shown->setFlags(shown->flags() | Qt::ItemIsUserCheckable);
    shown->setCheckState(e.visible ? Qt::Checked : Qt::Unchecked);
    for (int c : {kPackets, kFrames, kAge})
        if (!table_->item(r, c)) cell(c, "-", false);
    filling_ = wasFilling;
}

void SensorsPanel::refresh() {
    if (!live_ || !hooks_.liveStats) return;
    const std::vector<SensorStreams::Stats> stats = hooks_.liveStats();
    const std::int64_t now = steadyNowMs();
    const double seconds = lastMs_ > 0 ? double(now - lastMs_) / 1000.0 : 0.0;
    filling_ = true;
    bool added = false;
    for (std::size_t i = 0; i < stats.size(); ++i) {
        if (i >= book_.size()) {
            book_.use(i, sourceText(stats[i].source));
            table_->insertRow(int(i));
            fillRow(int(i));
            lead_->addItem(QString::fromStdString(book_.label(i)));
            added = true;
        }
        const SensorStreams::Stats* before = i < last_.size() ? &last_[i] : nullptr;
        auto rate = [&](std::uint64_t nowCount, std::uint64_t beforeCount) {
            return seconds > 0 && before ? QString::number(double(nowCount - beforeCount) / seconds, 'f', 0) : QString("-");
        };
        table_->item(int(i), kPackets)->setText(rate(stats[i].packets, before ? before->packets : 0));
        table_->item(int(i), kFrames)->setText(rate(stats[i].frames, before ? before->frames : 0));
        const std::int64_t age = now - stats[i].lastPacketMs;
        table_->item(int(i), kAge)->setText(age < 1000 ? tr("%1 ms ago").arg(age) : tr("%1 s ago").arg(age / 1000));
    }
    filling_ = false;
    last_ = stats;
    lastMs_ = now;
    if (added) {
        if (hooks_.merge) hooks_.merge(lead_->currentIndex() < 0 ? 0 : lead_->currentIndex(), book_.hiddenMask());
        if (hooks_.changed) hooks_.changed();
        if (table_->currentRow() < 0) table_->selectRow(0);
        selectionChanged();  // a second sensor: the dialogs follow the selected one from now on
        if (book_.size() > 1 && hooks_.refit) hooks_.refit();
        if (book_.size() > 1 && !shownOnce_) {
            shownOnce_ = true;
            dock_->show();
        }
    }
}

void SensorsPanel::rowEdited(int r, int c) {
    if (filling_ || r < 0 || std::size_t(r) >= book_.size()) return;
    const std::size_t i = std::size_t(r);
    QTableWidgetItem* item = table_->item(r, c);
    if (c == kName) {
        book_.setName(i, item->text().trimmed().toStdString());
        lead_->setItemText(r, QString::fromStdString(book_.label(i)));
    } else if (c == kPose) {
        Pose pose;
        std::string error;
        if (!parsePose(item->text().toStdString(), pose, error)) {
            if (hooks_.say) hooks_.say(tr("Pose of %1: %2").arg(QString::fromStdString(book_.label(i)),
                                                                 QString::fromStdString(error)));
            fillRow(r);  // back to the pose in use
            return;
        }
        book_.setPose(i, pose);
        if (hooks_.refit) hooks_.refit();
    } else if (c == kShown) {
        book_.setVisible(i, item->checkState() == Qt::Checked);
        if (hooks_.merge) hooks_.merge(lead_->currentIndex() < 0 ? 0 : lead_->currentIndex(), book_.hiddenMask());
    } else {
        return;
    }
    save();
    if (hooks_.changed) hooks_.changed();
}

void SensorsPanel::save() {
    std::string error;
    if (!writeSensorsFile(filePath_, book_.entries(), error) && hooks_.say) hooks_.say(QString::fromStdString(error));
}

int SensorsPanel::selected() const { return table_->currentRow(); }

void SensorsPanel::selectionChanged() {
    const int r = selected();
    if (!hooks_.follow) return;
    // With one sensor the dialogs take any sender's status, as they always did.
    hooks_.follow(r >= 0 && book_.size() > 1 ? addressOf(book_.at(std::size_t(r)).source) : 0u);
}

std::vector<std::string> SensorsPanel::names() const {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < book_.size(); ++i) out.push_back(book_.label(i));
    return out;
}

}  // namespace kv::window
