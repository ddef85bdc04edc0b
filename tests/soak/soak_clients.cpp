#include "tests/soak/soak_clients.hpp"

#include "client/client_session.hpp"
#include "client/discovery_client.hpp"
#include "net/wire.hpp"
#include "protocol/payload.hpp"
#include "protocol/proto0_records.hpp"
#include "protocol/proto1_interface.hpp"
#include "tests/support/job_calls.hpp"

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace zs::soak {

namespace {

using namespace std::chrono_literals;
using boost::asio::ip::tcp;

constexpr const char* host = "127.0.0.1";
constexpr const char* password = "kxvwq";
const std::string unable = "Server is unable to process the request";
// The client's own loopback address: clients of a run come from many
// addresses, as on a network, so the per-address cap is not what they meet.
thread_local std::string source;

void connect_raw(tcp::socket& socket, const target& t, boost::system::error_code& ec) {
    socket.open(tcp::v4(), ec);
    if (!ec && !source.empty()) {
        socket.bind({boost::asio::ip::make_address(source), 0}, ec);
    }
    if (!ec) {
        socket.connect({boost::asio::ip::make_address(host), t.tcp_port}, ec);
    }
}

std::vector<std::uint8_t> job_request(std::int32_t type, std::int32_t id, const std::string& body) {
    auto bytes =
        test::job_request_bytes(type, id, static_cast<std::int32_t>(body.size()), password);
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

struct job_reply {
    std::int32_t status = -2;
    std::int32_t id = -2;
    std::int32_t extra = 0;
    std::string body;
};

// One protocol-0 request; false when the exchange itself broke.
bool job_exchange(const target& t, std::int32_t type, std::int32_t id, const std::string& body,
                  job_reply& reply, std::string& why) {
    client::session s(10s);
    s.set_source(source);
    const auto request = job_request(type, id, body);
    if (!s.connect(host, t.tcp_port) || !s.write_bytes(request.data(), request.size())) {
        why = "connect/write: " + s.error();
        return false;
    }
    if (s.read_word() != 1) {
        why = "password word: " + s.error();
        return false;
    }
    const auto bytes = s.read_exact(protocol::job_response_size);
    if (!bytes) {
        why = "response header: " + s.error();
        return false;
    }
    const auto header = *protocol::JOB_RESPONSE_HEADER::from_bytes(*bytes);
    reply.status = header.status;
    reply.id = header.id;
    const std::int32_t length = header.body_length;
    reply.extra = header.extra;
    if (length < 0) {
        why = "negative body length";
        return false;
    }
    if (length > 0) {
        const auto b = s.read_exact(static_cast<std::size_t>(length));
        if (!b) {
            why = "response body: " + s.error();
            return false;
        }
        reply.body.assign(b->begin(), b->end());
    }
    if (!s.wait_closed()) {
        why = "not closed after the reply";
        return false;
    }
    return true;
}

bool song_client(const target& t, std::string& why) {
    client::session s(10s);
    s.set_source(source);
    const auto info = s.open_protocol1(host, t.tcp_port, password);
    if (!info || info->identity.size() != 36) {
        why = "handshake: " + s.error();
        return false;
    }
    if (s.choose_client_type(protocol::CLIENT_SONG) != 0) {
        why = "song client word: " + s.error();
        return false;
    }
    std::this_thread::sleep_for(50ms); // an idle song client stays connected
    return true;
}

bool remote_control(const target& t, tally& counts, std::string& why) {
    client::session s(15s);
    s.set_source(source);
    if (!s.open_protocol1(host, t.tcp_port, password)) {
        why = "handshake: " + s.error();
        return false;
    }
    const auto greeting = s.choose_client_type(protocol::CLIENT_ZEBRIX_RC);
    const auto verdict = greeting ? s.read_word() : std::nullopt;
    if (greeting != 1 || !verdict || (*verdict != 0 && *verdict != 1)) {
        why = "attach words: " + s.error();
        return false;
    }
    if (*verdict == 0) {
        // Another client holds Zebrix: refused, then closed.
        if (!s.wait_closed()) {
            why = "refused client not closed";
            return false;
        }
        return true;
    }
    ++counts.controlled;
    if (!s.send_keepalive() || !s.send_keepalive()) {
        why = "keep-alive: " + s.error();
        return false;
    }
    counts.requests += 2;
    // An unknown action is answered with error 3 without touching the program.
    if (!s.send_request({protocol::MSG_REQUEST, 41, 2, 0, 0, 0, 0})) {
        why = "request: " + s.error();
        return false;
    }
    for (;;) {
        auto r = s.read_response();
        if (!r) {
            why = "reply: " + s.error();
            return false;
        }
        if (r->kind == protocol::MSG_EVENT) {
            continue;
        }
        if (r->request_id != 41 || r->action != 0 || r->status != 3) {
            why = "unknown action reply";
            return false;
        }
        break;
    }
    if (!s.send_request({protocol::MSG_REQUEST, 42, 0, 0, 0, 0, 0})) {
        why = "goodbye: " + s.error();
        return false;
    }
    counts.requests += 2;
    for (;;) {
        auto r = s.read_response();
        if (!r) {
            why = "goodbye reply: " + s.error();
            return false;
        }
        if (r->kind == protocol::MSG_EVENT) {
            continue;
        }
        if (r->request_id != 42 || r->action != 1 || r->status != 0) {
            why = "goodbye acknowledgement";
            return false;
        }
        break;
    }
    if (!s.wait_closed()) {
        why = "not closed after goodbye";
        return false;
    }
    return true;
}

bool job_status_unknown(const target& t, std::string& why) {
    job_reply r;
    if (!job_exchange(t, 2, 987654, "", r, why)) {
        return false;
    }
    if (r.status != -1 || r.id != -1 || r.body != unable) {
        why = "unknown job reply";
        return false;
    }
    return true;
}

bool job_submit(const target& t, tally& counts, std::string& why) {
    job_reply r;
    if (!job_exchange(t, 0, 0, "Output=songlist\r\nRenderMs=20\r\n", r, why)) {
        return false;
    }
    if (r.status != 1 || r.id < 0 || !r.body.empty()) {
        why = "submit reply";
        return false;
    }
    ++counts.jobs_accepted;
    job_reply state;
    if (!job_exchange(t, 2, r.id, "", state, why)) {
        return false;
    }
    if (state.status < 0 || state.status > 2 || state.id != r.id) {
        why = "status of a submitted job";
        return false;
    }
    return true;
}

bool discovery(const target& t, std::string& why) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        const auto found = client::discover(host, t.udp_port, 400ms);
        if (!found.empty() && found.front().identity.size() == 36) {
            return true;
        }
    }
    why = "no discovery reply";
    return false;
}

// Reads the handshake a byte at a time.
bool slow_reader(const target& t, std::string& why) {
    client::session s(10s);
    s.set_source(source);
    auto slow_read = [&s](std::size_t n) {
        std::vector<std::uint8_t> out;
        for (std::size_t i = 0; i < n; ++i) {
            const auto b = s.read_exact(1);
            if (!b) {
                return std::optional<std::vector<std::uint8_t>>();
            }
            out.push_back(b->front());
            std::this_thread::sleep_for(2ms);
        }
        return std::optional<std::vector<std::uint8_t>>(out);
    };
    if (!s.connect(host, t.tcp_port) || !s.write_word(1)) {
        why = "connect: " + s.error();
        return false;
    }
    const auto opening = slow_read(20);
    const std::array<std::uint8_t, 16> answer{};
    if (!opening || net::read_word(opening->data()) != 1 ||
        !s.write_bytes(answer.data(), answer.size())) {
        why = "slow opening: " + s.error();
        return false;
    }
    const auto login = slow_read(8);
    if (!login || net::read_word(login->data()) != 1 || net::read_word(login->data() + 4) != 36 ||
        !slow_read(36)) {
        why = "slow login: " + s.error();
        return false;
    }
    const auto name_length = slow_read(4);
    if (!name_length || !slow_read(static_cast<std::size_t>(net::read_word(name_length->data())))) {
        why = "slow name: " + s.error();
        return false;
    }
    if (s.choose_client_type(protocol::CLIENT_SONG) != 0) {
        why = "slow song client: " + s.error();
        return false;
    }
    return true;
}

std::string random_bytes(std::mt19937& random, std::size_t n) {
    std::string out(n, '\0');
    for (char& c : out) {
        c = static_cast<char>(random() & 0xFF);
    }
    return out;
}

void random_client(const target& t, std::mt19937& random) {
    client::session s(1500ms);
    s.set_source(source);
    if (!s.connect(host, t.tcp_port)) {
        return;
    }
    std::string bytes = random_bytes(random, 1 + random() % 600);
    const unsigned opening = random() % 4;
    if (opening < 3) {
        // Mostly a known protocol word, so the random part reaches a session.
        std::string word(4, '\0');
        net::write_word(reinterpret_cast<std::uint8_t*>(word.data()), opening == 0 ? 0 : 1);
        bytes = word + bytes;
    }
    s.write_bytes(bytes.data(), bytes.size());
    s.wait_closed();
}

// Writes a frame only in part, then resets the connection (SO_LINGER 0).
void reset_mid_frame(const target& t, std::mt19937& random) {
    boost::asio::io_context io;
    tcp::socket socket(io);
    boost::system::error_code ec;
    connect_raw(socket, t, ec);
    if (ec) {
        return;
    }
    std::string bytes;
    auto word = [&bytes](std::int32_t v) {
        std::string w(4, '\0');
        net::write_word(reinterpret_cast<std::uint8_t*>(w.data()), v);
        bytes += w;
    };
    switch (random() % 4) {
    case 0: // inside the protocol word
        bytes = "\1\0";
        break;
    case 1: // inside the challenge answer
        word(1);
        bytes += std::string(7, 'a');
        break;
    case 2: // inside a request header of a remote-control session
        word(1);
        bytes += std::string(16, '\0');
        word(protocol::CLIENT_ZEBRIX_RC);
        word(protocol::MSG_KEEPALIVE);
        bytes += "\7\0\0";
        break;
    default: // inside a protocol-0 request header
        word(0);
        bytes += std::string(60, '\0');
        break;
    }
    boost::asio::write(socket, boost::asio::buffer(bytes), ec);
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 40));
    socket.set_option(boost::asio::socket_base::linger(true, 0), ec);
    socket.close(ec);
}

