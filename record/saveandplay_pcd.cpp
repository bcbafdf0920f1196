#include "saveandplay_pcd.h"

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include <QDebug>
#include <algorithm>
#include <chrono>
#include <thread>

#include "playback.h"

namespace {
void logLoad(const std::string& path, const kv::pcd::LoadResult& r) {
    if (!r.ok) {
        qDebug() << "Couldn't read file: " << QString::fromStdString(path) << "(" << QString::fromStdString(r.error)
                 << ")";
        return;
    }
    qDebug() << "Loaded PCD File: " << r.cloud->width * r.cloud->height;
}
}  // namespace

SaveAndPlay_PCD::SaveAndPlay_PCD(QObject* parent) : QThread(parent), buffer_(std::make_shared<kv::pcd::Cloud>()) {
    registerMetaTypes();
}

SaveAndPlay_PCD::~SaveAndPlay_PCD() { stopAndWait(); }

void SaveAndPlay_PCD::registerMetaTypes() {
    qRegisterMetaType<kv::pcd::CloudPtr>();
    qRegisterMetaType<kv::pcd::CloudPtr>("pcl::PointCloud<pcl::PointXYZRGB>::Ptr");
}

bool SaveAndPlay_PCD::loadPcdFile(const std::string& path) {
    kv::pcd::LoadResult r = kv::pcd::loadCloud(path);
    logLoad(path, r);
    if (r.ok) clouds_.push_back(std::move(r.cloud));
    return r.ok;
}

std::size_t SaveAndPlay_PCD::loadPcdFiles(const std::vector<std::string>& paths,
                                          const std::function<void(std::size_t)>& onFile) {
    std::size_t loaded = 0;
    kv::pcd::loadClouds(paths, 0, [&](std::size_t i, kv::pcd::LoadResult&& r) {
        if (onFile) onFile(i);
        logLoad(paths[i], r);
        if (r.ok) {
            clouds_.push_back(std::move(r.cloud));
            ++loaded;
        }
    });
    return loaded;
}

void SaveAndPlay_PCD::clearClouds() { clouds_.clear(); }

int SaveAndPlay_PCD::numberOf(const kv::pcd::CloudPtr& cloud) const {
    const auto it = std::find(clouds_.begin(), clouds_.end(), cloud);
    return it == clouds_.end() ? 0 : int(it - clouds_.begin()) + 1;
}

kv::pcd::WriteResult SaveAndPlay_PCD::savePcdFrame(const std::string& path) {
    kv::pcd::WriteResult r = kv::pcd::writeCloud(*buffer_, path, kv::pcd::Encoding::Ascii, 8);
    buffer_->clear();
    return r;
}

void SaveAndPlay_PCD::stopAndWait() {
    if (!isRunning()) return;
    channel.stopRequested = true;
    do channel.gate.open();
    while (!wait(20));
}

void SaveAndPlay_PCD::run() {
    kv::ReplayGate& gate = channel.gate;
    kv::ReplayOrders& orders = channel.orders;
    std::atomic<bool>& stopRequested = channel.stopRequested;
    std::atomic<bool>& seekPending = channel.seekPending;
    gate.threadStarted();
    const std::vector<kv::pcd::CloudPtr> clouds = clouds_;  // shared pointers: the clouds stay
    const std::uint32_t count = std::uint32_t(clouds.size());
    // The index runs as a 32-bit value compared without sign: stepping back past the first
    // cloud ends the walk.
    std::int32_t a = 0;
    while (std::uint32_t(a) < count) {
        if (seekPending.exchange(false)) {
            // The slider runs to F, one past the last index, and F counts names rather than
            // loaded clouds: a target past the list is its last cloud.
            const int target = channel.seekTarget;
            a = target < 0 ? 0 : (std::uint32_t(target) >= count ? std::int32_t(count - 1) : target);
        }
        if (stopRequested) break;
        gate.pass();
        // A seek or a stop asked for while the thread waited applies before this cloud.
        if (seekPending || stopRequested) {
            gate.release();
            continue;
        }
        emit SendPointCloudData(clouds[std::size_t(a)]);
        std::this_thread::sleep_for(std::chrono::milliseconds(kv::pacingMs(orders.replaySpeed)));
        if (orders.replayPauseAfterFrame == 1) {
            gate.waitForWindow();
            if (seekPending || stopRequested) {  // the step that ended the wait was a seek or a stop
                gate.release();
                continue;
            }
        }
        if ((a == 0 && orders.replayStep == -1) || std::uint32_t(a) == count - 1) {
            orders.replayStep = 1;
            break;
        }
        gate.release();
        a += orders.replayStep;
    }
    stopRequested = false;
    gate.threadEnded();  // open, whoever held it
    emit sendFinish(true);
}

void SaveAndPlay_PCD::applyOrders(const kv::ReplayEffects& e) {
    kv::ReplayEffects cloud = e;
    cloud.seekTo = e.seekTo >= 1 ? e.seekTo - 1 : -1;  // cloud number k is index k - 1
    kv::applyOrders(cloud, channel, [this] {
        wait();  // a finished run returns at once after its end report
        channel.stopRequested = false;
        start();
    });
}
