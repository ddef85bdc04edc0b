// The render-job session over loopback: a client that hangs up before its
// request is whole is closed at once, not after the close pause.
#include "net/wire.hpp"
#include "net/zebsock_server.hpp"
#include "platform/clock.hpp"
#include "protocol/proto0_client.hpp"
#include "tests/support/eventually.hpp"
#include "tests/support/staged_server.hpp"
#include "tests/support/temp_folder.hpp"
#include "zebrix/render_queue.hpp"

#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>

namespace {

using namespace std::chrono_literals;
using namespace zs;

TEST(JobSession, PeerLeavingMidRequestEndsThePauseAtOnce) {
    test::temp_folder dir("proto0");
    platform::system_clock_source clock;
    zebrix::render_queue queue(
        dir.path(), [] { return false; }, clock);
    protocol::proto0_settings settings;
    settings.queue = &queue;
    settings.password = [] { return std::string("kxvwq"); };
    settings.close_pause = 1h; // a session that waited it out would fail the bounded wait below
    const auto port = test::free_tcp_port();
    net::server_settings ss;
    ss.port = [port] { return port; };
    net::zebsock_server server(net::session_factories{protocol::make_proto0_factory(settings), {}},
                               ss);
    ASSERT_TRUE(server.start());
    std::vector<std::uint8_t> request(4, 0); // protocol 0
    const auto header = protocol::JOB_REQUEST_HEADER{protocol::JOB_SUBMIT, 0, 10, ""}.to_bytes();
    request.insert(request.end(), header.begin(), header.end());
    request.insert(request.end(), 4, 'x'); // 4 of the 10 body bytes

    // Cut inside the header, after the header (the body read pending), and
    // inside the body.
    for (const std::size_t cut : {std::size_t{60}, std::size_t{116}, std::size_t{120}}) {
        boost::asio::io_context io;
        boost::asio::ip::tcp::socket s(io);
        s.connect({boost::asio::ip::make_address("127.0.0.1"), port});
        boost::asio::write(s, boost::asio::buffer(request.data(), cut));
        ASSERT_TRUE(test::eventually([&] { return server.connection_count() == 2; }));
        s.shutdown(boost::asio::ip::tcp::socket::shutdown_send);
        EXPECT_TRUE(test::eventually([&] { return server.connection_count() == 1; }))
            << "cut at " << cut << ": the session waits out its close pause";
    }
    server.stop();
}

} // namespace
