// A server out of file descriptors cannot accept for a while; once
// descriptors are free again it must accept and serve new clients.
#include "tests/support/staged_server.hpp"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

int connect_to(std::uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Sends protocol number 7 and waits (bounded) for the 8-byte refusal.
bool refused_in_time(std::uint16_t port, std::chrono::milliseconds limit) {
    int fd = connect_to(port);
    if (fd < 0) {
        return false;
    }
    const std::int32_t seven = 7;
    bool ok = ::send(fd, &seven, 4, MSG_NOSIGNAL) == 4;
    unsigned char reply[8];
    std::size_t got = 0;
    while (ok && got < sizeof reply) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(limit.count())) <= 0) {
            ok = false;
            break;
        }
        const ssize_t n = ::recv(fd, reply + got, sizeof reply - got, 0);
        ok = n > 0;
        got += ok ? static_cast<std::size_t>(n) : 0;
    }
    ::close(fd);
    return ok && reply[4] == 1;
}

TEST(FaultDescriptors, AcceptingResumesWhenDescriptorsAreFreeAgain) {
    zs::test::staged_server server;
    zs::test::server_options options;
    options.prefix = {"/usr/bin/prlimit", "--nofile=64:64", "--"};
    ASSERT_TRUE(server.start(options)) << server.stderr_text();
    ASSERT_TRUE(refused_in_time(server.tcp_port(), 5s));

    // Idle connections until the server has no descriptor left to accept with.
    std::vector<int> idle;
    for (int i = 0; i < 120; ++i) {
        const int fd = connect_to(server.tcp_port());
        if (fd >= 0) {
            idle.push_back(fd);
        }
    }
    std::this_thread::sleep_for(500ms);
    EXPECT_FALSE(refused_in_time(server.tcp_port(), 1s)) << "the limit was never reached";
    for (int fd : idle) {
        ::close(fd);
    }
    bool served = false;
    for (int attempt = 0; attempt < 20 && !served; ++attempt) {
        served = refused_in_time(server.tcp_port(), 2s);
    }
    EXPECT_TRUE(served);
    EXPECT_TRUE(server.running());
    EXPECT_EQ(server.stop(), 0);
}

} // namespace
