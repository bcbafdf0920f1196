// Finds a receiver's socket among this process's descriptors, so that a test can break it
// under the receiver (put a non-socket in its place) without a hook in the receiver.
#pragma once

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdlib>

namespace kvtest {

// The descriptor of the UDP socket bound to local `port`, or -1.
inline int udpSocketFdBoundTo(int port) {
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr) return -1;
    int found = -1;
    while (dirent* e = ::readdir(dir)) {
        const int fd = std::atoi(e->d_name);
        if (fd <= 2 || fd == ::dirfd(dir)) continue;
        int type = 0;
        socklen_t typeLen = sizeof type;
        sockaddr_in a{};
        socklen_t len = sizeof a;
        if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeLen) != 0 || type != SOCK_DGRAM) continue;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0 || a.sin_family != AF_INET) continue;
        if (ntohs(a.sin_port) == port) {
            found = fd;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

}  // namespace kvtest
