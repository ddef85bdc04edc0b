// The protocol-1 request loop over loopback, with a small client object of
// the test's own registered as client type 1.
#include "client/client_session.hpp"
#include "core/server_log.hpp"
#include "net/wire.hpp"
#include "net/zebsock_server.hpp"
#include "platform/files.hpp"
#include "protocol/login_guard.hpp"
#include "protocol/proto1_client.hpp"
#include "protocol/rc_client.hpp"
#include "protocol/reply_texts.hpp"
#include "tests/support/staged_server.hpp"

#include <gtest/gtest.h>

#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

#include <algorithm>
#include <array>
#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>

namespace {

using namespace std::chrono_literals;
using namespace zs;
using protocol::REQUEST_HEADER;

std::atomic<protocol::proto1_session*> live_session{nullptr};

// Answers every request with its id; command 98 answers after param1 ms
// from a thread of its own (as a slow program on its worker would), command
// 99 ends the session, command 97 closes it before answering, command 96
// first sends param1 events of 1 MiB each.
class echo_client final : public protocol::proto1_interface {
public:
    using proto1_interface::proto1_interface;
    void start() override {
        live_session = &session();
        session().async_write_word(1, [this] { session().read_request(); });
    }
    ~echo_client() override {
        live_session = nullptr;
        if (slow_.joinable()) {
            slow_.join();
        }
    }
    void handle_request(std::shared_ptr<protocol::ZebRequest> request) override {
        if (request->header.command == 97) {
            session().close_session(); // what follows comes after the close
        }
        auto r = std::make_shared<protocol::ZebResponse>();
        r->request_id = request->header.request_id;
        r->action = 1;
        r->status = 1;
        r->value = static_cast<std::int32_t>(request->items().size());
        if (request->header.command == 96) {
            for (int i = 0; i < request->header.param1; ++i) {
                auto e = std::make_shared<protocol::ZebResponse>();
                e->kind = protocol::MSG_EVENT;
                e->add_data(protocol::ITEM_DATA, std::string(std::size_t{1} << 20, 'e'));
                session().send_response(e);
            }
        }
        if (request->header.command == 98) {
            if (slow_.joinable()) {
                slow_.join();
            }
            slow_ = std::thread([this, r, ms = request->header.param1] {
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                session().send_response(r);
                session().post_work([this] { session().request_done(true); });
            });
            return;
        }
        session().send_response(r);
        session().request_done(request->header.command != 99);
    }

private:
    std::thread slow_;
};

// A program behind the real client object and worker: command 95 throws,
// 94 answers with a reply larger than a session takes and then with what
// became of it (in `value`), every other command answers at once.
class scripted_program final : public protocol::remote_program {
public:
    bool attach_client(protocol::rc_sink* sink) override {
        sink_ = sink;
        return true;
    }
    void detach_client(protocol::rc_sink*) override { sink_ = nullptr; }
    bool execute_request(const protocol::ZebRequest& request) override {
        auto r = std::make_shared<protocol::ZebResponse>();
        r->request_id = request.header.request_id;
        r->action = 1;
        if (request.header.command == 95) {
            throw std::bad_alloc();
        }
        if (request.header.command == 94) {
            auto large = std::make_shared<protocol::ZebResponse>();
            large->request_id = r->request_id;
            large->add_data(protocol::ITEM_DATA, std::string(protocol::max_unsent_bytes, 'l'));
            r->value = static_cast<std::int32_t>(sink_->send_response(large));
        }
        sink_->send_response(r);
        return true;
    }

private:
    protocol::rc_sink* sink_ = nullptr;
};

class RequestLoop : public testing::Test {
protected:
    void start(std::chrono::milliseconds keepalive,
               std::chrono::milliseconds silence = std::chrono::seconds(30)) {
        auto settings = std::make_shared<protocol::proto1_settings>();
        settings->password = [] { return std::string("kxvwq"); };
        settings->identity_text = [] { return std::string(36, 'a'); };
        settings->server_name = [] { return std::string("n"); };
        settings->clients[protocol::CLIENT_ZEBRIX_RC] = [](protocol::proto1_session& s) {
            return std::make_unique<echo_client>(s);
        };
        worker_ = std::make_unique<protocol::program_worker>(nullptr, 1);
        settings->clients[protocol::CLIENT_ORVANTA_RC] =
            protocol::make_ov_client_factory(program_, *worker_);
        settings->keepalive_limit = keepalive;
        settings->close_pause = 50ms;
        port_ = test::free_tcp_port();
        net::server_settings ss;
        ss.port = [p = port_] { return p; };
        ss.connection.limits.login_deadline = silence;
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
    scripted_program program_;
    std::unique_ptr<protocol::program_worker> worker_; // queue limit 1
    std::unique_ptr<net::zebsock_server> server_;
};

std::vector<std::uint8_t> data_body(std::size_t total) {
    std::vector<std::uint8_t> body(total, 'z');
    net::write_word(body.data(), 1);
    net::write_word(body.data() + 4, static_cast<std::int32_t>(protocol::ITEM_DATA));
    net::write_word(body.data() + 8, static_cast<std::int32_t>(total - 12));
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

TEST_F(RequestLoop, WatchdogExpiryDuringARequestClosesOnceItIsAnswered) {
    start(300ms);
    client::session s(5s);
    open(s);
    ASSERT_TRUE(s.send_keepalive());
    REQUEST_HEADER slow = header(2, 1);
    slow.command = 98;
    slow.param1 = 900; // the watchdog expires while it runs
    ASSERT_TRUE(s.send_request(slow));
    const auto r = s.read_response();
    ASSERT_TRUE(r) << "the running request is answered, not torn down: " << s.error();
    EXPECT_EQ(r->request_id, 1);
    ASSERT_TRUE(s.send_request(header(2, 2)));
    std::size_t after = 0;
    EXPECT_TRUE(s.wait_closed(&after));
    EXPECT_EQ(after, 0u) << "no request is served after the expired one";
}

TEST_F(RequestLoop, RequestsDoNotPostponeTheWatchdog) {
    start(3s);
    client::session s(10s);
    open(s);
    ASSERT_TRUE(s.send_keepalive());
    const auto kept = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(2s);
    expect_answer(s, 1);
    EXPECT_TRUE(s.wait_closed());
    // A request that re-armed it would hold the session until 5 s after the keep-alive.
    EXPECT_LT(std::chrono::steady_clock::now() - kept, 4500ms);
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

TEST_F(RequestLoop, ClientThatNeverReadsIsClosedPastTheUnsentLimit) {
    start(5s);
    client::session s(5s);
    open(s);
    REQUEST_HEADER burst = header(2, 1);
    burst.command = 96;
    burst.param1 = 100; // 100 MiB of events, none read meanwhile
    ASSERT_TRUE(s.send_request(burst));
    std::this_thread::sleep_for(500ms);
    std::size_t received = 0;
    EXPECT_TRUE(s.wait_closed(&received)) << "the session is closed, not kept with its backlog";
    EXPECT_LT(received, std::size_t{64} << 20);
}

// A command that threw (a request of 4 million names ran out of memory)
// ended the server; a full program queue, or a reply too large for the
// session, closed the session without an answer.
TEST_F(RequestLoop, ProgramFailuresAreAnsweredAndTheSessionGoesOn) {
    start(5s);
    test::temp_folder log("zs-log");
    core::server_log::open(log.path());
    client::session s(10s);
    ASSERT_TRUE(s.open_protocol1("127.0.0.1", port_, "x")) << s.error();
    ASSERT_EQ(s.choose_client_type(2), 1);
    ASSERT_EQ(s.read_word(), 1) << "control granted";
    const auto call = [&s](std::int32_t id, std::int32_t command) {
        REQUEST_HEADER h = header(2, id);
        h.command = command;
        EXPECT_TRUE(s.send_request(h));
        auto r = s.read_response();
        EXPECT_TRUE(r) << s.error();
        if (r) {
            EXPECT_EQ(r->request_id, id);
        }
        return r;
    };
    const auto text = [](const std::shared_ptr<protocol::ZebResponse>& r) {
        const auto* e = r ? r->find_data(protocol::ITEM_ERROR) : nullptr;
        return e != nullptr ? e->data : std::string("<none>");
    };
    auto r = call(1, 95);
    ASSERT_TRUE(r);
    EXPECT_EQ(std::tie(r->action, r->status), std::make_tuple(0, protocol::ERR_SERVER));
    EXPECT_EQ(text(r), std::string(protocol::TEXT_COMMAND_FAILED) + std::bad_alloc().what());
    r = call(2, 94);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->value, static_cast<std::int32_t>(protocol::send_outcome::too_large));

    // A busy worker with a full queue: the request is refused, not the session.
    std::promise<void> started, release;
    auto released = release.get_future().share();
    ASSERT_TRUE(worker_->post([&started, released] {
        started.set_value();
        released.wait();
    }));
    started.get_future().wait();
    ASSERT_TRUE(worker_->post([] {}));
    r = call(3, 4);
    ASSERT_TRUE(r);
    EXPECT_EQ(std::tie(r->action, r->status), std::make_tuple(0, protocol::ERR_SERVER));
    EXPECT_EQ(text(r), protocol::TEXT_SERVER_BUSY);
    release.set_value();
    std::promise<void> drained;
    worker_->post_always([&drained] { drained.set_value(); });
    drained.get_future().wait();
    r = call(4, 4);
    ASSERT_TRUE(r);
    EXPECT_EQ(std::tie(r->action, r->value), std::make_tuple(1, 0));
    core::server_log::close();
    std::string logged;
    platform::read_file(log / core::server_log::file_name, logged);
    EXPECT_NE(logged.find("A request to a program failed (std::bad_alloc); it is answered"),
              std::string::npos)
        << logged;
}

// Queued work ran newest first, unnoticed: nothing ordered two waiting
// pieces of work behind a running one.
TEST(ProgramWorker, WaitingWorkRunsInArrivalOrderAfterTheRunningOne) {
    protocol::program_worker worker(nullptr, 2);
    std::promise<void> started, release;
    auto released = release.get_future().share();
    std::string order;
    ASSERT_TRUE(worker.post([&started, released, &order] {
        started.set_value();
        released.wait();
        order += 'r';
    }));
    started.get_future().wait();
    ASSERT_TRUE(worker.post([&order] { order += 'a'; }));
    ASSERT_TRUE(worker.post([&order] { order += 'b'; }));
    EXPECT_FALSE(worker.post([&order] { order += 'x'; })) << "past the queue limit";
    worker.post_always([&order] { order += 'c'; }); // clean-up is taken all the same
    std::promise<void> done;
    release.set_value();
    worker.post_always([&done] { done.set_value(); });
    done.get_future().wait();
    EXPECT_EQ(order, "rabc");
}

// Before it is logged in, a connection has one deadline for its whole
// handshake: a quiet one, one halfway through its answer, one that answered
// and never names its client type, and one that drips a byte every 100 ms
// are all closed at it; a logged-in session is not.
TEST_F(RequestLoop, LoginDeadlineClosesEvenADrip) {
    start(5s, 600ms);
    client::session quiet(5s);
    ASSERT_TRUE(quiet.connect("127.0.0.1", port_));
    client::session halfway(5s);
    ASSERT_TRUE(halfway.connect("127.0.0.1", port_));
    ASSERT_TRUE(halfway.write_word(1));
    ASSERT_TRUE(halfway.read_exact(20));
    const std::array<std::uint8_t, 8> half{};
    ASSERT_TRUE(halfway.write_bytes(half.data(), half.size())); // half an answer
    client::session answered(5s); // logged in only once its client type is read
    ASSERT_TRUE(answered.connect("127.0.0.1", port_));
    ASSERT_TRUE(answered.write_word(1));
    ASSERT_TRUE(answered.handshake("x"));
    client::session logged(5s);
    open(logged);
    client::session drip(5s);
    ASSERT_TRUE(drip.connect("127.0.0.1", port_));
    ASSERT_TRUE(drip.write_word(1));
    ASSERT_TRUE(drip.read_exact(20));
    bool closed = false;
    for (int i = 0; i < 15 && !closed; ++i) { // 1.5 s for 15 bytes of the answer
        const std::uint8_t zero = 0;
        closed = !drip.write_bytes(&zero, 1) || drip.wait_readable(100ms);
    }
    EXPECT_TRUE(closed) << "still open while it drips";
    EXPECT_TRUE(quiet.wait_closed());
    EXPECT_TRUE(halfway.wait_closed());
    EXPECT_TRUE(answered.wait_closed()) << "the deadline ended before the client type";
    expect_answer(logged, 7); // logged in: silence is the keep-alive rules' business
}

// Guesses were answered and logged at line rate: each wrong password of an
// address waits longer than the last, ten in a row lock the address out for
// the lock-out time, another address is untouched, a right password ends the
// run, and the log gets one line at first and then one summary.
TEST(LoginGuard, WrongPasswordsSlowDownAndLockOutOneAddressOnly) {
    auto now = std::chrono::steady_clock::time_point{} + 1h;
    protocol::login_guard_settings settings;
    settings.now = [&now] { return now; };
    protocol::login_guard guard(settings);
    const auto refuse = [&guard](const std::string& address) {
        const bool checked = guard.may_check(address);
        return guard.refused(address, protocol::login_kind::login, address + ":1", checked);
    };
    testing::internal::CaptureStderr(); // the operator log
    auto expected = settings.first_delay;
    for (int i = 0; i < settings.lockout_after; ++i) {
        ASSERT_TRUE(guard.may_check("10.0.0.1")) << i;
        EXPECT_EQ(refuse("10.0.0.1"), expected) << i;
        expected = std::min(expected * 2, settings.max_delay);
    }
    EXPECT_FALSE(guard.may_check("10.0.0.1")) << "not locked out";
    EXPECT_EQ(refuse("10.0.0.1"), settings.max_delay);
    EXPECT_TRUE(guard.may_check("10.0.0.2")) << "another address was locked out";
    guard.write_summaries();
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find(" Refused a login with a wrong password from 10.0.0.1:1\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(" Refused 10 more logins from 10.0.0.1 in the last minute; the address is "
                       "locked out for 60 s after 10 wrong passwords in a row\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
    now += settings.lockout - 1s;
    EXPECT_FALSE(guard.may_check("10.0.0.1"));
    now += 2s;
    EXPECT_TRUE(guard.may_check("10.0.0.1")) << "the lock-out never ends";
    refuse("10.0.0.1");
    guard.accepted("10.0.0.1");
    EXPECT_EQ(refuse("10.0.0.1"), settings.first_delay) << "a right password did not end the run";
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
    net::write_word(buf.data(), 1);
    asio::write(s, asio::buffer(buf, 4));
    asio::read(s, asio::buffer(buf, 20));
    EXPECT_EQ(net::read_word(buf.data()), 1) << "protocol word before the challenge";
    std::array<std::uint8_t, 16> answer{};
    asio::write(s, asio::buffer(answer));
    asio::read(s, asio::buffer(buf, 4 + 4 + 36 + 4 + 3));
    EXPECT_EQ(net::read_word(buf.data()), 1);
    EXPECT_EQ(net::read_word(buf.data() + 4), 36);
    EXPECT_EQ(net::read_word(buf.data() + 44), 3);
    EXPECT_EQ(std::string(buf.begin() + 48, buf.begin() + 51), "srv");
    net::write_word(buf.data(), 7); // no such client type
    asio::write(s, asio::buffer(buf, 4));
    asio::read(s, asio::buffer(buf, 4));
    EXPECT_EQ(net::read_word(buf.data()), 0);
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
