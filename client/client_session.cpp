#include "client/client_session.hpp"

#include "net/wire.hpp"
#include "protocol/proto1_client.hpp"

#include <boost/asio/connect.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

namespace zs::client {

session::session(std::chrono::milliseconds timeout) : socket_(io_), timeout_(timeout) {}

session::~session() {
    close();
}

void session::close() {
    connected_ = false;
    boost::system::error_code ignored;
    socket_.close(ignored);
}

// Runs one asynchronous operation to completion or until the time-out,
// which cancels it; start(done) must call done(error) once.
template <class Start> bool session::run(Start start) {
    return run_for(start, timeout_);
}

// The outcome is shared with the handler: a name lookup cannot be cancelled
// and may complete during a later operation, after this call has returned.
template <class Start> bool session::run_for(Start start, std::chrono::milliseconds limit) {
    struct outcome {
        boost::system::error_code result = boost::asio::error::would_block;
        bool finished = false;
    };
    const auto state = std::make_shared<outcome>();
    start([state](const boost::system::error_code& ec) {
        state->result = ec;
        state->finished = true;
    });
    io_.restart();
    io_.run_for(limit);
    const boost::system::error_code result = state->result;
    if (!state->finished) {
        boost::system::error_code ignored;
        socket_.cancel(ignored);
        io_.restart();
        io_.run_for(std::chrono::seconds(1));
        error_ = "timed out";
        return false;
    }
    if (result) {
        error_ = result.message();
        return false;
    }
    return true;
}

bool session::connect(const std::string& host, std::uint16_t port) {
    close();
    using results = boost::asio::ip::tcp::resolver::results_type;
    boost::system::error_code not_numeric;
    const auto address = boost::asio::ip::make_address(host, not_numeric);
    if (!not_numeric) {
        // An address needs no lookup (and no resolver thread).
        const boost::asio::ip::tcp::endpoint endpoint(address, port);
        if (!source_.empty()) {
            boost::system::error_code ec;
            socket_.open(endpoint.protocol(), ec);
            if (!ec) {
                socket_.bind({boost::asio::ip::make_address(source_, ec), 0}, ec);
            }
            if (ec) {
                error_ = ec.message();
                return false;
            }
        }
        connected_ = run([&](auto done) { socket_.async_connect(endpoint, done); });
        return connected_;
    }
    boost::asio::ip::tcp::resolver resolver(io_);
    const auto endpoints = std::make_shared<results>();
    const bool resolved = run([&](auto done) {
        resolver.async_resolve(host, std::to_string(port),
                               boost::asio::ip::resolver_base::numeric_service,
                               [endpoints, done](const boost::system::error_code& ec, results r) {
                                   *endpoints = std::move(r);
                                   done(ec);
                               });
    });
    if (!resolved) {
        resolver.cancel();
        return false;
    }
    connected_ = run([&](auto done) {
        boost::asio::async_connect(socket_, *endpoints,
                                   [done](const boost::system::error_code& ec,
                                          const boost::asio::ip::tcp::endpoint&) { done(ec); });
    });
    return connected_;
}

bool session::wait_readable(std::chrono::milliseconds limit) {
    const bool ready = run_for(
        [&](auto done) {
            socket_.async_wait(boost::asio::ip::tcp::socket::wait_read,
                               [done](const boost::system::error_code& ec) { done(ec); });
        },
        limit);
    if (!ready && error_ == "timed out") {
        error_.clear();
    }
    return ready;
}

bool session::write_bytes(const void* data, std::size_t size) {
    return run([&](auto done) {
        boost::asio::async_write(
            socket_, boost::asio::buffer(data, size),
            [done](const boost::system::error_code& ec, std::size_t) { done(ec); });
    });
}

bool session::write_word(std::int32_t value) {
    std::uint8_t bytes[4];
    net::write_word(bytes, value);
    return write_bytes(bytes, 4);
}

std::optional<std::vector<std::uint8_t>> session::read_exact(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    const bool ok = run([&](auto done) {
        boost::asio::async_read(
            socket_, boost::asio::buffer(bytes),
            [done](const boost::system::error_code& ec, std::size_t) { done(ec); });
    });
    if (!ok) {
        return std::nullopt;
    }
    return bytes;
}

std::optional<std::int32_t> session::read_word() {
    auto bytes = read_exact(4);
    if (!bytes) {
        return std::nullopt;
    }
    return net::read_word(bytes->data());
}

bool session::wait_closed(std::size_t* discarded) {
    std::array<std::uint8_t, 4096> sink{};
    std::size_t total = 0;
    for (;;) {
        std::size_t got = 0;
        boost::system::error_code end;
        const bool ok = run([&](auto done) {
            socket_.async_read_some(
                boost::asio::buffer(sink),
                [&, done](const boost::system::error_code& ec, std::size_t n) {
                    got = n;
                    end = ec;
                    done(ec == boost::asio::error::eof ? boost::system::error_code() : ec);
                });
        });
        total += got;
        if (discarded != nullptr) {
            *discarded = total;
        }
        if (!ok) {
            // A reset counts as closed too; only a time-out means still open.
            return error_ != "timed out";
        }
        if (end == boost::asio::error::eof) {
            return true;
        }
    }
}

std::string address_text(const std::string& host, std::uint16_t port) {
    const bool ipv6 = host.find(':') != std::string::npos;
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::array<std::uint8_t, 16> answer_challenge(const std::array<std::uint8_t, 16>& challenge,
                                              const std::string& password) {
    return protocol::challenge_digest(challenge, password);
}

std::optional<server_info> session::handshake(const std::string& password) {
    const auto first = read_word();
    if (!first || *first != 1) {
        error_ = first ? "unexpected first word" : error_;
        return std::nullopt;
    }
    const auto challenge_bytes = read_exact(16);
    if (!challenge_bytes) {
        return std::nullopt;
    }
    std::array<std::uint8_t, 16> challenge{};
    std::copy(challenge_bytes->begin(), challenge_bytes->end(), challenge.begin());
    const auto answer = answer_challenge(challenge, password);
    if (!write_bytes(answer.data(), answer.size())) {
        return std::nullopt;
    }
    const auto login = read_word();
    if (!login) {
        return std::nullopt;
    }
    if (*login != 1) {
        error_ = "login refused";
        return std::nullopt;
    }
    server_info info;
    for (std::string* text : {&info.identity, &info.name}) {
        const auto size = read_word();
        if (!size || *size < 0) {
            return std::nullopt;
        }
        const auto bytes = read_exact(static_cast<std::size_t>(*size));
        if (!bytes) {
            return std::nullopt;
        }
        text->assign(bytes->begin(), bytes->end());
    }
    return info;
}

std::optional<std::int32_t> session::choose_client_type(std::int32_t type) {
    if (!write_word(type)) {
        return std::nullopt;
    }
    return read_word();
}

std::optional<server_info> session::open_protocol1(const std::string& host, std::uint16_t port,
                                                   const std::string& password) {
    if (!connect(host, port) || !write_word(1)) {
        return std::nullopt;
    }
    return handshake(password);
}

bool session::send_request(protocol::REQUEST_HEADER header, const protocol::item_list* items) {
    const std::size_t body = items != nullptr ? items->body_length() : 0;
    header.body_length = static_cast<std::int32_t>(body);
    std::vector<std::uint8_t> frame(protocol::request_header_size + body);
    const auto head = header.to_bytes();
    std::copy(head.begin(), head.end(), frame.begin());
    if (items != nullptr) {
        items->write_body(frame.data() + protocol::request_header_size);
    }
    return write_bytes(frame.data(), frame.size());
}

bool session::send_keepalive() {
    protocol::REQUEST_HEADER header;
    header.kind = protocol::MSG_KEEPALIVE;
    return send_request(header);
}

std::shared_ptr<protocol::ZebResponse> session::read_response() {
    const auto head_bytes = read_exact(protocol::response_header_size);
    if (!head_bytes) {
        return nullptr;
    }
    const auto head = protocol::RESPONSE_HEADER::from_bytes(head_bytes->data());
    if (head.body_length < 0 || head.body_length > protocol::max_body_length) {
        error_ = "bad body length";
        return nullptr;
    }
    auto response = std::make_shared<protocol::ZebResponse>();
    response->kind = head.kind;
    response->request_id = head.request_id;
    response->action = head.action;
    response->status = head.status;
    response->value = head.value;
    if (head.body_length > 0) {
        const auto body = read_exact(static_cast<std::size_t>(head.body_length));
        if (!body || !protocol::parse_response_body(*response, body->data(), body->size())) {
            error_ = body ? "bad body" : error_;
            return nullptr;
        }
    }
    return response;
}

} // namespace zs::client
