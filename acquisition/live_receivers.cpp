#include "live_receivers.h"

#include <QDebug>

#include "getmuch.h"
#include "getset.h"

namespace kv {

void LiveReceivers::requestStop() {
    if (data_->isRunning()) data_->stopRequested = true;
    if (status_->isRunning()) status_->stopRequested = true;
}

void LiveReceivers::stop() {
    const bool dataRunning = data_->isRunning(), statusRunning = status_->isRunning();
    requestStop();
    if (dataRunning)
        while (!data_->wait(20)) qDebug() << "ZoRoviv wait....";
    if (statusRunning)
        while (!status_->wait(20)) qDebug() << "LidarSet wait....";
}

void LiveReceivers::start(const std::string& multicastGroup, int dataPort, int equipPort) {
    data_->multicastAddress = multicastGroup;
    status_->multicastAddress = multicastGroup;
    data_->dataPort = dataPort;
    status_->equipPort = equipPort;
    // A flag raised for a thread that had already ended would stop the new run at once.
    data_->stopRequested = false;
    status_->stopRequested = false;
    data_->start();
    status_->start();
}

}  // namespace kv
