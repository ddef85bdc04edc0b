// One protocol-0 connection: the 112-byte request header and its body as a
// client may send them, through the real session code and a real render
// queue in a scratch folder. The server must answer with the password word
// and, for a known request type, one well-formed 116-byte header whose body
// length matches what follows, then close; a submitted job must be queued.
#include "fuzz/fuzz_check.hpp"
#include "fuzz/fuzz_dir.hpp"
#include "net/connection_manager.hpp"
#include "net/wire.hpp"
#include "platform/clock.hpp"
#include "protocol/proto0_client.hpp"
#include "zebrix/render_queue.hpp"

#include <boost/asio/io_context.hpp>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

using namespace zs;

namespace {

struct rig {
    platform::system_clock_source clock;
    zebrix::render_queue queue{fuzz::scratch_dir("proto0"), [] { return false; }, clock};
    protocol::proto0_settings settings;
    net::session_factories factories;
    rig() {
        settings.queue = &queue;
        settings.password = [] { return std::string("kxvwq"); };
        settings.close_pause = std::chrono::milliseconds(0);
        factories.protocol0 = protocol::make_proto0_factory(settings);
    }
};

std::string run_exchange(rig& r, const std::string& to_send) {
    int fds[2];
    ZS_FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fds) == 0);
    boost::asio::io_context io(1);
    net::connection_manager manager;
    {
        auto connection = manager.create(io, r.factories, {});
        connection->socket().assign(boost::asio::ip::tcp::v4(), fds[0]);
        connection->start();
    }
    std::string received;
    std::size_t sent = 0;
    bool eof = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!eof) {
        ZS_FUZZ_CHECK(std::chrono::steady_clock::now() < deadline); // a session left hanging
        if (sent < to_send.size()) {
            const auto n =
                ::send(fds[1], to_send.data() + sent, to_send.size() - sent, MSG_NOSIGNAL);
            if (n > 0) {
                sent += static_cast<std::size_t>(n);
            } else if (n < 0 && errno != EAGAIN) {
                sent = to_send.size();
            }
            if (sent == to_send.size()) {
                ::shutdown(fds[1], SHUT_WR);
            }
        }
        io.run_for(std::chrono::milliseconds(1));
        char buffer[65536];
        for (;;) {
            const auto n = ::recv(fds[1], buffer, sizeof buffer, 0);
            if (n > 0) {
                received.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            eof = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
            break;
        }
        if (io.stopped() && !eof) {
            io.restart();
        }
    }
    io.run_for(std::chrono::milliseconds(5));
    ZS_FUZZ_CHECK(manager.size() == 0);
    ::close(fds[1]);
    return received;
}

std::int32_t word_at(const std::string& s, std::size_t at) {
    return net::read_word(reinterpret_cast<const std::uint8_t*>(s.data()) + at);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static rig r;
    std::string request(4, '\0'); // protocol 0
    request.append(reinterpret_cast<const char*>(data), size);
    const std::string out = run_exchange(r, request);
    if (size < protocol::job_request_size) {
        ZS_FUZZ_CHECK(out.empty()); // nothing is answered before the whole header
        return 0;
    }
    const std::int32_t type = net::read_word(data);
    const std::int32_t length = net::read_word(data + 8);
    const std::size_t body_available = size - protocol::job_request_size;
    ZS_FUZZ_CHECK(out.size() >= 4 && word_at(out, 0) == 1); // any password passes
    const bool known = type == protocol::JOB_SUBMIT || type == protocol::JOB_FETCH_RESULT ||
                       type == protocol::JOB_STATUS || type == protocol::JOB_FETCH_ARCHIVE;
    const bool body_arrives = length <= 0 || length > protocol::max_job_body ||
                              static_cast<std::size_t>(length) <= body_available;
    if (!body_arrives || (!known && length >= 0 && length <= protocol::max_job_body)) {
        ZS_FUZZ_CHECK(out.size() == 4); // the body never came, or nothing to answer
        return 0;
    }
    ZS_FUZZ_CHECK(out.size() >= 4 + protocol::job_response_size);
    const std::int32_t status = word_at(out, 8);
    const std::int32_t id = word_at(out, 12);
    const std::int32_t reply_length = word_at(out, 16);
    ZS_FUZZ_CHECK(word_at(out, 4) == 0);
    ZS_FUZZ_CHECK(status >= -1 && status <= 2);
    ZS_FUZZ_CHECK(reply_length >= 0);
    ZS_FUZZ_CHECK(out.size() ==
                  4 + protocol::job_response_size + static_cast<std::size_t>(reply_length));
    for (std::size_t i = 24; i < 4 + protocol::job_response_size; ++i) {
        ZS_FUZZ_CHECK(out[i] == '\0');
    }
    if (status == -1) {
        ZS_FUZZ_CHECK(id == -1 && word_at(out, 20) == 0 && reply_length > 0);
        return 0;
    }
    if (type == protocol::JOB_SUBMIT) {
        ZS_FUZZ_CHECK(status == 1 && id >= 0 && reply_length == 0);
        ZS_FUZZ_CHECK(r.queue.job_state(id) == protocol::job_status::waiting);
        r.queue.remove_job(id); // keeps the queue small across runs
    }
    return 0;
}
