// A small IPv4 UDP socket over POSIX sockets: what the receivers, the configuration writer
// and the simulated sensor need, and nothing more.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kv {

class UdpSocket {
public:
    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;
    UdpSocket(UdpSocket&& o) noexcept;
    UdpSocket& operator=(UdpSocket&& o) noexcept;

    bool open();  // creates the socket; false when the system refuses
    void close();
    bool isOpen() const { return fd_ >= 0; }

    // Binds to any local address on `port` (the low 16 bits). No address reuse.
    bool bindAny(int port);
    // Binds to the local address `ipHostOrder` on `port` (0: any port).
    bool bindTo(std::uint32_t ipHostOrder, int port);
    // Joins `group` (dotted text) on the any interface. False when the text is not an
    // address or the group cannot be joined; the socket stays usable either way.
    bool joinMulticast(const std::string& group);
    bool setReceiveTimeoutMs(int ms);
    // Asks for a receive buffer of `bytes` (beyond the system cap where permitted);
    // returns the size the kernel granted.
    int setReceiveBufferBytes(int bytes);
    // Asks the kernel to report the datagrams it dropped on this socket for want of room.
    bool enableDropCounter();
    bool setMulticastLoopback(bool on);
    bool setMulticastTtl(int ttl);

    int localPort() const;

    // One received datagram: `length` is its true size, even when larger than the buffer.
    struct Datagram {
        std::size_t length = 0;
        bool truncated = false;   // longer than the buffer: its bytes are not whole
        std::uint32_t sourceIp = 0;  // host order
        std::uint16_t sourcePort = 0;
    };

    // Receives up to `count` datagrams into `buffers` (each `bufferBytes` long), waiting at
    // most the receive time-out for the first. Returns how many arrived, 0 on time-out (or an
    // interrupted wait), -1 when the receive call failed for another reason (its errno in
    // lastReceiveError()). A zero-length datagram is a datagram of length 0, not an end of stream.
    int receiveBatch(std::uint8_t* buffers, std::size_t bufferBytes, Datagram* out, int count);
    int lastReceiveError() const { return receiveErrno_; }

    // Datagrams the kernel dropped on this socket since it was opened (needs enableDropCounter).
    std::uint64_t kernelDrops() const { return drops_; }

    // Sends one datagram to `ip` (dotted text) : `port`. Returns bytes sent or -1.
    long sendTo(const std::string& ip, int port, const std::uint8_t* data, std::size_t len);
    long sendTo(std::uint32_t ipHostOrder, int port, const std::uint8_t* data, std::size_t len);
    // Sends several datagrams of the same destination in one call; returns how many went.
    int sendBatch(std::uint32_t ipHostOrder, int port, const std::uint8_t* const* data,
                  const std::size_t* lens, int count);

    int fd() const { return fd_; }

private:
    int fd_ = -1;
    std::uint64_t drops_ = 0;
    std::uint32_t lastDropCounter_ = 0;
    bool dropCounterSeen_ = false;
    int receiveErrno_ = 0;
    std::vector<std::uint8_t> control_;
};

// Dotted text to a host-order address; false when it is not four decimal numbers 0-255.
bool parseIpv4(const std::string& text, std::uint32_t& hostOrder);
std::string formatIpv4(std::uint32_t hostOrder);

}  // namespace kv
