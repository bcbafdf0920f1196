#include "capture_device.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pcap/pcap.h>
#include <sys/socket.h>

#include <cstring>

namespace kv {

namespace {

// libpcap's capture sources that are not network adapters, by name ("any" exactly, the
// others as prefixes: bluetooth0, bluetooth-monitor, usbmon1, dbus-system, ifb0, ...).
// ifb devices only mirror traffic redirected to them by traffic control.
constexpr const char* kPseudoPrefixes[] = {"bluetooth", "nflog", "nfqueue", "dbus", "usbmon", "ifb"};

bool startsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

bool takesLetterRule(const CaptureDeviceInfo& d) {
    if (d.description.empty()) return false;
    const char c = d.description[0];
    return c == 'R' || c == 'I' || c == 'B' || c == 'A';
}

int prefixLength(std::uint32_t mask) {
    int n = 0;
    while (n < 32 && (mask & (0x80000000u >> n))) ++n;
    return n;
}

// The adapter whose network holds `ip`, the most specific first; nullptr when none.
const CaptureDeviceInfo* adapterHolding(const std::vector<CaptureDeviceInfo>& devices, std::uint32_t ip) {
    const CaptureDeviceInfo* best = nullptr;
    int bestPrefix = -1;
    for (const CaptureDeviceInfo& d : devices) {
        for (const auto& [address, mask] : d.ipv4) {
            if ((address & mask) != (ip & mask)) continue;
            const int prefix = prefixLength(mask);
            if (prefix > bestPrefix) {
                best = &d;
                bestPrefix = prefix;
            }
        }
    }
    return best;
}

std::uint32_t ipv4Of(const sockaddr* a) {
    return ntohl(reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr);
}

}  // namespace

bool isPseudoCaptureDevice(const CaptureDeviceInfo& d) {
    if (d.loopback || d.name == "any") return true;
    for (const char* prefix : kPseudoPrefixes)
        if (startsWith(d.name, prefix)) return true;
    // libpcap marks its other non-network sources this way; an adapter with an address is
    // kept even so (a tunnel may report no link status).
    return d.linkStatusNotApplicable && d.ipv4.empty();
}

std::string chooseCaptureDevice(const std::vector<CaptureDeviceInfo>& devices, std::uint32_t dataSourceIp) {
    if (dataSourceIp != 0) {
        if (const CaptureDeviceInfo* d = adapterHolding(devices, dataSourceIp)) return d->name;
    }
    const CaptureDeviceInfo* first = nullptr;
    for (const CaptureDeviceInfo& d : devices) {
        if (!d.up || isPseudoCaptureDevice(d)) continue;
        if (takesLetterRule(d)) return d.name;
        if (first == nullptr) first = &d;
    }
    return first ? first->name : std::string();
}

std::vector<CaptureDeviceInfo> listCaptureDevices(std::string* error) {
    std::vector<CaptureDeviceInfo> out;
    char err[PCAP_ERRBUF_SIZE] = {};
    pcap_if_t* all = nullptr;
    if (pcap_findalldevs(&all, err) != 0) {
        if (error) *error = err;
        return out;
    }
    for (const pcap_if_t* p = all; p != nullptr; p = p->next) {
        CaptureDeviceInfo d;
        d.name = p->name ? p->name : "";
        d.description = p->description ? p->description : "";
        d.loopback = (p->flags & PCAP_IF_LOOPBACK) != 0;
        d.up = (p->flags & PCAP_IF_UP) != 0;
        d.running = (p->flags & PCAP_IF_RUNNING) != 0;
        d.linkStatusNotApplicable =
            (p->flags & PCAP_IF_CONNECTION_STATUS) == PCAP_IF_CONNECTION_STATUS_NOT_APPLICABLE;
        for (const pcap_addr_t* a = p->addresses; a != nullptr; a = a->next) {
            if (a->addr == nullptr || a->addr->sa_family != AF_INET) continue;
            // Without a netmask only the address itself is known to be on this adapter.
            const std::uint32_t mask =
                (a->netmask && (a->netmask->sa_family == AF_INET || a->netmask->sa_family == 0)) ? ipv4Of(a->netmask) : 0xFFFFFFFFu;
            d.ipv4.emplace_back(ipv4Of(a->addr), mask);
        }
        out.push_back(std::move(d));
    }
    pcap_freealldevs(all);
    if (error) error->clear();
    return out;
}

}  // namespace kv
