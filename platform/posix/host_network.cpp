#include "platform/host_network.hpp"

#include <arpa/inet.h>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace zs::platform {

namespace {

constexpr int connect_bound_ms = 2000;

class socket_owner {
public:
    explicit socket_owner(int fd) : fd_(fd) {}
    ~socket_owner() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    socket_owner(const socket_owner&) = delete;
    socket_owner& operator=(const socket_owner&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// A non-blocking connect that waits at most connect_bound_ms.
bool connects(int family, const sockaddr* address, socklen_t length) {
    socket_owner s(::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (s.get() < 0) {
        return false;
    }
    if (::connect(s.get(), address, length) == 0) {
        return true;
    }
    if (errno != EINPROGRESS && errno != EAGAIN) {
        return false;
    }
    pollfd p{s.get(), POLLOUT, 0};
    if (::poll(&p, 1, connect_bound_ms) != 1) {
        return false;
    }
    int error = 0;
    socklen_t size = sizeof error;
    return ::getsockopt(s.get(), SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

bool local_display_reachable(const std::string& number) {
    const std::string path = "/tmp/.X11-unix/X" + number;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // The abstract name first, as the X libraries try it, then the file.
    address.sun_path[0] = '\0';
    std::memcpy(address.sun_path + 1, path.data(), path.size());
    const auto abstract_length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
    if (connects(AF_UNIX, reinterpret_cast<const sockaddr*>(&address), abstract_length)) {
        return true;
    }
    std::memset(address.sun_path, 0, sizeof address.sun_path);
    std::memcpy(address.sun_path, path.data(), path.size());
    return connects(AF_UNIX, reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

bool remote_display_reachable(const std::string& host, int number) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(6000 + number);
    if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0) {
        return false;
    }
    bool ok = false;
    for (const addrinfo* a = found; a != nullptr && !ok; a = a->ai_next) {
        ok = connects(a->ai_family, a->ai_addr, a->ai_addrlen);
    }
    ::freeaddrinfo(found);
    return ok;
}

} // namespace

std::vector<std::string> interface_ipv4_addresses() {
    std::vector<std::string> out;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return out;
    }
    for (const ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
        if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET ||
            (i->ifa_flags & IFF_UP) == 0 || (i->ifa_flags & IFF_LOOPBACK) != 0) {
            continue;
        }
        char text[INET_ADDRSTRLEN] = {};
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(i->ifa_addr);
        if (::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text) != nullptr) {
            out.emplace_back(text);
        }
    }
    ::freeifaddrs(list);
    return out;
}

bool x_display_reachable(const std::string& display) {
    const auto colon = display.rfind(':');
    if (colon == std::string::npos || colon + 1 >= display.size()) {
        return false;
    }
    const std::string host = display.substr(0, colon);
    std::string number = display.substr(colon + 1);
    number = number.substr(0, number.find('.'));
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos ||
        number.size() > 5) {
        return false;
    }
    // "unix:0" and "host/unix:0" name the local socket.
    if (host.empty() || host == "unix" || host.ends_with("/unix")) {
        return local_display_reachable(number);
    }
    return remote_display_reachable(host, std::stoi(number));
}

} // namespace zs::platform
