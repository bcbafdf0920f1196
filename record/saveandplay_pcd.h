// The PCD replay thread: holds the clouds of a directory, in file-name order, and hands them
// to the window one by one, paced, forwards or backwards, with pause, single steps and seek.
// It also writes the recording's PCD buffer.
#pragma once

#include <QMetaType>
#include <QString>
#include <QThread>
#include <atomic>
#include <string>
#include <type_traits>
#include <vector>

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include "pcd_io.h"
#include "replay_control.h"
#include "replay_gate.h"

// The signal and the window's slot name the cloud pointer as the point library does; it is the
// same type as kv::pcd::CloudPtr.
static_assert(std::is_same_v<kv::pcd::CloudPtr, pcl::PointCloud<pcl::PointXYZRGB>::Ptr>);
Q_DECLARE_METATYPE(kv::pcd::CloudPtr)

class SaveAndPlay_PCD : public QThread {
    Q_OBJECT
public:
    explicit SaveAndPlay_PCD(QObject* parent = nullptr);
    ~SaveAndPlay_PCD() override;

    // Registers the cloud pointer under "pcl::PointCloud<pcl::PointXYZRGB>::Ptr".
    static void registerMetaTypes();

    // Reads one file and appends its cloud; false (and a "Couldn't read file: " line in the
    // debug log) when it is skipped. Only while the thread is not running.
    bool loadPcdFile(const std::string& path);
    // Reads `paths` on every core and appends the clouds in list order. `onFile(i)` runs on the
    // calling thread before the log line of file i (the progress dialog's step).
    std::size_t loadPcdFiles(const std::vector<std::string>& paths, const std::function<void(std::size_t)>& onFile);
    void clearClouds();
    std::size_t cloudCount() const { return clouds_.size(); }
    const std::vector<kv::pcd::CloudPtr>& clouds() const { return clouds_; }
    // The number (from 1, in list order) of a cloud this thread handed over; 0 for another.
    int numberOf(const kv::pcd::CloudPtr& cloud) const;


    // The recording's frame: filled by the window, written by savePcdFrame.
    kv::pcd::Cloud& pcdBuffer() { return *buffer_; }
    // Writes the buffer (ASCII, eight significant digits) if it holds points, then empties it.
    kv::pcd::WriteResult savePcdFrame(const std::string& path);

    // The thread's orders, pause gate (the protocol of the capture replay's), stop flag and
    // pending seek (a cloud index).
    kv::ReplayChannel channel;
    // Ends the thread: raises the stop flag, opens the gate and waits.
    void stopAndWait();
    // Carries out a replay control's orders for this thread (kv::applyOrders); a seek to cloud
    // number k goes to index k - 1, and a start begins a new run.
    void applyOrders(const kv::ReplayEffects& e);

signals:
    void SendPointCloudData(pcl::PointCloud<pcl::PointXYZRGB>::Ptr mPointCloud);
    void sendFinish(bool isFinish);

protected:
    void run() override;

private:
    std::vector<kv::pcd::CloudPtr> clouds_;
    kv::pcd::CloudPtr buffer_;
};
