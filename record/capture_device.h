// Which network adapter a capture recording listens on.
//
// The choice is a pure function over the adapter list so that it can be tested with any list;
// listCaptureDevices() supplies the real one from libpcap.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kv {

struct CaptureDeviceInfo {
    std::string name;
    std::string description;  // empty when libpcap has none (the usual case for Linux adapters)
    bool loopback = false;
    bool up = false;
    bool running = false;
    // libpcap says link status does not apply (set for its pseudo-devices and loopback).
    bool linkStatusNotApplicable = false;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ipv4;  // address, netmask (host order)
};

// Picks the adapter to record from.
//
// With live data (`dataSourceIp` is the sender of the data packets, host order), the adapter
// whose network holds that address: the most specific network when several do, so a sensor on
// this machine (127.x.x.x) is recorded from the loopback adapter.
//
// Without live data, or when no adapter's network holds the sender, the first adapter that is
// up and is not a pseudo-device (loopback, "any", and the non-network capture sources such as
// Bluetooth monitors, netfilter queues, D-Bus and USB monitors); among those, the first whose
// description begins with R, I, B or A, else the first.
//
// Returns the adapter's name, or an empty string when none fits.
std::string chooseCaptureDevice(const std::vector<CaptureDeviceInfo>& devices, std::uint32_t dataSourceIp);

// Whether the adapter is one that a sensor's traffic cannot arrive on by itself.
bool isPseudoCaptureDevice(const CaptureDeviceInfo& device);

// The adapters libpcap can capture on, in its order. On failure returns an empty list and, when
// `error` is given, libpcap's message.
std::vector<CaptureDeviceInfo> listCaptureDevices(std::string* error);

}  // namespace kv