// Connects, maybe starts, and leaves without a word.
void vanish(const target& t, std::mt19937& random) {
    boost::asio::io_context io;
    tcp::socket socket(io);
    boost::system::error_code ec;
    connect_raw(socket, t, ec);
    if (ec) {
        return;
    }
    if (random() % 2 == 0) {
        const std::uint8_t one[4] = {1, 0, 0, 0};
        boost::asio::write(socket, boost::asio::buffer(one), ec);
    }
    socket.close(ec);
}

} // namespace

const char* kind_name(kind k) {
    static const char* names[] = {"song_client",     "remote_control", "job_status",
                                  "job_submit",      "discovery",      "random_bytes",
                                  "reset_mid_frame", "slow_reader",    "vanish"};
    return names[static_cast<int>(k)];
}

bool served_song_client(const target& t, std::string& why) {
    return song_client(t, why);
}

bool served_job_status(const target& t, std::string& why) {
    return job_status_unknown(t, why);
}

void run_client(kind k, const target& t, tally& counts, std::mt19937& random) {
    source = "127.0.0." + std::to_string(2 + random() % 64);
    ++counts.clients;
    std::string why;
    bool ok = true;
    bool correct = true;
    switch (k) {
    case kind::song_client:
        ok = song_client(t, why);
        ++counts.requests;
        break;
    case kind::remote_control:
        ok = remote_control(t, counts, why);
        ++counts.requests;
        break;
    case kind::job_status:
        ok = job_status_unknown(t, why);
        ++counts.requests;
        break;
    case kind::job_submit:
        if (counts.jobs_submitted.fetch_add(1) >= 12) { // reserves one of the 12
            ok = job_status_unknown(t, why);            // keeps the renderer's work bounded
            ++counts.requests;
        } else {
            ok = job_submit(t, counts, why);
            counts.requests += 2;
        }
        break;
    case kind::discovery:
        ok = discovery(t, why);
        ++counts.requests;
        break;
    case kind::slow_reader:
        ok = slow_reader(t, why);
        ++counts.requests;
        break;
    case kind::random_bytes:
        correct = false;
        random_client(t, random);
        break;
    case kind::reset_mid_frame:
        correct = false;
        reset_mid_frame(t, random);
        break;
    case kind::vanish:
    case kind::count:
        correct = false;
        vanish(t, random);
        break;
    }
    if (correct) {
        ++counts.correct_clients;
        if (!ok) {
            ++counts.errors;
            std::fprintf(stderr, "soak: %s failed: %s\n", kind_name(k), why.c_str());
        }
    }
}

} // namespace zs::soak
