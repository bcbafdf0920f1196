// Which adapter a capture recording listens on.
#include <gtest/gtest.h>

#include <algorithm>

#include "capture_device.h"

using kv::CaptureDeviceInfo;

namespace {

constexpr std::uint32_t ip(unsigned a, unsigned b, unsigned c, unsigned d) { return (a << 24) | (b << 16) | (c << 8) | d; }
constexpr std::uint32_t kMask8 = ip(255, 0, 0, 0), kMask16 = ip(255, 255, 0, 0), kMask24 = ip(255, 255, 255, 0);

enum Flags : unsigned { kUp = 1, kLoop = 2, kNa = 4 };  // kNa: libpcap says link status does not apply

CaptureDeviceInfo dev(const char* name, const char* description, unsigned flags,
                      std::vector<std::pair<std::uint32_t, std::uint32_t>> ipv4 = {}) {
    return {name, description, (flags & kLoop) != 0, (flags & kUp) != 0, (flags & kUp) != 0,
            (flags & (kNa | kLoop)) != 0, std::move(ipv4)};
}

// pcap_findalldevs in a Linux container: the adapters have no description, the pseudo-devices do.
const std::vector<CaptureDeviceInfo> kContainer = {
    dev("eth0", "", kUp, {{ip(192, 0, 2, 2), kMask24}}),
    dev("any", "Pseudo-device that captures on all interfaces", kUp | kNa),
    dev("lo", "", kUp | kLoop, {{ip(127, 0, 0, 1), kMask8}}),
    dev("ifb0", "", kNa), dev("ifb1", "", kNa),
    dev("bluetooth-monitor", "Bluetooth Linux Monitor", kNa),
    dev("nflog", "Linux netfilter log (NFLOG) interface", kNa),
    dev("nfqueue", "Linux netfilter queue (NFQUEUE) interface", kNa),
    dev("dbus-system", "D-Bus system bus", kNa), dev("dbus-session", "D-Bus session bus", kNa)};
const std::vector<CaptureDeviceInfo> kContainerWithoutEth0(kContainer.begin() + 1, kContainer.end());

// A laptop where every capture source is up, pseudo-devices with R/I/B/A descriptions first.
const std::vector<CaptureDeviceInfo> kLaptop = {
    dev("any", "Pseudo-device that captures on all interfaces", kUp | kNa),
    dev("bluetooth0", "Bluetooth adapter number 0", kUp | kNa), dev("usbmon1", "Raw USB traffic, bus number 1", kUp | kNa),
    dev("ifb0", "", kUp), dev("lo", "", kUp | kLoop, {{ip(127, 0, 0, 1), kMask8}}),
    dev("wlan0", "", kUp, {{ip(10, 0, 0, 7), kMask16}}), dev("eth0", "", kUp, {{ip(192, 168, 1, 100), kMask24}})};

const std::vector<CaptureDeviceInfo> kNested = {dev("eth0", "", kUp, {{ip(10, 0, 0, 5), kMask8}}),
                                                dev("eth1", "", kUp, {{ip(10, 1, 0, 5), kMask16}})};

}  // namespace

TEST(CaptureDevice, Choice) {
    struct Case {
        const char* name;
        std::vector<CaptureDeviceInfo> devices;
        std::uint32_t source;
        const char* expected;
    } cases[] = {
        {"descriptions M then R: the second",
         {dev("\\Device\\NPF_{1}", "Microsoft Wi-Fi Direct Virtual Adapter", kUp),
          dev("\\Device\\NPF_{2}", "Realtek PCIe GbE Family Controller", kUp)}, 0, "\\Device\\NPF_{2}"},
        {"no description with R, I, B or A: the first",
         {dev("eth0", "", kUp), dev("eth1", "Marvell Yukon", kUp), dev("eth2", "realtek, lower case", kUp)}, 0, "eth0"},
        {"no description does not match the letter rule", {dev("eth0", "", kUp), dev("eth1", "Intel I210", kUp)}, 0, "eth1"},
        {"adapters that are down are passed over",
         {dev("eth0", "Intel I210", 0, {{ip(192, 168, 1, 2), kMask24}}), dev("eth1", "", kUp)}, 0, "eth1"},
        {"container without data: eth0, not the Bluetooth monitor", kContainer, 0, "eth0"},
        {"container, sensor on this machine: lo", kContainer, ip(127, 0, 0, 2), "lo"},
        {"container, sensor on eth0's network", kContainer, ip(192, 0, 2, 200), "eth0"},
        {"container, routed sensor: the first adapter", kContainer, ip(10, 1, 2, 3), "eth0"},
        {"only pseudo-devices and no data: nothing", kContainerWithoutEth0, 0, ""},
        {"only pseudo-devices, sensor on this machine: lo", kContainerWithoutEth0, ip(127, 0, 0, 1), "lo"},
        {"laptop without data: the first real adapter", kLaptop, 0, "wlan0"},
        {"laptop, sensor on the wired network", kLaptop, ip(192, 168, 1, 200), "eth0"},
        {"most specific network wins", kNested, ip(10, 1, 2, 3), "eth1"},
        {"less specific network holds the rest", kNested, ip(10, 2, 0, 1), "eth0"},
        {"second address of an adapter",
         {dev("eth0", "", kUp, {{ip(192, 168, 0, 2), kMask24}}),
          dev("eth1", "", kUp, {{ip(172, 16, 0, 1), kMask16}, {ip(192, 168, 1, 2), kMask24}})}, ip(192, 168, 1, 9), "eth1"},
        {"a tunnel with an address is an adapter", {dev("tun0", "", kUp | kNa, {{ip(10, 8, 0, 2), kMask24}})}, 0, "tun0"},
        {"empty list", {}, ip(127, 0, 0, 1), ""},
    };
    for (const Case& c : cases) EXPECT_EQ(kv::chooseCaptureDevice(c.devices, c.source), c.expected) << c.name;
}

// libpcap's list of this machine, flags and addresses translated: the loopback adapter is always there.
TEST(CaptureDevice, ListFromLibpcapHasTheLoopbackAdapter) {
    std::string error = "unchanged";
    const std::vector<CaptureDeviceInfo> devices = kv::listCaptureDevices(&error);
    EXPECT_EQ(error, "");
    const auto lo = std::find_if(devices.begin(), devices.end(), [](const auto& d) { return d.loopback; });
    ASSERT_NE(lo, devices.end());
    EXPECT_TRUE(lo->up);
    EXPECT_NE(std::find(lo->ipv4.begin(), lo->ipv4.end(), std::make_pair(ip(127, 0, 0, 1), kMask8)), lo->ipv4.end());
    EXPECT_EQ(kv::chooseCaptureDevice(devices, ip(127, 0, 0, 1)), lo->name);
    EXPECT_NE(kv::chooseCaptureDevice(devices, 0), lo->name);
}
