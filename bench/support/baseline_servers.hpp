#pragma once
// The bare servers our figures are measured against: the same socket work as
// the server's, on Boost.Asio, and nothing else. Built for Linux and, for the
// Windows figures, cross-built and run under Wine (bench_win_baseline).
#include "net/wire.hpp"

#include <utility> // before Asio: its headers use std::exchange

#include <boost/asio.hpp>

#include <cstdint>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace zs::bench {

// The login exchange up to the client type: read 4, write 20, read 16,
// write 61 (accepting word, two texts), read 4; then the client closes.
class baseline_handshake_server {
public:
    explicit baseline_handshake_server(std::uint16_t port = 0)
        : acceptor_(io_, {boost::asio::ip::tcp::v4(), port}) {
        accept();
        thread_ = std::thread([this] { io_.run(); });
    }
    ~baseline_handshake_server() {
        io_.stop();
        thread_.join();
    }
    baseline_handshake_server(const baseline_handshake_server&) = delete;
    baseline_handshake_server& operator=(const baseline_handshake_server&) = delete;
    std::uint16_t port() const { return acceptor_.local_endpoint().port(); }

private:
    struct conn : std::enable_shared_from_this<conn> {
        explicit conn(boost::asio::ip::tcp::socket s) : sock(std::move(s)) {}
        boost::asio::ip::tcp::socket sock;
        std::uint8_t buf[64] = {};
        void run() {
            namespace asio = boost::asio;
            auto self = shared_from_this();
            asio::async_read(sock, asio::buffer(buf, 4), [self](auto ec, auto) {
                if (ec)
                    return;
                net::write_word(self->buf, 1);
                asio::async_write(self->sock, asio::buffer(self->buf, 20), [self](auto e2, auto) {
                    if (e2)
                        return;
                    asio::async_read(
                        self->sock, asio::buffer(self->buf, 16), [self](auto e3, auto) {
                            if (e3)
                                return;
                            std::memset(self->buf, 0, sizeof self->buf);
                            net::write_word(self->buf, 1);
                            net::write_word(self->buf + 4, 36);
                            net::write_word(self->buf + 44, 13);
                            asio::async_write(
                                self->sock, asio::buffer(self->buf, 61), [self](auto e4, auto) {
                                    if (e4)
                                        return;
                                    asio::async_read(self->sock, asio::buffer(self->buf, 4),
                                                     [self](auto, auto) {});
                                });
                        });
                });
            });
        }
    };
    void accept() {
        acceptor_.async_accept(
            [this](const boost::system::error_code& ec, boost::asio::ip::tcp::socket s) {
                if (!ec) {
                    std::make_shared<conn>(std::move(s))->run();
                }
                accept();
            });
    }
    boost::asio::io_context io_;
    boost::asio::ip::tcp::acceptor acceptor_;
    std::thread thread_;
};

// One status poll: accept, read the protocol word and the header (116),
// answer 4 + 116 bytes, close; on five threads as the server's pool.
class baseline_poll_server {
public:
    explicit baseline_poll_server(std::uint16_t port = 0)
        : acceptor_(io_, {boost::asio::ip::tcp::v4(), port}) {
        accept();
        for (int i = 0; i < 5; ++i) {
            threads_.emplace_back([this] { io_.run(); });
        }
    }
    ~baseline_poll_server() {
        io_.stop();
        for (auto& t : threads_) {
            t.join();
        }
    }
    baseline_poll_server(const baseline_poll_server&) = delete;
    baseline_poll_server& operator=(const baseline_poll_server&) = delete;
    std::uint16_t port() const { return acceptor_.local_endpoint().port(); }

private:
    struct exchange {
        explicit exchange(boost::asio::io_context& io) : socket(io) {}
        boost::asio::ip::tcp::socket socket;
        std::uint8_t in[116] = {};
        std::uint8_t out[120] = {};
    };
    void accept() {
        auto e = std::make_shared<exchange>(io_);
        acceptor_.async_accept(e->socket, [this, e](const boost::system::error_code& ec) {
            if (!ec) {
                serve(e);
            }
            accept();
        });
    }
    static void serve(const std::shared_ptr<exchange>& e) {
        namespace asio = boost::asio;
        asio::async_read(e->socket, asio::buffer(e->in), [e](const auto& ec, std::size_t) {
            if (ec) {
                return;
            }
            e->out[0] = 1;
            e->out[8] = 1;
            asio::async_write(e->socket, asio::buffer(e->out, 4),
                              [e](const auto& ec2, std::size_t) {
                                  if (ec2) {
                                      return;
                                  }
                                  asio::async_write(e->socket, asio::buffer(e->out + 4, 116),
                                                    [e](const auto&, std::size_t) {
                                                        boost::system::error_code ignored;
                                                        e->socket.close(ignored);
                                                    });
                              });
        });
    }

    boost::asio::io_context io_;
    boost::asio::ip::tcp::acceptor acceptor_;
    std::vector<std::thread> threads_;
};

} // namespace zs::bench
