#pragma once
// Every limit on connections in one place: the deadline of a connection that
// is not logged in yet, and how many connections may be open at once, in all
// and from one client address. Tests shorten or lower them.
#include <chrono>
#include <cstddef>

namespace zs::net {

struct connection_limits {
    // The protocol-1 handshake up to its client type, or the protocol-0
    // request with its job text, must arrive whole within this time from the
    // accept; a byte now and then does not extend it.
    std::chrono::milliseconds login_deadline{30000};
    // Open connections from one client address; further ones are closed at
    // once.
    std::size_t per_address = 32;
    // Open connections in all; 0 takes connection_cap of the descriptor
    // limit at start. At the cap the oldest connection that is not logged
    // in yet makes room for the new one, so a login always gets in.
    std::size_t total = 0;
    // Refused connections are counted and logged once per period.
    std::chrono::milliseconds log_period{60000};
};

// What a descriptor limit leaves for client connections: a quarter (at least
// 64) stays for the server's files, its programs and the ones it exchanges
// with them.
inline std::size_t connection_cap(long descriptor_limit) {
    if (descriptor_limit <= 0) {
        return 256;
    }
    const auto limit = static_cast<std::size_t>(descriptor_limit);
    const std::size_t kept = limit / 4 > 64 ? limit / 4 : 64;
    return limit > kept * 2 ? limit - kept : limit / 2;
}

} // namespace zs::net
