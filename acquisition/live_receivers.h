// The two receivers "Lidar" starts: the data port's (GetMuch) and the equipment port's
// (GetSet). Each press stops both and starts them again with the fields as they stand.
#pragma once

#include <string>

class GetMuch;
class GetSet;

namespace kv {

class LiveReceivers {
public:
    LiveReceivers(GetMuch* data, GetSet* status) : data_(data), status_(status) {}

    // Raises both stop flags (a file being opened takes over); the threads end on their own.
    void requestStop();
    // Stops both and waits: both flags go up before either wait, so the two receive time-outs
    // run side by side.
    void stop();
    // Starts both on these ports and multicast group.
    void start(const std::string& multicastGroup, int dataPort, int equipPort);

private:
    GetMuch* data_;
    GetSet* status_;
};

}  // namespace kv
