// The protocol-1 request loop over loopback, with a small client object of
// the test's own registered as client type 1.
#include "client/client_session.hpp"
#include "net/zebsock_server.hpp"
#include "protocol/proto1_client.hpp"
#include "tests/support/staged_server.hpp"

#include <gtest/gtest.h>

#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

#include <array>
#include <atomic>
#include <thread>

namespace {

using namespace std::chrono_literals;
using namespace zs;
using protocol::REQUEST_HEADER;

std::atomic<protocol::proto1_session*> live_session{nullptr};

// Answers every request with its id; command 98 blocks for param1 ms (as a
// slow program would), command 99 ends the session, command 97 closes it
// before answering.
class echo_client final : public protocol::proto1_interface {
public:
    using proto1_interface::proto1_interface;
    ~echo_client() override { live_session = nullptr; }
    void start() override {
        live_session = &session();
        session().async_write_word(1, [this] { session().read_request(); });
    }
    bool handle_request(std::shared_ptr<protocol::ZebRequest> request) override {
        if (request->header.command == 97) {
            session().close_session(); // what follows comes after the close
        }
        if (request->header.command == 98) {
            std::this_thread::sleep_for(std::chrono::milliseconds(request->header.param1));
        }
        auto r = std::make_shared<protocol::ZebResponse>();
        r->request_id = request->header.request_id;
        r->action = 1;
        r->status = 1;
        r->value = static_cast<std::int32_t>(request->items().size());
        session().send_response(r);
        return request->header.command != 99;
    }
};

class RequestLoop : public testing::Test {
protected:
    void start(std::chrono::milliseconds keepalive) {
        auto settings = std::make_shared<protocol::proto1_settings>();
        settings->password = [] { return std::string("kxvwq"); };
        settings->identity_text = [] { return std::string(36, 'a'); };
        settings->server_name = [] { return std::string("n"); };
        settings->clients.zebrix_rc = [](protocol::proto1_session& s) {
            return std::make_unique<echo_client>(s);
        };
        settings->keepalive_limit = keepalive;
        settings->close_pause = 50ms;
        port_ = test::free_tcp_port();
        net::server_settings ss;
        ss.port = [p = port_] { return p; };
        server_ = std::make_unique<net::zebsock_server>(
            net::session_factories{nullptr, make_proto1_factory(settings)}, ss);
        ASSERT_TRUE(server_->start());
    }
    void open(client::session& s) {
        ASSERT_TRUE(s.open_protocol1("127.0.0.1", port_, "x")) << s.error();
        ASSERT_EQ(s.choose_client_type(1), 1);
    }
    static REQUEST_HEADER header(std::int32_t kind, std::int32_t id, std::int32_t body_length = 0) {
        REQUEST_HEADER h;
        h.kind = kind;
        h.request_id = id;
        h.action = 1;
        h.body_length = body_length;
        return h;
    }
    static bool send_raw(client::session& s, REQUEST_HEADER h,
                         const std::vector<std::uint8_t>& body) {
        const auto b = h.to_bytes();
        return s.write_bytes(b.data(), b.size()) &&
               (body.empty() || s.write_bytes(body.data(), body.size()));
    }
    void expect_answer(client::session& s, std::int32_t id) {
        ASSERT_TRUE(s.send_request(header(2, id)));
        const auto r = s.read_response();
        ASSERT_TRUE(r) << s.error();
        EXPECT_EQ(r->request_id, id);
        EXPECT_EQ(r->kind, 2);
    }
    std::uint16_t port_ = 0;
    std::unique_ptr<net::zebsock_server> server_;
};

std::vector<std::uint8_t> data_body(std::size_t total) {
    std::vector<std::uint8_t> body(total, 'z');
    protocol::put_word(body.data(), 1);
    protocol::put_word(body.data() + 4, static_cast<std::int32_t>(protocol::ITEM_DATA));
    protocol::put_word(body.data() + 8, static_cast<std::int32_t>(total - 12));
    return body;
}

TEST_F(RequestLoop, BodyLimitsAndSkippedKinds) {
    start(5s);
    {
        client::session s(10s);
        open(s);
        ASSERT_TRUE(send_raw(s, header(5, 1, protocol::max_body_length),
                             data_body(protocol::max_body_length)));
        ASSERT_TRUE(s.send_keepalive());
        expect_answer(s, 2); // the 16 MiB body was read, the kind-5 frame skipped without an answer
        protocol::ZebRequest items;
        items.add_data(protocol::ITEM_DATA, "abc");
        items.add_file_list()->names.push_back("f");
        ASSERT_TRUE(s.send_request(header(2, 3), &items));
        const auto r = s.read_response();
        ASSERT_TRUE(r);
        EXPECT_EQ(r->value, 2) << "both items reached the client object";
    }
    const std::vector<std::pair<std::int32_t, std::vector<std::uint8_t>>> closing = {
        {protocol::max_body_length + 1, {}},
        {1, {1}},
        {2, {1, 0}},
        {3, {1, 0, 0}},
        {4, {0, 0, 0, 0}},
        {17,
         [] {
             auto b = data_body(16);
             b.push_back(0);
             return b;
         }()},
        {-1, {}},
    };
    for (const auto& [length, body] : closing) {
        for (const std::int32_t kind : {2, 5}) {
            client::session s(3s);
            open(s);
            ASSERT_TRUE(send_raw(s, header(kind, 9, length), body));
            std::size_t answered = 0;
            EXPECT_TRUE(s.wait_closed(&answered)) << length;
            EXPECT_EQ(answered, 0u) << "closed without a reply, length " << length;
        }
    }
}

TEST_F(RequestLoop, FramesFromOtherThreadsNeverInterleave) {
    start(5s);
    client::session s(5s);
    open(s);
    protocol::proto1_session* target = live_session.load();
    ASSERT_NE(target, nullptr);
    std::thread events([target] {
        for (int i = 0; i < 300; ++i) {
            auto e = std::make_shared<protocol::ZebResponse>();
            e->kind = protocol::MSG_EVENT;
            e->request_id = i;
            e->add_data(protocol::ITEM_DATA,
                        std::string(static_cast<std::size_t>(1000 + i * 37), 'e'));
            target->send_response(e);
        }
    });
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(s.send_request(header(2, 10000 + i)));
    }
    int events_seen = 0;
    int answers_seen = 0;
    while (events_seen < 300 || answers_seen < 50) {
        const auto r = s.read_response();
        ASSERT_TRUE(r) << s.error() << " after " << events_seen << " events";
        if (r->kind == protocol::MSG_EVENT) {
            EXPECT_EQ(r->request_id, events_seen);
            EXPECT_EQ(r->find_data(protocol::ITEM_DATA)->data.size(),
                      static_cast<std::size_t>(1000 + events_seen * 37));
            ++events_seen;
        } else {
            EXPECT_EQ(r->request_id, 10000 + answers_seen);
            ++answers_seen;
        }
    }
    events.join();
    // A response after the close is dropped.
    REQUEST_HEADER late = header(2, 7);
    late.command = 97;
    ASSERT_TRUE(s.send_request(late));
    std::size_t after = 0;
    EXPECT_TRUE(s.wait_closed(&after));
    EXPECT_EQ(after, 0u);
}

