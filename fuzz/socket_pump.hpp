#pragma once
// One connection's server side, run on the calling thread over a socket
// pair: the bytes are sent (then the sending side is shut down) while the
// server's answer is collected until it closes. The I/O context runs only
// handlers that are ready, and waits for the next one when none is, so an
// exchange costs what the server does, not a fixed slice of time.
#include "fuzz/fuzz_check.hpp"
#include "net/connection_manager.hpp"

#include <boost/asio/io_context.hpp>

#include <cerrno>
#include <chrono>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace zs::fuzz {

inline std::string run_exchange(const net::session_factories& factories,
                                const std::string& to_send) {
    int fds[2];
    ZS_FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fds) == 0);
    boost::asio::io_context io(1);
    net::connection_manager manager;
    {
        auto connection = manager.create(io, factories, {});
        connection->socket().assign(boost::asio::ip::tcp::v4(), fds[0]);
        connection->start();
    }
    std::string received;
    std::size_t sent = 0;
    bool eof = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    // Until the server has closed and let go of the connection: a session
    // left open or still registered fails at the deadline.
    while (!eof || manager.size() != 0) {
        ZS_FUZZ_CHECK(std::chrono::steady_clock::now() < deadline);
        if (sent < to_send.size()) {
            const auto n =
                ::send(fds[1], to_send.data() + sent, to_send.size() - sent, MSG_NOSIGNAL);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
            } else if (n < 0 && errno != EAGAIN) {
                sent = to_send.size(); // the server closed early
            }
            if (sent == to_send.size()) {
                ::shutdown(fds[1], SHUT_WR);
            }
        }
        // Everything ready runs; with nothing ready, wait for one handler
        // (a timer or the socket) for a short while before looking again.
        if (io.poll() == 0) {
            io.run_one_for(std::chrono::milliseconds(1));
        }
        char buffer[65536];
        while (!eof) {
            const auto n = ::recv(fds[1], buffer, sizeof buffer, 0);
            if (n > 0) {
                received.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            eof = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
            break;
        }
        if (io.stopped()) {
            io.restart();
        }
    }
    io.poll(); // the cancelled waits of the closed connection
    ::close(fds[1]);
    return received;
}

} // namespace zs::fuzz
