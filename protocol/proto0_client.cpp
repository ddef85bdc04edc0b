#include "protocol/proto0_client.hpp"

#include "core/config_store.hpp"
#include "core/server_log.hpp"
#include "net/wire.hpp"
#include "platform/files.hpp"
#include "protocol/peer_text.hpp"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace zs::protocol {

namespace {

constexpr const char* connection_error = "Connection error";
constexpr const char* unable = "Server is unable to process the request";
constexpr const char* queue_full = "The job queue is full; try again later";
constexpr const char* share_full = "The job queue is full for this client; try again later";
constexpr const char* not_packed = "The job's results could not be read";

} // namespace

proto0_client::proto0_client(std::shared_ptr<net::zebsock_connection> connection,
                             const proto0_settings& settings)
    : session_base(std::move(connection), settings.close_pause), settings_(settings) {}

void proto0_client::start() {
    async_read_exact(request_.data(), request_.size(),
                     [this](const auto& ec, std::size_t n) { handle_header(ec, n); });
}

void proto0_client::handle_header(const boost::system::error_code& ec, std::size_t) {
    if (ec) {
        finish_session();
        return;
    }
    header_ = *JOB_REQUEST_HEADER::from_bytes(request_); // the read filled all of it
    const std::string configured = settings_.password();
    const bool open = configured == core::default_password;
    login_guard* guard = open ? nullptr : settings_.guard;
    // Only the guard needs the address as text; a status poll should not pay for it.
    const std::string address = guard != nullptr ? peer_address(connection()) : std::string();
    const bool may_check = guard == nullptr || guard->may_check(address);
    const bool accepted = open || (may_check && header_.password == configured);
    if (!accepted && guard != nullptr) {
        after(guard->refused(address, login_kind::render_job, peer_text(connection()), may_check),
              [this] { refuse_password(); });
        return;
    }
    if (!accepted) {
        core::server_log::line("Refused a render-job request with a wrong password from " +
                               peer_text(connection()));
    } else if (guard != nullptr) {
        guard->accepted(address);
    }
    if (accepted && (header_.body_length == 0 || !header_.body_length_valid())) {
        // No body to read: the password word leaves with the response.
        word_pending_ = true;
        if (header_.body_length == 0) {
            dispatch();
        } else {
            send_error(connection_error);
        }
        return;
    }
    auto reply = std::make_shared<std::vector<std::uint8_t>>(4, 0);
    net::write_word(reply->data(), accepted ? 1 : 0);
    async_write_all(reply, [this, accepted](const auto& e, std::size_t n) {
        if (!accepted) {
            finish_session();
            return;
        }
        handle_password_written(e, n);
    });
}

void proto0_client::refuse_password() {
    auto reply = std::make_shared<std::vector<std::uint8_t>>(4, 0);
    async_write_all(reply, [this](const auto&, std::size_t) { finish_session(); });
}

void proto0_client::handle_password_written(const boost::system::error_code& ec, std::size_t) {
    if (ec) {
        finish_session();
        return;
    }
    if (header_.body_length == 0) {
        dispatch();
    } else if (!header_.body_length_valid()) {
        send_error(connection_error);
    } else {
        body_.clear();
        read_body_chunk();
    }
}

// The body grows with the bytes that arrive: a header that only announces
// 16 MiB must not make the server hold 16 MiB (hundreds of such clients
// would exhaust its memory).
void proto0_client::read_body_chunk() {
    constexpr std::size_t chunk = 64 * 1024;
    const auto length = static_cast<std::size_t>(header_.body_length);
    const std::size_t have = body_.size();
    body_.resize(have + std::min(chunk, length - have));
    async_read_exact(body_.data() + have, body_.size() - have,
                     [this](const auto& e, std::size_t n) { handle_body(e, n); });
}

void proto0_client::handle_body(const boost::system::error_code& ec, std::size_t) {
    if (ec) {
        finish_session();
        return;
    }
    if (body_.size() < static_cast<std::size_t>(header_.body_length)) {
        read_body_chunk();
        return;
    }
    body_.push_back(0); // the terminating NUL after the text
    dispatch();
}

void proto0_client::dispatch() {
    if (connection() != nullptr) {
        connection()->logged_in(); // the request is read whole
    }
    switch (header_.type) {
    case JOB_SUBMIT:
        submit();
        break;
    case JOB_STATUS:
        status();
        break;
    case JOB_FETCH_RESULT:
        fetch(false);
        break;
    case JOB_FETCH_ARCHIVE:
        fetch(true);
        break;
    default:
        // Nothing to answer; the connection is not left open without I/O.
        if (word_pending_) {
            word_pending_ = false;
            auto reply = std::make_shared<std::vector<std::uint8_t>>(4, 0);
            net::write_word(reply->data(), 1);
            async_write_all(reply, [this](const auto&, std::size_t) { finish_session(); });
        } else {
            finish_session();
        }
        break;
    }
}

