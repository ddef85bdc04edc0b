#pragma once
// Answers discovery datagrams on the UDP port with the server's identity and name.
#include "core/lifecycle.hpp"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace zs::net {

inline constexpr std::size_t discovery_request_size = 116;
inline constexpr std::size_t discovery_buffer_size = 65535;

// The reply to a discovery request, or an empty vector when the bytes are not one.
std::vector<std::uint8_t> build_discovery_reply(const std::uint8_t* request, std::size_t size,
                                                const std::array<std::uint8_t, 16>& identity,
                                                const std::string& server_name);

struct discovery_settings {
    std::function<std::uint16_t()> port; // default ZEBRIX_UDP_PORT
    std::function<std::array<std::uint8_t, 16>()> identity;
    std::function<std::string()> server_name;
};

class discovery_responder final : public core::service_piece {
public:
    explicit discovery_responder(discovery_settings settings);
    ~discovery_responder() override;

    bool start() override;
    void stop() override;
    std::string failure() const override { return failure_; }

private:
    void start_receive();
    void handle_receive(const boost::system::error_code& ec, std::size_t bytes);
    void handle_send(const boost::system::error_code& ec);

    discovery_settings settings_;
    boost::asio::io_context context_;
    boost::asio::ip::udp::socket socket_;
    boost::asio::ip::udp::endpoint sender_;
    std::thread thread_;
    std::vector<std::uint8_t> receive_;
    std::vector<std::uint8_t> reply_;
    std::string failure_; // of the last failed start
};

} // namespace zs::net
