#include "udp_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace kv {

namespace {
constexpr int kMaxBatch = 64;
constexpr std::size_t kControlPerMessage = CMSG_SPACE(sizeof(std::uint32_t));
}  // namespace

UdpSocket::~UdpSocket() { close(); }

UdpSocket::UdpSocket(UdpSocket&& o) noexcept { *this = std::move(o); }

UdpSocket& UdpSocket::operator=(UdpSocket&& o) noexcept {
    if (this != &o) {
        close();
        fd_ = o.fd_;
        drops_ = o.drops_;
        lastDropCounter_ = o.lastDropCounter_;
        dropCounterSeen_ = o.dropCounterSeen_;
        control_ = std::move(o.control_);  // the drop counter's receive buffer goes with the socket
        o.control_.clear();
        o.fd_ = -1;
    }
    return *this;
}

bool UdpSocket::open() {
    close();
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    drops_ = 0;
    lastDropCounter_ = 0;
    dropCounterSeen_ = false;
    return fd_ >= 0;
}

void UdpSocket::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool UdpSocket::bindAny(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = htons(std::uint16_t(port));
    return ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
}

bool UdpSocket::bindTo(std::uint32_t ipHostOrder, int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(ipHostOrder);
    a.sin_port = htons(std::uint16_t(port));
    return ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
}

bool UdpSocket::joinMulticast(const std::string& group) {
    ip_mreq req{};
    if (::inet_pton(AF_INET, group.c_str(), &req.imr_multiaddr) != 1) return false;
    req.imr_interface.s_addr = htonl(INADDR_ANY);
    return ::setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &req, sizeof req) == 0;
}

bool UdpSocket::setReceiveTimeoutMs(int ms) {
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    return ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0;
}

int UdpSocket::setReceiveBufferBytes(int bytes) {
    // SO_RCVBUFFORCE passes the system cap when the process may administer the network.
    if (::setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    int granted = 0;
    socklen_t len = sizeof granted;
    ::getsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &granted, &len);
    return granted;
}

bool UdpSocket::enableDropCounter() {
    int on = 1;
    if (::setsockopt(fd_, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on) != 0) return false;
    control_.assign(kControlPerMessage * kMaxBatch, 0);
    return true;
}

bool UdpSocket::setMulticastLoopback(bool on) {
    unsigned char v = on ? 1 : 0;
    return ::setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_LOOP, &v, sizeof v) == 0;
}

bool UdpSocket::setMulticastTtl(int ttl) {
    unsigned char v = std::uint8_t(ttl);
    return ::setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_TTL, &v, sizeof v) == 0;
}

int UdpSocket::localPort() const {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) return -1;
    return ntohs(a.sin_port);
}

int UdpSocket::receiveBatch(std::uint8_t* buffers, std::size_t bufferBytes, Datagram* out, int count) {
    if (count <= 0) return 0;
    if (fd_ < 0) {
        receiveErrno_ = EBADF;
        return -1;
    }
    if (count > kMaxBatch) count = kMaxBatch;
    mmsghdr msgs[kMaxBatch];
    iovec iov[kMaxBatch];
    sockaddr_in from[kMaxBatch];
    const bool wantControl = !control_.empty();
    for (int i = 0; i < count; ++i) {
        iov[i].iov_base = buffers + std::size_t(i) * bufferBytes;
        iov[i].iov_len = bufferBytes;
        std::memset(&msgs[i], 0, sizeof msgs[i]);
        msgs[i].msg_hdr.msg_iov = &iov[i];
        msgs[i].msg_hdr.msg_iovlen = 1;
        msgs[i].msg_hdr.msg_name = &from[i];
        msgs[i].msg_hdr.msg_namelen = sizeof from[i];
        if (wantControl) {
            msgs[i].msg_hdr.msg_control = control_.data() + std::size_t(i) * kControlPerMessage;
            msgs[i].msg_hdr.msg_controllen = kControlPerMessage;
        }
    }
    // MSG_TRUNC makes the kernel report a datagram's real length, so an oversize one is seen
    // as such instead of arriving cut to the buffer.
    const int n = ::recvmmsg(fd_, msgs, unsigned(count), MSG_WAITFORONE | MSG_TRUNC, nullptr);
    if (n < 0) {
        const int e = errno;
        if (e == EAGAIN || e == EWOULDBLOCK || e == EINTR) return 0;  // the time-out
        receiveErrno_ = e;
        return -1;
    }
    if (n == 0) return 0;
    for (int i = 0; i < n; ++i) {
        out[i].length = msgs[i].msg_len;
        out[i].truncated = (msgs[i].msg_hdr.msg_flags & MSG_TRUNC) != 0 || msgs[i].msg_len > bufferBytes;
        out[i].sourceIp = ntohl(from[i].sin_addr.s_addr);
        out[i].sourcePort = ntohs(from[i].sin_port);
        if (!wantControl) continue;
        for (cmsghdr* c = CMSG_FIRSTHDR(&msgs[i].msg_hdr); c; c = CMSG_NXTHDR(&msgs[i].msg_hdr, c)) {
            if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SO_RXQ_OVFL) continue;
            std::uint32_t counter;
            std::memcpy(&counter, CMSG_DATA(c), sizeof counter);
            // The kernel's counter is cumulative for the socket; unsigned wrap-around is fine.
            drops_ += std::uint32_t(counter - lastDropCounter_);
            lastDropCounter_ = counter;
            dropCounterSeen_ = true;
        }
    }
    return n;
}

long UdpSocket::sendTo(std::uint32_t ipHostOrder, int port, const std::uint8_t* data, std::size_t len) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(ipHostOrder);
    a.sin_port = htons(std::uint16_t(port));
    return long(::sendto(fd_, data, len, 0, reinterpret_cast<sockaddr*>(&a), sizeof a));
}

long UdpSocket::sendTo(const std::string& ip, int port, const std::uint8_t* data, std::size_t len) {
    std::uint32_t addr = 0;
    if (!parseIpv4(ip, addr)) return -1;
    return sendTo(addr, port, data, len);
}

int UdpSocket::sendBatch(std::uint32_t ipHostOrder, int port, const std::uint8_t* const* data,
                         const std::size_t* lens, int count) {
    if (count > kMaxBatch) count = kMaxBatch;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(ipHostOrder);
    a.sin_port = htons(std::uint16_t(port));
    mmsghdr msgs[kMaxBatch];
    iovec iov[kMaxBatch];
    for (int i = 0; i < count; ++i) {
        iov[i].iov_base = const_cast<std::uint8_t*>(data[i]);
        iov[i].iov_len = lens[i];
        std::memset(&msgs[i], 0, sizeof msgs[i]);
        msgs[i].msg_hdr.msg_iov = &iov[i];
        msgs[i].msg_hdr.msg_iovlen = 1;
        msgs[i].msg_hdr.msg_name = &a;
        msgs[i].msg_hdr.msg_namelen = sizeof a;
    }
    int sent = 0;
    while (sent < count) {
        const int n = ::sendmmsg(fd_, msgs + sent, unsigned(count - sent), 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        sent += n;
    }
    return sent;
}

bool parseIpv4(const std::string& text, std::uint32_t& hostOrder) {
    in_addr a{};
    if (::inet_pton(AF_INET, text.c_str(), &a) != 1) return false;
    hostOrder = ntohl(a.s_addr);
    return true;
}

std::string formatIpv4(std::uint32_t h) {
    return std::to_string(h >> 24) + "." + std::to_string((h >> 16) & 0xFF) + "." +
           std::to_string((h >> 8) & 0xFF) + "." + std::to_string(h & 0xFF);
}

}  // namespace kv
