#pragma once
// Client sockets that come from their own loopback address each, as clients
// of many machines do, so the server's per-address cap counts each alone.
#include <utility> // before Asio: its headers use std::exchange

#include <boost/asio/ip/tcp.hpp>

#ifdef __linux__
#include <netinet/in.h>
#endif

namespace zs::bench {

// Client `index` connects from 127.1.x.y: the server's per-address cap sees
// one client per address, as it would with clients on separate machines.
inline boost::asio::ip::address_v4 client_address(unsigned index) {
    return boost::asio::ip::address_v4(0x7f010001u + index);
}

inline void open_from(boost::asio::ip::tcp::socket& s, unsigned index,
                      boost::system::error_code& ec) {
    s.open(boost::asio::ip::tcp::v4(), ec);
    if (ec) {
        return;
    }
#ifdef IP_BIND_ADDRESS_NO_PORT
    // The port is chosen at connect, per destination: thousands of short
    // connections from one address do not run out of ports.
    const int one = 1;
    ::setsockopt(s.native_handle(), IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &one, sizeof one);
#endif
    s.bind({client_address(index), 0}, ec);
}

} // namespace zs::bench
