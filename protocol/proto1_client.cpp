#include "protocol/proto1_client.hpp"

#include "core/config_store.hpp"
#include "core/server_log.hpp"
#include "net/wire.hpp"
#include "platform/digest.hpp"
#include "protocol/peer_text.hpp"
#include "protocol/song_client.hpp"

#include <algorithm>

namespace zs::protocol {

namespace {

std::shared_ptr<const std::vector<std::uint8_t>> word_buffer(std::int32_t value) {
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(4);
    net::write_word(bytes->data(), value);
    return bytes;
}

// A length word and the text after it; returns the end.
std::uint8_t* append_text(std::uint8_t* at, const std::string& text) {
    net::write_word(at, static_cast<std::int32_t>(text.size()));
    return std::copy(text.begin(), text.end(), at + 4);
}

} // namespace

std::array<std::uint8_t, 16> challenge_digest(const std::array<std::uint8_t, 16>& challenge,
                                              const std::string& password) {
    const std::string key = password.substr(0, password.find('\0'));
    std::vector<std::uint8_t> input(challenge.begin(), challenge.end());
    input.insert(input.end(), key.begin(), key.end());
    return platform::md5(input);
}

bool password_accepts(const std::string& password, const std::array<std::uint8_t, 16>& challenge,
                      const std::array<std::uint8_t, 16>& answer) {
    if (password == core::default_password) {
        return true; // the factory password switches the check off
    }
    const auto digest = challenge_digest(challenge, password);
    return platform::equal_in_constant_time(digest, answer);
}

net::session_factory make_proto1_factory(std::shared_ptr<const proto1_settings> settings) {
    return [settings](std::shared_ptr<net::zebsock_connection> connection)
               -> std::unique_ptr<net::proto_interface> {
        return std::make_unique<proto1_client>(std::move(connection), settings);
    };
}

proto1_client::proto1_client(std::shared_ptr<net::zebsock_connection> connection,
                             std::shared_ptr<const proto1_settings> settings)
    : session_base(connection, settings->close_pause), settings_(std::move(settings)),
      post_target_(std::move(connection)) {}

proto1_client::~proto1_client() = default;

bool proto1_client::io_failed(const boost::system::error_code& ec) {
    if (!ec) {
        return false;
    }
    // A reset or broken connection frees what the session holds; a cancelled
    // operation belongs to a close already under way.
    if (ec != boost::asio::error::operation_aborted) {
        close_session();
    }
    return true;
}

void proto1_client::write_word_then(std::int32_t value, void (proto1_client::*next)()) {
    async_write_all(word_buffer(value),
                    [this, next](const boost::system::error_code& ec, std::size_t) {
                        if (!io_failed(ec)) {
                            (this->*next)();
                        }
                    });
}

void proto1_client::start() {
    // A challenge from a cryptographic source never repeats, so a recorded
    // answer cannot be replayed.
    if (!platform::random_bytes(challenge_)) {
        write_word_then(1, &proto1_client::finish_session);
        return;
    }
    // The protocol word and the challenge leave in one write: the peer reads
    // the same bytes, without waiting for a second segment.
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(4 + challenge_.size());
    net::write_word(bytes->data(), 1);
    std::copy(challenge_.begin(), challenge_.end(), bytes->begin() + 4);
    async_write_all(bytes, [this](const boost::system::error_code& ec, std::size_t) {
        if (!io_failed(ec)) {
            read_answer();
        }
    });
}

void proto1_client::read_answer() {
    async_read_exact(answer_.data(), answer_.size(),
                     [this](const boost::system::error_code& ec, std::size_t) {
                         if (!io_failed(ec)) {
                             handle_answer();
                         }
                     });
}

void proto1_client::handle_answer() {
    login_guard* guard = settings_->guard;
    const std::string address = peer_address(connection());
    const bool may_check = guard == nullptr || guard->may_check(address);
    if (!may_check || !password_accepts(settings_->password(), challenge_, answer_)) {
        if (guard == nullptr) {
            core::server_log::line("Refused a login with a wrong password from " +
                                   peer_text(connection()));
            write_word_then(0, &proto1_client::finish_session);
            return;
        }
        // The refusal waits on a timer: a guesser gets its next try later,
        // and the I/O thread serves others meanwhile.
        after(guard->refused(address, login_kind::login, peer_text(connection()), may_check),
              [this] { write_word_then(0, &proto1_client::finish_session); });
        return;
    }
    if (guard != nullptr) {
        guard->accepted(address);
    }
    // The accepting word, the identity text and the server name in one write.
    const std::string identity = settings_->identity_text();
    std::string name = settings_->server_name();
    name.resize(std::min(name.size(), name.find('\0')));
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(12 + identity.size() + name.size());
    std::uint8_t* at = bytes->data();
    net::write_word(at, 1);
    at = append_text(at + 4, identity);
    append_text(at, name);
    async_write_all(bytes, [this](const boost::system::error_code& ec, std::size_t) {
        if (!io_failed(ec)) {
            read_client_type();
        }
    });
}

void proto1_client::read_client_type() {
    async_read_exact(word_.data(), word_.size(),
                     [this](const boost::system::error_code& ec, std::size_t) {
                         if (!io_failed(ec)) {
                             handle_client_type();
                         }
                     });
}

void proto1_client::handle_client_type() {
    const std::int32_t type = net::read_word(word_.data());
    const auto factory = settings_->clients.find(type);
    if (type == CLIENT_SONG) {
        client_ = std::make_unique<SongClient>(*this);
    } else if (factory != settings_->clients.end() && factory->second) {
        client_ = factory->second(*this);
    }
    if (!client_) {
        write_word_then(0, &proto1_client::finish_session);
        return;
    }
    watchdog_ = std::make_unique<boost::asio::steady_timer>(connection()->executor());
    connection()->logged_in(); // the handshake is complete
    client_->start();
}

void proto1_client::read_request() {
    async_read_exact(header_bytes_.data(), header_bytes_.size(),
                     [this](const boost::system::error_code& ec, std::size_t) {
                         if (!io_failed(ec)) {
                             handle_header();
                         }
                     });
}

void proto1_client::handle_header() {
    pending_ = std::make_shared<ZebRequest>();
    pending_->header = REQUEST_HEADER::from_bytes(header_bytes_.data());
    const std::int32_t length = pending_->header.body_length;
    if (length < 0 || length > max_body_length) {
        close_session();
        return;
    }
    if (length == 0) {
        dispatch(std::move(pending_));
        return;
    }
    body_.resize(static_cast<std::size_t>(length));
    async_read_exact(body_.data(), body_.size(),
                     [this](const boost::system::error_code& ec, std::size_t) {
                         if (!io_failed(ec)) {
                             handle_body();
                         }
                     });
}

void proto1_client::handle_body() {
    const bool valid = pending_->parse_body(body_.data(), body_.size());
    std::vector<std::uint8_t>().swap(body_); // a 16 MiB body is not kept around
    if (!valid) {
        pending_.reset();
        close_session();
        return;
    }
    dispatch(std::move(pending_));
}

void proto1_client::dispatch(std::shared_ptr<ZebRequest> request) {
    if (request->header.kind == MSG_KEEPALIVE) {
        arm_watchdog();
        read_request();
        return;
    }
    if (request->header.kind != MSG_REQUEST) {
        read_request();
        return;
    }
    // Nothing is read until the client object answers (request_done).
    request_running_ = true;
    client_->handle_request(std::move(request));
}

void proto1_client::request_done(bool keep) {
    request_running_ = false;
    if (closed()) {
        return; // closed from inside the request
    }
    if (!keep || watchdog_expired_) {
        close_session();
        return;
    }
    read_request();
}

// Only keep-alive messages re-arm the watchdog: a request is not one.
void proto1_client::arm_watchdog() {
    const unsigned armed = ++keepalive_counter_;
    watchdog_->expires_after(settings_->keepalive_limit);
    watchdog_->async_wait([this, armed, hold = hold()](const boost::system::error_code& ec) {
        handle_watchdog(ec, armed);
    });
}

void proto1_client::handle_watchdog(const boost::system::error_code& ec, unsigned armed) {
    if (ec || closed() || armed != keepalive_counter_) {
        return;
    }
    if (request_running_) {
        // Not under the running request: the close follows its answer.
        watchdog_expired_ = true;
        return;
    }
    close_session();
}

send_outcome proto1_client::send_response(std::shared_ptr<ZebResponse> response) {
    if (!response) {
        return send_outcome::dropped;
    }
    // Refused before it is copied: the caller answers with an error instead.
    if (response_header_size + response->body_length() > settings_->unsent_limit) {
        return send_outcome::too_large;
    }
    auto bytes = std::make_shared<const std::vector<std::uint8_t>>(response->serialize());
    std::lock_guard lock(post_mutex_);
    if (!post_target_) {
        return send_outcome::dropped; // closed: dropped without touching the connection
    }
    // A client that does not read would otherwise let its events pile up.
    const std::size_t unsent = unsent_ += bytes->size();
    if (unsent > settings_->unsent_limit) {
        post_target_->post_if_open([this, hold = post_target_] {
            frames_.clear();
            abort_session();
        });
        post_target_.reset();
        return send_outcome::dropped;
    }
    // Accepted before the close: still written during the close pause (the
    // answer to an ending request goes out before the connection closes).
    const bool queued = post_target_->post_if_open([this, hold = post_target_, bytes] {
        queue_frame({bytes, nullptr, true});
    });
    return queued ? send_outcome::accepted : send_outcome::dropped;
}

void proto1_client::post_work(std::function<void()> work) {
    std::lock_guard lock(post_mutex_);
    if (post_target_) {
        post_target_->post_if_open([this, hold = post_target_, w = std::move(work)] {
            if (!closed()) {
                w();
            }
        });
    }
}

void proto1_client::async_write_word(std::int32_t value, std::function<void()> on_written) {
    if (closed()) {
        return;
    }
    queue_frame({word_buffer(value), std::move(on_written), false});
}

void proto1_client::post_close_session() {
    std::lock_guard lock(post_mutex_);
    if (post_target_) {
        post_target_->post_if_open([this, hold = post_target_] { close_session(); });
    }
}

void proto1_client::queue_frame(frame f) {
    frames_.push_back(std::move(f));
    if (frames_.size() == 1) {
        write_next_frame();
    }
}

void proto1_client::write_next_frame() {
    async_write_flushing(frames_.front().bytes, [this](const boost::system::error_code& ec,
                                                       std::size_t) { handle_frame_written(ec); });
}

void proto1_client::handle_frame_written(const boost::system::error_code& ec) {
    if (io_failed(ec) || frames_.empty()) {
        frames_.clear();
        return;
    }
    if (frames_.front().counted) {
        unsent_ -= frames_.front().bytes->size();
    }
    auto done = std::move(frames_.front().on_written);
    frames_.pop_front();
    if (!frames_.empty()) {
        write_next_frame();
    }
    if (done && !closed()) {
        done();
    }
}

void proto1_client::wait_for_peer_close() {
    async_read_some(
        discard_.data(), discard_.size(),
        [this](const boost::system::error_code& ec, std::size_t) { handle_peer_data(ec); });
}

void proto1_client::handle_peer_data(const boost::system::error_code& ec) {
    if (!io_failed(ec)) {
        wait_for_peer_close(); // whatever a song client sends is not read as requests
    }
}

void proto1_client::on_closing() {
    if (watchdog_) {
        watchdog_->cancel();
    }
    std::lock_guard lock(post_mutex_);
    post_target_.reset();
}

} // namespace zs::protocol
