#pragma once
// A client's side of one TCP connection to the server: raw words and bytes
// (protocol 0 and the handshake), the protocol-1 handshake, request frames
// and response frames. Every wait is bounded by the session's time-out.
#include "protocol/zeb_message.hpp"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zs::client {

struct server_info {
    std::string identity; // the UUID text
    std::string name;
};

class session {
public:
    explicit session(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    ~session();
    session(const session&) = delete;
    session& operator=(const session&) = delete;

    // Resolves host (a name, an IPv4 or an IPv6 address) and connects to the
    // first of its addresses that answers.
    bool connect(const std::string& host, std::uint16_t port);
    void close();
    // Connects from this local address (an IPv4 or IPv6 address) from the
    // next connect on; empty: the system's choice.
    void set_source(const std::string& address) { source_ = address; }
    bool is_open() const { return socket_.is_open(); }
    // Whether the last connect reached the server (for messages).
    bool connected() const { return connected_; }
    void set_timeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
    // What the last failed call ran into ("timed out", "end of file", ...).
    const std::string& error() const { return error_; }

    // Raw I/O.
    bool write_bytes(const void* data, std::size_t size);
    bool write_word(std::int32_t value);
    std::optional<std::vector<std::uint8_t>> read_exact(std::size_t size);
    std::optional<std::int32_t> read_word();
    // Waits at most `limit` for bytes to read (or the peer's close): true
    // when there are some, false on a time-out (error() stays empty) or an
    // error. Nothing is consumed, so a frame is never cut by a time-out.
    bool wait_readable(std::chrono::milliseconds limit);
    // True when the server closed the connection within the time-out
    // (bytes that arrive before are discarded and counted in `discarded`).
    bool wait_closed(std::size_t* discarded = nullptr);

    // Protocol 1 up to and including the server name (steps 1 to 6).
    // With an empty result the login was refused or the exchange failed.
    std::optional<server_info> handshake(const std::string& password);
    // Sends the client type and reads the server's first word.
    std::optional<std::int32_t> choose_client_type(std::int32_t type);
    // The protocol word and the handshake in one go (the client type is next).
    std::optional<server_info> open_protocol1(const std::string& host, std::uint16_t port,
                                              const std::string& password);

    // A request frame; body_length is set from the items.
    bool send_request(protocol::REQUEST_HEADER header, const protocol::item_list* items = nullptr);
    bool send_keepalive();
    // One response or event frame.
    std::shared_ptr<protocol::ZebResponse> read_response();

private:
    template <class Start> bool run(Start start);
    template <class Start> bool run_for(Start start, std::chrono::milliseconds limit);

    boost::asio::io_context io_;
    boost::asio::ip::tcp::socket socket_;
    std::chrono::milliseconds timeout_;
    std::string error_;
    std::string source_;
    bool connected_ = false;
};

// "host:port", with an IPv6 address in brackets ("[::1]:6789").
std::string address_text(const std::string& host, std::uint16_t port);

// The 16-byte answer to a challenge for a password.
std::array<std::uint8_t, 16> answer_challenge(const std::array<std::uint8_t, 16>& challenge,
                                              const std::string& password);

} // namespace zs::client