TEST_F(RequestLoop, SlowRequestIsNotCountedAsSilence) {
    start(300ms);
    client::session s(5s);
    open(s);
    ASSERT_TRUE(s.send_keepalive());
    REQUEST_HEADER slow = header(2, 1);
    slow.command = 98;
    slow.param1 = 700; // longer than the keep-alive limit
    ASSERT_TRUE(s.send_request(slow));
    ASSERT_TRUE(s.send_keepalive()); // queued behind the slow request
    ASSERT_TRUE(s.read_response());
    expect_answer(s, 2);
    // Silence now closes it.
    EXPECT_TRUE(s.wait_closed());
}

TEST_F(RequestLoop, KeepAlivesFourSecondsApartHoldSixSecondsClose) {
    start(5s); // the real limit
    client::session s(8s);
    open(s);
    ASSERT_TRUE(s.send_keepalive());
    std::this_thread::sleep_for(4s);
    ASSERT_TRUE(s.send_keepalive());
    std::this_thread::sleep_for(4s);
    expect_answer(s, 1);
    ASSERT_TRUE(s.send_keepalive());
    std::this_thread::sleep_for(6s);
    std::size_t after = 0;
    EXPECT_TRUE(s.wait_closed(&after));
    EXPECT_EQ(after, 0u);
}

