// The "Sensors" dock: each sensor seen on the data port (or each stream of a capture replayed
// with all its streams), its stream, packet and frame rates, the age of its last packet, and
// its name, pose and visibility, which apply at once and are kept in sensors.ini; the leading
// sensor; and the sensor the configuration dialogs act on (the selected row). The dock shows
// itself when a second sensor appears.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sensor_book.h"
#include "sensor_streams.h"

class QComboBox;
class QDockWidget;
class QMainWindow;
class QTableWidget;
class QTimer;

namespace kv::window {

struct SensorsHooks {
    // The live receiver's sensors, in the order it numbers them (empty while it does not run).
    std::function<std::vector<SensorStreams::Stats>()> liveStats;
    // Poses, names or visibility changed: the frame on screen is drawn again.
    std::function<void()> changed;
    // The leading sensor and the hidden ones, for the receiver (or the replay).
    std::function<void(int lead, std::uint64_t hidden)> merge;
    // The sensor the dialogs act on (host-order address; 0: any).
    std::function<void(std::uint32_t ip)> follow;
    // A message for the status bar.
    std::function<void(const QString&)> say;
    // A sensor joined (a stream of its own), or a pose moved a sensor's points: the view fits
    // the points again, as it fits a stream's first frame.
    std::function<void()> refit;
};

class SensorsPanel : public QObject {
    Q_OBJECT
public:
    SensorsPanel(QMainWindow* window, SensorsHooks hooks, std::string filePath = sensorsFilePath());
    ~SensorsPanel() override;

    QDockWidget* dock() const { return dock_; }
    QTableWidget* table() const { return table_; }
    QComboBox* leadChoice() const { return lead_; }
    const SensorBook& book() const { return book_; }

    // Sensors from the live receiver from now on (a new run: the list starts over).
    void followLive();
    // The streams of a capture replayed together, by sensor index ("ADDR:PORT>PORT").
    void useStreams(const std::vector<std::string>& streams, std::size_t lead);
    // Reads the receiver's sensors and rates (called a few times a second by the panel's timer).
    void refresh();
    // The row the dialogs follow (-1: none).
    int selected() const;
    SensorPoses poses() const { return book_.poses(); }
    // The names of the sensors in use, for the CSV's Sensor column.
    std::vector<std::string> names() const;

private:
    void rowEdited(int row, int column);
    void save();
    void selectionChanged();
    void fillRow(int row);

    QMainWindow* window_;
    SensorsHooks hooks_;
    std::string filePath_;
    SensorBook book_;
    QDockWidget* dock_ = nullptr;
    QTableWidget* table_ = nullptr;
    QComboBox* lead_ = nullptr;
    QTimer* timer_ = nullptr;
    bool live_ = true;
    bool filling_ = false;  // the panel writes cells: no edit to apply
    bool shownOnce_ = false;
    std::vector<SensorStreams::Stats> last_;
    std::int64_t lastMs_ = 0;
};

}  // namespace kv::window