void proto0_client::submit() {
    if (body_.size() <= 1) {
        send_error(connection_error);
        return;
    }
    // The queue keeps the one copy of the text; the read buffer goes now.
    std::string text(reinterpret_cast<const char*>(body_.data()), body_.size() - 1);
    std::vector<std::uint8_t>().swap(body_);
    const std::int32_t id = settings_.queue->add_job(std::move(text), peer_address(connection()));
    if (id == add_queue_full || id == add_share_full) {
        send_error(id == add_queue_full ? queue_full : share_full);
        return;
    }
    if (id < 0) {
        send_error(unable);
        return;
    }
    send_response(1, id, 0);
}

void proto0_client::status() {
    const std::int32_t id = header_.id;
    switch (settings_.queue->job_state(id)) {
    case job_status::done:
        send_response(0, id, 0);
        return;
    case job_status::running:
        send_response(1, id, 0);
        return;
    case job_status::waiting:
        break;
    default:
        send_error(unable);
        return;
    }
    const int position = settings_.queue->queue_position(id);
    if (position < 0) {
        send_error(unable);
    } else if (position <= 1) {
        send_response(position, id, 0);
    } else {
        send_response(2, id, position - 1);
    }
}

// A fetch checks, packs, reads and removes the job as one step: two clients
// fetching one job at once on two I/O threads would otherwise pack into and
// delete the same archive file under each other (an empty archive reported
// as success) and both be handed the job.
namespace {
std::mutex& fetch_mutex() {
    static std::mutex m;
    return m;
}
} // namespace

void proto0_client::fetch(bool archive) {
    const std::int32_t id = header_.id;
    job_queue& queue = *settings_.queue;
    std::lock_guard lock(fetch_mutex()); // taken before the queue's own lock
    const job_status state = queue.job_state(id);
    if (!(state == job_status::done ||
          (state == job_status::waiting && queue.queue_position(id) == 0))) {
        send_error(unable);
        return;
    }
    std::string message;
    int number = 0;
    const job_outcome outcome = queue.job_result(id, message, number);
    if (outcome == job_outcome::failed) {
        send_error(message);
        return;
    }
    // A result that exists but cannot be packed or read is a failure with its
    // reason, never an empty success; the job stays for another try.
    std::string path;
    std::string reason;
    std::error_code why;
    const bool found =
        archive ? queue.zip_job_folder(id, path, &reason) : queue.find_job_result(id, path);
    if (found && !platform::read_file(path, reply_body_, &why)) {
        reason = why.message();
    }
    if (archive && !path.empty()) {
        platform::remove_file(path);
    }
    if (!reason.empty()) {
        reply_body_.clear();
        core::server_log::line("Render job " + std::to_string(id) + ": " + not_packed + ": " +
                               reason);
        send_error(std::string(not_packed) + ": " + reason);
        return;
    }
    send_response(0, id, outcome == job_outcome::succeeded_with_number ? number : 0);
    queue.remove_job(id);
}

void proto0_client::send_error(const std::string& text) {
    reply_body_ = text;
    send_response(-1, -1, 0);
}

void proto0_client::send_response(std::int32_t status, std::int32_t id, std::int32_t extra) {
    // Header and body (and a pending password word before them) leave in
    // one write; the peer sees the same bytes.
    const std::size_t at = word_pending_ ? 4 : 0;
    auto out =
        std::make_shared<std::vector<std::uint8_t>>(at + job_response_size + reply_body_.size(), 0);
    if (word_pending_) {
        net::write_word(out->data(), 1);
        word_pending_ = false;
    }
    const JOB_RESPONSE_HEADER header{status, id, static_cast<std::int32_t>(reply_body_.size()),
                                     extra};
    const auto bytes = header.to_bytes();
    std::copy(bytes.begin(), bytes.end(), out->begin() + static_cast<std::ptrdiff_t>(at));
    if (!reply_body_.empty()) {
        std::memcpy(out->data() + at + job_response_size, reply_body_.data(), reply_body_.size());
    }
    std::string().swap(reply_body_);
    async_write_all(out, [this](const auto& ec, std::size_t n) { handle_response_written(ec, n); });
}

void proto0_client::handle_response_written(const boost::system::error_code&, std::size_t) {
    finish_session();
}

net::session_factory make_proto0_factory(const proto0_settings& settings) {
    return [&settings](std::shared_ptr<net::zebsock_connection> connection)
               -> std::unique_ptr<net::proto_interface> {
        return std::make_unique<proto0_client>(std::move(connection), settings);
    };
}

} // namespace zs::protocol