TEST_F(RequestLoop, EndActionClosesAndPeerResetFreesSession) {
    start(5s);
    {
        client::session s(3s);
        open(s);
        REQUEST_HEADER end = header(2, 5);
        end.command = 99;
        ASSERT_TRUE(s.send_request(end));
        ASSERT_TRUE(s.read_response()) << s.error();
        EXPECT_TRUE(s.wait_closed());
    }
    {
        client::session s(3s);
        open(s);
        s.close(); // the peer leaves in the middle of the loop
    }
    for (int i = 0; i < 50 && server_->connection_count() > 1; ++i) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(server_->connection_count(), 1u) << "only the pending accept remains";
}

// A refused client type ends the session after the close pause; a peer that
// has left meanwhile ends the pause at once, one that stays does not.
TEST(HandshakeClose, PauseEndsWhenThePeerLeaves) {
    auto settings = std::make_shared<protocol::proto1_settings>();
    settings->password = [] { return std::string("kxvwq"); };
    settings->identity_text = [] { return std::string(36, 'a'); };
    settings->server_name = [] { return std::string("srv"); };
    settings->close_pause = 1h; // the old behaviour would hang here until the test times out
    const auto port = test::free_tcp_port();
    net::server_settings ss;
    ss.port = [port] { return port; };
    net::zebsock_server server(net::session_factories{nullptr, make_proto1_factory(settings)}, ss);
    ASSERT_TRUE(server.start());
    namespace asio = boost::asio;
    asio::io_context io;
    asio::ip::tcp::socket s(io);
    s.connect({asio::ip::make_address("127.0.0.1"), port});
    std::array<std::uint8_t, 64> buf{};
    protocol::put_word(buf.data(), 1);
    asio::write(s, asio::buffer(buf, 4));
    asio::read(s, asio::buffer(buf, 20));
    EXPECT_EQ(protocol::get_word(buf.data()), 1) << "protocol word before the challenge";
    std::array<std::uint8_t, 16> answer{};
    asio::write(s, asio::buffer(answer));
    asio::read(s, asio::buffer(buf, 4 + 4 + 36 + 4 + 3));
    EXPECT_EQ(protocol::get_word(buf.data()), 1);
    EXPECT_EQ(protocol::get_word(buf.data() + 4), 36);
    EXPECT_EQ(protocol::get_word(buf.data() + 44), 3);
    EXPECT_EQ(std::string(buf.begin() + 48, buf.begin() + 51), "srv");
    protocol::put_word(buf.data(), 7); // no such client type
    asio::write(s, asio::buffer(buf, 4));
    asio::read(s, asio::buffer(buf, 4));
    EXPECT_EQ(protocol::get_word(buf.data()), 0);
    EXPECT_EQ(server.connection_count(), 2u) << "the pause holds while the peer stays";
    s.shutdown(asio::ip::tcp::socket::shutdown_send);
    boost::system::error_code ec;
    s.read_some(asio::buffer(buf), ec); // returns with the server's close, not after the pause
    EXPECT_EQ(ec, asio::error::eof) << ec.message();
    for (int i = 0; i < 50 && server.connection_count() > 1; ++i) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(server.connection_count(), 1u) << "only the pending accept remains";
    server.stop();
}

} // namespace
